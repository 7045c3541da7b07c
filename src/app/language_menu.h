#pragma once

#include <QMenu>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <span>

#include "config/help_files.h"

namespace plugshift {

// The Language submenu: one item per configured language code whose help ships, the current
// language checked and shown as the default item. Choosing a language checks it, stores it for the
// next start and tells the user that a restart is needed; the running program keeps its language.
class LanguageMenu : public QMenu {
    Q_OBJECT
public:
    struct Language {
        const char* code;
        int command;
        int stringId;  // the menu text
    };

    using StoreLanguage = std::function<void(const QString& code)>;

    // The thirteen languages the program knows, in command order.
    static std::span<const Language> languages();
    // Codes compare without regard to case; null for an unknown code.
    static const Language* find(const QString& code);

    // The submenu for the configured codes whose help helpFolder holds, in their order, or null
    // when none is left (the Setting menu then has no Language entry). An unknown code is listed
    // as it is and choosing it does nothing. current, the configured default language, may be
    // empty.
    static LanguageMenu* create(
        const QStringList& codes, const QString& current, StoreLanguage storeLanguage,
        QWidget* parent = nullptr,
        const std::filesystem::path& helpFolder = HelpFiles::installedFolder());

    // The item of a command, null when the menu has none.
    QAction* actionFor(int command) const;
    // What choosing the item of the command does.
    void choose(int command);

private:
    LanguageMenu(StoreLanguage storeLanguage, QWidget* parent);
    void mark(int command);

    StoreLanguage storeLanguage_;
};

}  // namespace plugshift
