#include "app/dealer_login_dialog.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

#include "app/layout_units.h"
#include "app/modal_runner.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// Layout in dialog units.
constexpr int kDialogWidth = 180;
constexpr int kDialogHeight = 40;
constexpr int kMargin = 7;
constexpr int kEditWidth = 110;
constexpr int kControlHeight = 14;
constexpr int kButtonWidth = 50;

}  // namespace

std::optional<std::wstring> DealerLoginDialog::ask(DealerLogin& login, QWidget* parent) {
    DealerLoginDialog dialog(login, parent);
    if (ModalRunner::exec(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.password().toStdWString();
}

DealerLoginDialog::DealerLoginDialog(DealerLogin& login, QWidget* parent)
    : QDialog(parent), login_(login) {
    setWindowTitle(QtStrings::text(str::kLogin));

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("passwordEdit"));
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setMaxLength(DealerLogin::kMaxDigits);
    edit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit_));
    edit_->setText(QString::fromStdWString(login.lastEntry()));
    connect(edit_, &QLineEdit::textChanged, this, &DealerLoginDialog::entryChanged);

    loginButton_ = new QPushButton(QtStrings::text(str::kLogin), this);
    loginButton_->setObjectName(QStringLiteral("loginButton"));
    loginButton_->setDefault(true);
    connect(loginButton_, &QPushButton::clicked, this, &QDialog::accept);

    const LayoutUnits units(font());
    edit_->setGeometry(units.rect(kMargin, kMargin, kEditWidth, kControlHeight));
    loginButton_->setGeometry(
        units.rect(kDialogWidth - kMargin - kButtonWidth, kMargin, kButtonWidth, kControlHeight));

    // Wide and tall enough for the longer of the two lines below the edit, whatever the font.
    const QFontMetrics metrics(font());
    const int lineWidth = std::max(metrics.horizontalAdvance(QtStrings::text(str::kPasswordWrong)),
                                   metrics.horizontalAdvance(QtStrings::text(str::kPasswordHint)));
    const QSize templateSize = units.size(kDialogWidth, kDialogHeight);
    setFixedSize(
        std::max(templateSize.width(), hintOrigin().x() + lineWidth + units.x(kMargin)),
        std::max(templateSize.height(), hintOrigin().y() + metrics.height() + units.y(kMargin)));
}

QString DealerLoginDialog::password() const {
    return edit_->text();
}

QString DealerLoginDialog::hintText() const {
    return QString::fromStdWString(login_.lineText());
}

QColor DealerLoginDialog::hintColour() const {
    return login_.isWrongShown() ? QColor(kWrongColour) : palette().color(QPalette::WindowText);
}

QPoint DealerLoginDialog::hintOrigin() const {
    const QRect editArea = edit_->geometry();
    return QPoint(editArea.left(), editArea.top() + editArea.height() + kHintGap);
}

void DealerLoginDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Each time it comes up: the previous entry selected, so the first key replaces it.
    edit_->selectAll();
    edit_->setFocus();
}

void DealerLoginDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(hintColour());
    const QPoint origin = hintOrigin();
    painter.drawText(QRect(origin, QPoint(width() - 1, height() - 1)), Qt::AlignLeft | Qt::AlignTop,
                     hintText());
}

void DealerLoginDialog::entryChanged() {
    if (login_.isWrongShown()) {
        login_.entryChanged(edit_->text().toStdWString());
        update();
    }
}

}  // namespace plugshift
