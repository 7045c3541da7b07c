#include "desktop/status_bar_parts.h"

#include "desktop/main_window_view.h"
#include "desktop/string_table.h"

namespace plugshift {

namespace {

// Right edges of the prompt and cable parts, in percent of the bar's width.
constexpr int kPromptEnd = 30;
constexpr int kCableEnd = 60;

}  // namespace

std::array<int, StatusBarParts::Count> StatusBarParts::rightEdges(int width) {
    return {width * kPromptEnd / 100, width * kCableEnd / 100, width};
}

std::wstring StatusBarParts::prompt(int command) {
    switch (command) {
        case MainWindowView::kCmdExit:
            return StringTable::text(str::kPromptExit);
        case MainWindowView::kCmdDealerLogin:
            return StringTable::text(str::kPromptDealerLogin);
        case MainWindowView::kCmdAbout:
            return StringTable::text(str::kPromptAbout);
        case MainWindowView::kCmdHelpContents:
            return StringTable::text(str::kPromptHelpContents);
        default:
            return StringTable::text(str::kPromptHelp);
    }
}

std::wstring StatusBarParts::cableText(bool connected) {
    return StringTable::text(connected ? str::kCableConnected : str::kCableDisconnected);
}

std::wstring StatusBarParts::progressLabel(int percent) {
    return percent == 0 ? std::wstring() : std::to_wstring(percent) + L'%';
}

int StatusBarParts::barWidth(int percent, int width) {
    return static_cast<int>(static_cast<double>(percent) / kScale * width);
}

}  // namespace plugshift
