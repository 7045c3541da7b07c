#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace plugshift {

// The progress of radio work on the command line: percent, step text, elapsed and remaining
// time. On a terminal one line is redrawn in place; otherwise (a log, a pipe) a plain line is
// written when the step changes and at every tenth of the way, so the output stays short.
class ProgressBar {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr int kBarWidth = 24;
    static constexpr int kPlainStep = 10;  // percent between plain lines

    // clock: where the time comes from (the steady clock when empty).
    ProgressBar(std::ostream& out, bool redraw, Clock clock = {});

    // The work starts: elapsed time counts from here; a terminal shows the empty bar.
    void start();
    // A progress value from the command, 0 to 100, and the step under way. A value above 100,
    // or below the one shown (the command's reset to 0 at its end), keeps the percent shown.
    void update(int percent, const std::wstring& step);
    // A line of its own amid the progress: a redrawn line is closed first and drawn again after.
    void note(const std::string& text);
    // The work has ended: a redrawn line is closed so later output starts on a line of its own.
    void finish();

    int percent() const { return percent_; }

    // "mm:ss", or "h:mm:ss" from an hour on.
    static std::string formatDuration(std::chrono::seconds duration);

private:
    std::string line() const;
    void draw();

    std::ostream& out_;
    bool redraw_;
    Clock clock_;
    std::chrono::steady_clock::time_point started_{};
    int percent_ = 0;
    std::wstring step_;
    int lastPlainTenth_ = -1;
    std::wstring lastPlainStep_;
    bool lineOpen_ = false;
};

}  // namespace plugshift
