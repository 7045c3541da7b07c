#pragma once

#include <array>
#include <string>

namespace plugshift {

// The main window's status bar, whatever draws it: the help prompt on the left, the cable state
// in the middle and the progress of a running command on the right, the percent centred over a
// bar that grows from the left.
class StatusBarParts {
public:
    enum Part { Prompt = 0, Cable = 1, Progress = 2, Count = 3 };
    // The value of a full bar.
    static constexpr int kScale = 100;

    // The right edge of each part in a bar `width` pixels wide: the prompt's and the cable's at
    // 30 % and 60 % of it, the progress part's at the end.
    static std::array<int, Count> rightEdges(int width);
    // The prompt while a menu command is highlighted; the general one (F1) for anything else.
    static std::wstring prompt(int command);
    static std::wstring cableText(bool connected);
    // What the progress part says over its bar: nothing until the command has made progress.
    static std::wstring progressLabel(int percent);
    // How much of a part `width` pixels wide the bar covers at the percent.
    static int barWidth(int percent, int width);
};

}  // namespace plugshift
