#include "app/about_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/app_resources.h"
#include "app/layout_units.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// Layout in dialog units.
constexpr int kWidth = 250;
constexpr int kHeight = 188;
constexpr int kMargin = 7;
constexpr int kTextLeft = 44;
constexpr int kLineHeight = 10;
constexpr int kMarkWidth = 14;  // the company mark and its gap before the trademark line
constexpr int kSeparatorTop = 64;
constexpr int kWarningTop = 70;
constexpr int kWarningHeight = 92;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

constexpr int kApplicationIconSide = 32;
constexpr int kCompanyIconSide = 16;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(where);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLabel* makeIcon(QWidget* parent, int id, int side, const QRect& where) {
    auto* picture = new QLabel(parent);
    picture->setPixmap(AppResources::icon(id).pixmap(side, side));
    picture->setGeometry(QRect(where.topLeft(), QSize(side, side)));
    return picture;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString title = QtStrings::title();
    setWindowTitle(QtStrings::format(str::kAboutCaption, title));
    const LayoutUnits units(font());
    const int textWidth = kWidth - kTextLeft - kMargin;

    makeIcon(this, AppResources::kApplicationIcon, kApplicationIconSide,
             units.rect(kMargin, kMargin, 0, 0));
    productName_ = makeLabel(this, "productName", title,
                             units.rect(kTextLeft, kMargin, textWidth, kLineHeight));
    QFont nameFont = productName_->font();
    nameFont.setBold(true);
    productName_->setFont(nameFont);
    version_ = makeLabel(
        this, "version",
        QtStrings::format(str::kVersion, QString::fromLatin1(StringTable::kToolVersion)),
        units.rect(kTextLeft, kMargin + kLineHeight, textWidth, kLineHeight));
    copyright_ =
        makeLabel(this, "copyright", QtStrings::text(str::kCopyright),
                  units.rect(kTextLeft, kMargin + 2 * kLineHeight, textWidth, kLineHeight));
    const int trademarkTop = kMargin + 3 * kLineHeight + kLineHeight / 2;
    makeIcon(this, AppResources::kCompanyIcon, kCompanyIconSide,
             units.rect(kTextLeft, trademarkTop, 0, 0));
    trademark_ = makeLabel(
        this, "trademark", QtStrings::text(str::kTrademark),
        units.rect(kTextLeft + kMarkWidth, trademarkTop, textWidth - kMarkWidth, 2 * kLineHeight));
    trademark_->setWordWrap(true);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(units.rect(kMargin, kSeparatorTop, kWidth - 2 * kMargin, 2));

    warning_ = new QPlainTextEdit(QtStrings::text(str::kLegalWarning), this);
    warning_->setObjectName(QStringLiteral("warning"));
    warning_->setReadOnly(true);
    warning_->setGeometry(units.rect(kMargin, kWarningTop, kWidth - 2 * kMargin, kWarningHeight));

    okButton_ = new QPushButton(QtStrings::text(str::kOk), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    okButton_->setGeometry(units.rect(kWidth - kMargin - kButtonWidth,
                                      kHeight - kMargin - kButtonHeight, kButtonWidth,
                                      kButtonHeight));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(units.size(kWidth, kHeight));
}

QString AboutDialog::productName() const {
    return productName_->text();
}
QString AboutDialog::version() const {
    return version_->text();
}
QString AboutDialog::copyrightText() const {
    return copyright_->text();
}
QString AboutDialog::trademarkText() const {
    return trademark_->text();
}
QString AboutDialog::warningText() const {
    return warning_->toPlainText();
}

}  // namespace plugshift
