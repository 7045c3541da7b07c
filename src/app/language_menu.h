#pragma once

#include <QMenu>
#include <functional>

#include "desktop/language_list.h"

namespace plugshift {

// The Language submenu: one item per language of the list, the checked one shown as the default
// item. Choosing a known language hands its command on; the check mark goes where it is told.
class LanguageMenu : public QMenu {
    Q_OBJECT
public:
    using Choose = std::function<void(int command)>;

    // The submenu of the list's items, or null when it has none (the Setting menu then has no
    // Language entry); nothing checked yet.
    static LanguageMenu* create(const LanguageList& list, Choose choose, QWidget* parent = nullptr);

    // The item of a command, null when the menu has none.
    QAction* actionFor(int command) const;
    // The check mark (and the default item's bold) on the command's item; 0 for none.
    void markChecked(int command);

private:
    explicit LanguageMenu(QWidget* parent);
};

}  // namespace plugshift
