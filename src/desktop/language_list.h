#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace plugshift {

// The Language menu's decisions: it lists every configured language, whether or not its help is
// installed (F1 says so when it is not), which one is checked, and what a choice stores. The
// running program keeps its language; a choice takes effect at the next start.
class LanguageList {
public:
    struct Language {
        const wchar_t* code;
        int command;
        int stringId;  // the menu text
    };
    // One menu item; an unknown configured code is listed as it is, with command 0.
    struct Item {
        std::wstring code;
        int command = 0;
        std::wstring text;
    };

    // The menu commands of the thirteen languages the program knows, one after the other.
    static constexpr int kFirstCommand = 32777;
    static constexpr int kLastCommand = 32789;

    // The thirteen languages the program knows, in command order.
    static std::span<const Language> known();
    static bool isCommand(int command) {
        return command >= kFirstCommand && command <= kLastCommand;
    }
    // Codes compare without regard to case; null for an unknown code.
    static const Language* find(const std::wstring& code);

    LanguageList() = default;
    // The configured codes, in their order; current (the configured default language, may be
    // empty) is checked.
    LanguageList(const std::vector<std::wstring>& configured, const std::wstring& current);

    // Empty: the Setting menu has no Language entry.
    const std::vector<Item>& items() const { return items_; }
    // The command of the checked item; 0 for none.
    int checkedCommand() const { return checked_; }
    // Checks the item of a known command and returns its language; null (and nothing checked)
    // for any other command.
    const Language* choose(int command);

private:
    std::vector<Item> items_;
    int checked_ = 0;
};

}  // namespace plugshift
