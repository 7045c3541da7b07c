#include "app/language_menu.h"

#include <QAction>
#include <QActionGroup>
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/message_dialog.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

constexpr std::array<LanguageMenu::Language, 13> kLanguages = {{
    {"en_us", 32777, str::kLangEnglish},
    {"de", 32778, str::kLangGerman},
    {"fr", 32779, str::kLangFrench},
    {"fr_ca", 32780, str::kLangFrenchCanadian},
    {"it", 32781, str::kLangItalian},
    {"nl", 32782, str::kLangDutch},
    {"pl", 32783, str::kLangPolish},
    {"pt", 32784, str::kLangPortuguese},
    {"pt_br", 32785, str::kLangPortugueseBrazil},
    {"ru", 32786, str::kLangRussian},
    {"sp", 32787, str::kLangSpanish},
    {"sp_la", 32788, str::kLangSpanishLatinAmerican},
    {"tu", 32789, str::kLangTurkish},
}};

}  // namespace

std::span<const LanguageMenu::Language> LanguageMenu::languages() {
    return kLanguages;
}

const LanguageMenu::Language* LanguageMenu::find(const QString& code) {
    for (const Language& language : kLanguages) {
        if (code.compare(QLatin1String(language.code), Qt::CaseInsensitive) == 0) {
            return &language;
        }
    }
    return nullptr;
}

LanguageMenu::LanguageMenu(StoreLanguage storeLanguage, QWidget* parent)
    : QMenu(QtStrings::text(str::kMenuLanguage), parent),
      storeLanguage_(std::move(storeLanguage)) {
    setObjectName(QStringLiteral("languageMenu"));
}

LanguageMenu* LanguageMenu::create(const QStringList& codes, const QString& current,
                                   StoreLanguage storeLanguage, QWidget* parent,
                                   const std::filesystem::path& helpFolder) {
    std::vector<std::wstring> configured;
    for (const QString& code : codes) {
        configured.push_back(code.toStdWString());
    }
    const std::vector<std::wstring> offered = HelpFiles::offered(configured, helpFolder);
    if (offered.empty()) {
        return nullptr;
    }
    auto* menu = new LanguageMenu(std::move(storeLanguage), parent);
    auto* group = new QActionGroup(menu);  // one check mark among the known languages
    for (const std::wstring& wideCode : offered) {
        const QString code = QString::fromStdWString(wideCode);
        const Language* language = find(code);
        if (language == nullptr) {
            menu->addAction(code);
            continue;
        }
        QAction* action = menu->addAction(QtStrings::text(language->stringId));
        action->setData(language->command);
        action->setCheckable(true);
        group->addAction(action);
        const int command = language->command;
        connect(action, &QAction::triggered, menu, [menu, command] { menu->choose(command); });
    }
    if (const Language* language = current.isEmpty() ? nullptr : find(current)) {
        menu->mark(language->command);
    }
    return menu;
}

QAction* LanguageMenu::actionFor(int command) const {
    for (QAction* action : actions()) {
        if (command != 0 && action->data().toInt() == command) {
            return action;
        }
    }
    return nullptr;
}

void LanguageMenu::choose(int command) {
    const auto* language =
        std::find_if(kLanguages.begin(), kLanguages.end(),
                     [command](const Language& l) { return l.command == command; });
    if (language == kLanguages.end()) {
        return;
    }
    mark(command);
    if (storeLanguage_) {
        storeLanguage_(QLatin1String(language->code));
    }
    MessageDialog::showMessage(str::kRestartForLanguage, MessageDialog::kIconInformation,
                               parentWidget());
}

void LanguageMenu::mark(int command) {
    if (QAction* action = actionFor(command)) {
        action->setChecked(true);
        setDefaultAction(action);
    }
}

}  // namespace plugshift
