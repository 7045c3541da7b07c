#include "cli/progress_bar.h"

#include <cstdio>
#include <ostream>

#include "errors/wide_text.h"

namespace plugshift {

namespace {
constexpr int kFull = 100;
// Clears the rest of the terminal line after a shorter redraw.
constexpr const char* kClearToEnd = "\x1b[K";
}  // namespace

ProgressBar::ProgressBar(std::ostream& out, bool redraw, Clock clock)
    : out_(out),
      redraw_(redraw),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })) {}

void ProgressBar::start() {
    started_ = clock_();
    percent_ = 0;
    if (redraw_) {
        draw();
    }
}

void ProgressBar::update(int percent, const std::wstring& step) {
    const bool stepChanged = step != step_;
    const bool percentRises = percent > percent_ && percent <= kFull;
    if (!stepChanged && !percentRises) {
        return;
    }
    step_ = step;
    if (percentRises) {
        percent_ = percent;
    }
    draw();
}

void ProgressBar::note(const std::string& text) {
    const bool reopen = lineOpen_;
    finish();
    out_ << text << "\n";
    out_.flush();
    if (reopen) {
        draw();
    }
}

void ProgressBar::finish() {
    if (lineOpen_) {
        out_ << "\n";
        out_.flush();
        lineOpen_ = false;
    }
}

std::string ProgressBar::formatDuration(std::chrono::seconds duration) {
    const long long total = duration.count() < 0 ? 0 : duration.count();
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld", total / 60, total % 60);
    }
    return text;
}

std::string ProgressBar::line() const {
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const auto elapsed = clock_() - started_;
    std::string remaining = "--:--";
    if (percent_ > 0) {
        remaining = formatDuration(duration_cast<seconds>(elapsed * (kFull - percent_) / percent_));
    }
    char head[8];
    std::snprintf(head, sizeof head, "%3d%%", percent_);
    std::string text = head;
    if (redraw_) {
        const int filled = percent_ * kBarWidth / kFull;
        text += " [" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(kBarWidth - filled), '.') + "]";
    }
    if (!step_.empty()) {
        text += "  " + toUtf8(step_);
    }
    text +=
        "  " + formatDuration(duration_cast<seconds>(elapsed)) + " elapsed, " + remaining + " left";
    return text;
}

void ProgressBar::draw() {
    if (redraw_) {
        out_ << "\r" << line() << kClearToEnd;
        out_.flush();
        lineOpen_ = true;
        return;
    }
    const int tenth = percent_ / kPlainStep;
    if (tenth == lastPlainTenth_ && step_ == lastPlainStep_) {
        return;
    }
    lastPlainTenth_ = tenth;
    lastPlainStep_ = step_;
    out_ << line() << "\n";
    out_.flush();
}

}  // namespace plugshift
