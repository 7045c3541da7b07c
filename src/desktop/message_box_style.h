#pragma once

#include <optional>

#include "conversion/workflow_strings.h"

namespace plugshift {

// A message box's style in the system message box's encoding, and what it means for the box:
// the low four bits choose the buttons, the next the icon (the workflows' MessageIcon values).
// A button answers with its id, which is also the id of its text in the string table.
class MessageBoxStyle {
public:
    static constexpr unsigned kOk = 0x0;
    static constexpr unsigned kOkCancel = 0x1;
    static constexpr unsigned kYesNo = 0x4;
    static constexpr unsigned kButtonsMask = 0xF;
    static constexpr unsigned kIconError = static_cast<unsigned>(MessageIcon::Error);
    static constexpr unsigned kIconQuestion = static_cast<unsigned>(MessageIcon::Question);
    static constexpr unsigned kIconWarning = static_cast<unsigned>(MessageIcon::Warning);
    static constexpr unsigned kIconInformation = static_cast<unsigned>(MessageIcon::Information);

    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;
    static constexpr int kIdYes = 6;
    static constexpr int kIdNo = 7;

    // The buttons from left to right; second is 0 on a box with one button.
    struct Buttons {
        int first;
        int second;
    };

    static MessageIcon icon(unsigned style);
    static Buttons buttons(unsigned style);
    // What Escape and the close box answer: Cancel where there is one, OK where OK is alone;
    // nothing on Yes/No, which must be answered, so its box has no close box.
    static std::optional<int> closeAnswer(unsigned style);
    // Whether a press of the button id ends the box: one of its buttons.
    static bool isButton(unsigned style, int id);
};

}  // namespace plugshift
