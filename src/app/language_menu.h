#pragma once

#include <QMenu>
#include <functional>

#include "desktop/language_list.h"

namespace plugshift {

// The Language submenu: one item per language of the list, the checked one shown as the default
// item. Choosing a known language hands its command on and checks what the list then checks.
class LanguageMenu : public QMenu {
    Q_OBJECT
public:
    using Choose = std::function<void(int command)>;

    // The submenu of the list's items, or null when it has none (the Setting menu then has no
    // Language entry). The list must outlive the menu.
    static LanguageMenu* create(const LanguageList& list, Choose choose, QWidget* parent = nullptr);

    // The item of a command, null when the menu has none.
    QAction* actionFor(int command) const;

private:
    LanguageMenu(const LanguageList& list, Choose choose, QWidget* parent);
    void choose(int command);
    void markChecked();

    const LanguageList& list_;
    Choose choose_;
};

}  // namespace plugshift
