#include "app/message_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <vector>

#include "app/modal_runner.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// The caption falls back to the executable's path cut to what a 260-character buffer holds.
constexpr int kPathMaxLength = 259;
// Buttons are never smaller than the classic 75 x 23 push button.
constexpr QSize kMinButtonSize(75, 23);

constexpr int kMeasureFlags = Qt::TextWordWrap | Qt::TextExpandTabs;

QString& applicationName() {
    static QString name;
    return name;
}

// Line breaks are drawn the same whichever convention the text uses.
QString normalisedBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QStyle::StandardPixmap standardPixmapFor(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QStyle::SP_MessageBoxCritical;
        case MessageIcon::Question:
            return QStyle::SP_MessageBoxQuestion;
        case MessageIcon::Warning:
            return QStyle::SP_MessageBoxWarning;
        default:
            return QStyle::SP_MessageBoxInformation;
    }
}

QSize buttonSize(const QPushButton* button) {
    return button->sizeHint().expandedTo(kMinButtonSize);
}

// A message waits for a person, who answers with the normal pointer; the cursors a busy caller
// has set come back once the box is gone.
class NormalCursorWhileWaiting {
public:
    NormalCursorWhileWaiting() {
        while (const QCursor* cursor = QApplication::overrideCursor()) {
            saved_.push_back(*cursor);
            QApplication::restoreOverrideCursor();
        }
    }
    ~NormalCursorWhileWaiting() {
        for (auto cursor = saved_.rbegin(); cursor != saved_.rend(); ++cursor) {
            QApplication::setOverrideCursor(*cursor);
        }
    }
    NormalCursorWhileWaiting(const NormalCursorWhileWaiting&) = delete;
    NormalCursorWhileWaiting& operator=(const NormalCursorWhileWaiting&) = delete;

private:
    std::vector<QCursor> saved_;
};

// A box that closing cannot answer has no close box.
Qt::WindowFlags windowFlagsFor(unsigned style) {
    if (MessageBoxStyle::closeAnswer(style)) {
        return Qt::Dialog;
    }
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

}  // namespace

int MessageDialog::showMessage(const QString& text, unsigned style, QWidget* owner) {
    const NormalCursorWhileWaiting normalCursor;
    if (const auto& answer = ModalRunner::messageAnswerer()) {
        return answer(text, style);
    }
    MessageDialog box(text, style, owner != nullptr ? owner : QApplication::activeWindow());
    return ModalRunner::exec(box);
}

int MessageDialog::showMessage(int stringId, unsigned style, QWidget* owner) {
    return showMessage(QtStrings::text(stringId), style, owner);
}

void MessageDialog::setApplicationName(const QString& name) {
    applicationName() = name;
}

QString MessageDialog::caption() {
    if (!applicationName().isEmpty()) {
        return applicationName();
    }
    return QCoreApplication::applicationFilePath().left(kPathMaxLength);
}

MessageDialog::MessageDialog(const QString& text, unsigned boxStyle, QWidget* owner)
    : QDialog(owner, windowFlagsFor(boxStyle)),
      text_(normalisedBreaks(text)),
      style_(boxStyle),
      icon_(MessageBoxStyle::icon(boxStyle)) {
    QFont boxFont = font();
    boxFont.setPointSize(kFontPointSize);
    setFont(boxFont);
    setWindowTitle(caption());

    if (icon_ != MessageIcon::None) {
        iconPixmap_ = style()
                          ->standardIcon(standardPixmapFor(icon_), nullptr, this)
                          .pixmap(kSystemIconSize, kSystemIconSize);
    }

    const MessageBoxStyle::Buttons buttons = MessageBoxStyle::buttons(style_);
    const int firstId = buttons.first;
    // A hidden second button keeps Cancel's text.
    const int secondId = buttons.second != 0 ? buttons.second : MessageBoxStyle::kIdCancel;
    first_ = new QPushButton(QtStrings::text(firstId), this);
    second_ = new QPushButton(QtStrings::text(secondId), this);
    first_->setObjectName(QStringLiteral("button1"));
    second_->setObjectName(QStringLiteral("button2"));
    connect(first_, &QPushButton::clicked, this, [this, firstId] { done(firstId); });
    connect(second_, &QPushButton::clicked, this, [this, secondId] { done(secondId); });
    first_->setDefault(true);
    first_->setFocus();
    second_->setVisible(hasTwoButtons());

    layOut();
}

bool MessageDialog::hasTwoButtons() const {
    return MessageBoxStyle::buttons(style_).second != 0;
}

void MessageDialog::layOut() {
    const int iconSide = iconPixmap_.isNull() ? 0 : kSystemIconSize;
    const int textLeft = iconSide + kTextGap;

    const QFontMetrics metrics(font());
    const QRect measured =
        metrics.boundingRect(QRect(0, 0, kWrapWidth, INT_MAX / 2), kMeasureFlags, text_);
    // Measured heights are whole lines rounded up, so anything under two lines is one.
    singleLine_ = measured.height() < 2 * metrics.lineSpacing();
    int textWidth = measured.width();
    const int textHeight = std::max(measured.height(), iconSide);

    const QSize firstSize = buttonSize(first_);
    const QSize secondSize = buttonSize(second_);
    const int buttonsWidth =
        hasTwoButtons() ? firstSize.width() + kButtonGap + secondSize.width() : firstSize.width();
    // The text area reaches back to the left margin when the buttons are measured against it.
    textWidth = std::max(textWidth, buttonsWidth - (textLeft - kMargin));
    textRect_ = QRect(textLeft, kMargin, textWidth, textHeight);

    const int clientWidth = textLeft + textWidth + kMargin;
    const int clientHeight = textHeight + 2 * kMargin + kButtonBand;
    setFixedSize(clientWidth, clientHeight);

    const int bandTop = clientHeight - kButtonBand;
    int right = clientWidth - kMargin;
    if (hasTwoButtons()) {
        second_->setGeometry(right - secondSize.width(),
                             bandTop + (kButtonBand - secondSize.height()) / 2, secondSize.width(),
                             secondSize.height());
        right -= secondSize.width() + kButtonGap;
    }
    first_->setGeometry(right - firstSize.width(), bandTop + (kButtonBand - firstSize.height()) / 2,
                        firstSize.width(), firstSize.height());
}

void MessageDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.fillRect(QRect(0, height() - kButtonBand, width(), kButtonBand), QColor(kBandColour));
    if (!iconPixmap_.isNull()) {
        painter.drawPixmap(kMargin, kMargin, iconPixmap_);
    }
    painter.setPen(palette().color(QPalette::Text));
    const int flags = singleLine_ ? Qt::AlignLeft | Qt::AlignVCenter | Qt::TextExpandTabs
                                  : Qt::AlignLeft | Qt::AlignTop | kMeasureFlags;
    painter.drawText(textRect_, flags, text_);
}

void MessageDialog::reject() {
    if (const std::optional<int> answer = MessageBoxStyle::closeAnswer(style_)) {
        done(*answer);
    }
}

}  // namespace plugshift
