#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

class QPainter;

namespace plugshift {

// The main window's status bar: the help prompt on the left, the cable state in the middle and,
// on the right, a progress bar drawn by the program with its percentage, inverted where the bar
// lies under the text. The parts end at 30 % and 60 % of the width and at the right end.
class ProgressStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScale = 100;         // the value of a full bar
    static constexpr int kPromptPartEnd = 30;  // percent of the width
    static constexpr int kCablePartEnd = 60;
    static constexpr int kPartCount = 3;
    static constexpr int kPromptPart = 0;
    static constexpr int kCablePart = 1;
    static constexpr int kProgressPart = 2;

    // A visible child of parent, placed along its bottom edge; cable disconnected, prompt 108.
    explicit ProgressStatusBar(QWidget* parent);

    // Across the full width of the parent, at its bottom; the owner calls it after a resize.
    void placeAtBottom();

    // Each returns whether the bar changed: the same text or state again changes nothing.
    bool setPrompt(const QString& text);
    bool setDisconnected(bool disconnected);
    // The progress of a running command, 0..100; the one shown now changes nothing (false).
    bool setPercent(int percent);

    int percent() const { return percent_; }
    int scale() const { return kScale; }
    QString prompt() const { return prompt_; }
    QString cableText() const { return cableText_; }
    bool isDisconnected() const { return disconnected_; }
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
    bool disconnected_ = true;
};

}  // namespace plugshift
