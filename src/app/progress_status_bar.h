#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

#include "desktop/status_bar_parts.h"

class QPainter;

namespace plugshift {

// The main window's status bar as StatusBarParts lays it out: the help prompt, the cable state and
// a progress bar drawn by the program with its percentage, inverted where the bar lies under the
// text.
class ProgressStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPromptPart = StatusBarParts::Prompt;
    static constexpr int kCablePart = StatusBarParts::Cable;
    static constexpr int kProgressPart = StatusBarParts::Progress;

    // A visible child of parent, placed along its bottom edge, its texts empty.
    explicit ProgressStatusBar(QWidget* parent);

    // Across the full width of the parent, at its bottom; the owner calls it after a resize.
    void placeAtBottom();

    // Each returns whether the bar changed: the same text again changes nothing.
    bool setText(StatusBarParts::Part part, const QString& text);
    // The progress of a running command, 0..StatusBarParts::kScale; the one shown now changes
    // nothing (false).
    bool setPercent(int percent);

    int percent() const { return percent_; }
    QString prompt() const { return prompt_; }
    QString cableText() const { return cableText_; }
    // Part 0 prompt, 1 cable, 2 progress, in client coordinates.
    QRect partRect(int part) const;
    // The inside of the progress part, where the bar and its text are drawn.
    QRect progressRect() const;
    // A text part's text as drawn: cut with an ellipsis where its part is too narrow.
    QString shownText(int part) const;
    // The tooltip over a point: the whole text of a part whose text is cut; empty elsewhere.
    QString toolTipAt(const QPoint& pos) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString partText(int part) const;
    QRect textArea(int part) const;
    // The text part under a point; -1 for none.
    int textPartAt(const QPoint& pos) const;
    void paintTextPart(QPainter& painter, int part);
    void paintProgress(QPainter& painter);

    int percent_ = 0;
    QString cableText_;
    QString prompt_;
};

}  // namespace plugshift
