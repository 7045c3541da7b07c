#include "desktop/language_list.h"

#include <array>
#include <cwctype>

#include "desktop/string_table.h"

namespace plugshift {

namespace {

constexpr std::array<LanguageList::Language, 13> kLanguages = {{
    {L"en_us", 32777, str::kLangEnglish},
    {L"de", 32778, str::kLangGerman},
    {L"fr", 32779, str::kLangFrench},
    {L"fr_ca", 32780, str::kLangFrenchCanadian},
    {L"it", 32781, str::kLangItalian},
    {L"nl", 32782, str::kLangDutch},
    {L"pl", 32783, str::kLangPolish},
    {L"pt", 32784, str::kLangPortuguese},
    {L"pt_br", 32785, str::kLangPortugueseBrazil},
    {L"ru", 32786, str::kLangRussian},
    {L"sp", 32787, str::kLangSpanish},
    {L"sp_la", 32788, str::kLangSpanishLatinAmerican},
    {L"tu", 32789, str::kLangTurkish},
}};
static_assert(kLanguages.front().command == LanguageList::kFirstCommand &&
              kLanguages.back().command == LanguageList::kLastCommand &&
              kLanguages.size() == LanguageList::kLastCommand - LanguageList::kFirstCommand + 1);

bool sameCode(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace

std::span<const LanguageList::Language> LanguageList::known() {
    return kLanguages;
}

const LanguageList::Language* LanguageList::find(const std::wstring& code) {
    for (const Language& language : kLanguages) {
        if (sameCode(code, language.code)) {
            return &language;
        }
    }
    return nullptr;
}

LanguageList::LanguageList(const std::vector<std::wstring>& configured,
                           const std::wstring& current) {
    for (const std::wstring& code : configured) {
        const Language* language = find(code);
        items_.push_back(language == nullptr ? Item{code, 0, code}
                                             : Item{code, language->command,
                                                    StringTable::text(language->stringId)});
    }
    const Language* checked = current.empty() ? nullptr : find(current);
    if (checked != nullptr) {
        for (const Item& item : items_) {
            if (item.command == checked->command) {
                checked_ = item.command;
            }
        }
    }
}

const LanguageList::Language* LanguageList::choose(int command) {
    for (const Language& language : kLanguages) {
        if (language.command == command) {
            checked_ = command;
            return &language;
        }
    }
    return nullptr;
}

}  // namespace plugshift
