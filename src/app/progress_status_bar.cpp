#include "app/progress_status_bar.h"

#include <qdrawutil.h>
#include <QHelpEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <array>

namespace plugshift {

namespace {

constexpr int kTextPadding = 4;  // text from the left border of its part
constexpr int kPartGap = 2;      // between neighbouring parts
constexpr int kExtraHeight = 7;  // above and below one line of text

// The progress part takes the bar's background; shared by every bar, white until a bar has been
// painted, and never black, which is what an unpainted surface reads as.
QColor& rememberedBackground() {
    static QColor colour(255, 255, 255);
    return colour;
}

}  // namespace

ProgressStatusBar::ProgressStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusBar"));
    placeAtBottom();
    show();
}

QSize ProgressStatusBar::sizeHint() const {
    return QSize(parentWidget() ? parentWidget()->width() : 0,
                 fontMetrics().height() + kExtraHeight);
}

void ProgressStatusBar::placeAtBottom() {
    const QSize size = sizeHint();
    const int parentHeight = parentWidget() ? parentWidget()->height() : size.height();
    setGeometry(0, parentHeight - size.height(), size.width(), size.height());
}

bool ProgressStatusBar::setText(StatusBarParts::Part part, const QString& text) {
    QString* shown = part == StatusBarParts::Prompt  ? &prompt_
                     : part == StatusBarParts::Cable ? &cableText_
                                                     : nullptr;
    if (shown == nullptr || text == *shown) {
        return false;
    }
    *shown = text;
    update(partRect(part));
    return true;
}

bool ProgressStatusBar::setPercent(int percent) {
    if (percent == percent_) {
        return false;
    }
    percent_ = percent;
    update(partRect(2));
    return true;
}

QRect ProgressStatusBar::partRect(int part) const {
    if (part < 0 || part >= StatusBarParts::Count) {
        return QRect();
    }
    const std::array<int, StatusBarParts::Count> ends = StatusBarParts::rightEdges(width());
    const int left = part == 0 ? 0 : ends[part - 1];
    const int right = ends[part] - (part + 1 < StatusBarParts::Count ? kPartGap : 0);
    return QRect(left, kPartGap, right - left, height() - kPartGap);
}

QRect ProgressStatusBar::progressRect() const {
    // Inside the part's one-pixel border, its left edge one pixel further right.
    return partRect(2).adjusted(2, 1, -1, -1);
}

void ProgressStatusBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    paintTextPart(painter, kPromptPart);
    paintTextPart(painter, kCablePart);
    qDrawShadePanel(&painter, partRect(kProgressPart), palette(), true, 1);
    paintProgress(painter);
}

QString ProgressStatusBar::partText(int part) const {
    switch (part) {
        case kPromptPart:
            return prompt_;
        case kCablePart:
            return cableText_;
        default:
            return QString();
    }
}

QRect ProgressStatusBar::textArea(int part) const {
    return partRect(part).adjusted(kTextPadding, 0, -kTextPadding, 0);
}

QString ProgressStatusBar::shownText(int part) const {
    return fontMetrics().elidedText(partText(part), Qt::ElideRight, textArea(part).width());
}

int ProgressStatusBar::textPartAt(const QPoint& pos) const {
    for (int part : {kPromptPart, kCablePart}) {
        if (partRect(part).contains(pos)) {
            return part;
        }
    }
    return -1;
}

QString ProgressStatusBar::toolTipAt(const QPoint& pos) const {
    const int part = textPartAt(pos);
    return part >= 0 && shownText(part) != partText(part) ? partText(part) : QString();
}

bool ProgressStatusBar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = toolTipAt(help->pos());
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        // Shown while the pointer stays over the part whose text it completes.
        QToolTip::showText(help->globalPos(), tip, this, partRect(textPartAt(help->pos())));
    }
    return true;
}

void ProgressStatusBar::paintTextPart(QPainter& painter, int part) {
    qDrawShadePanel(&painter, partRect(part), palette(), true, 1);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textArea(part), Qt::AlignLeft | Qt::AlignVCenter, shownText(part));
}

void ProgressStatusBar::paintProgress(QPainter& painter) {
    const QRect area = progressRect();
    if (area.width() <= 0 || area.height() <= 0) {
        return;
    }
    const QColor probe = palette().color(QPalette::Window);
    if (probe != QColor(Qt::black) && probe != rememberedBackground()) {
        rememberedBackground() = probe;
    }

    // Drawn off screen and copied in one piece, so the bar never flickers while it moves.
    QPixmap buffer(area.size());
    buffer.fill(rememberedBackground());
    QPainter bufferPainter(&buffer);
    bufferPainter.setFont(font());
    const QRect whole(QPoint(0, 0), area.size());
    const QString label = QString::fromStdWString(StatusBarParts::progressLabel(percent_));
    bufferPainter.setPen(palette().color(QPalette::WindowText));
    bufferPainter.drawText(whole, Qt::AlignCenter, label);
    const QRect bar(0, 0, StatusBarParts::barWidth(percent_, whole.width()), whole.height());
    if (!bar.isEmpty()) {
        bufferPainter.setClipRect(bar);
        bufferPainter.fillRect(bar, palette().color(QPalette::Highlight));
        bufferPainter.setPen(palette().color(QPalette::HighlightedText));
        bufferPainter.drawText(whole, Qt::AlignCenter, label);
    }
    bufferPainter.end();
    painter.drawPixmap(area.topLeft(), buffer);
}

}  // namespace plugshift
