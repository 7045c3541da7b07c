#include "desktop/message_box_style.h"

namespace plugshift {

MessageIcon MessageBoxStyle::icon(unsigned style) {
    // Warning before the others: its bits hold the error's and the question's.
    if ((style & kIconWarning) == kIconWarning) {
        return MessageIcon::Warning;
    }
    if ((style & kIconError) != 0) {
        return MessageIcon::Error;
    }
    if ((style & kIconInformation) != 0) {
        return MessageIcon::Information;
    }
    if ((style & kIconQuestion) != 0) {
        return MessageIcon::Question;
    }
    return MessageIcon::None;
}

MessageBoxStyle::Buttons MessageBoxStyle::buttons(unsigned style) {
    switch (style & kButtonsMask) {
        case kYesNo:
            return {kIdYes, kIdNo};
        case kOkCancel:
            return {kIdOk, kIdCancel};
        default:
            return {kIdOk, 0};
    }
}

std::optional<int> MessageBoxStyle::closeAnswer(unsigned style) {
    const Buttons shown = buttons(style);
    if (shown.first == kIdYes) {
        return std::nullopt;
    }
    return shown.second != 0 ? shown.second : shown.first;
}

bool MessageBoxStyle::isButton(unsigned style, int id) {
    const Buttons shown = buttons(style);
    return id != 0 && (id == shown.first || id == shown.second);
}

}  // namespace plugshift
