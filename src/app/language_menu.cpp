#include "app/language_menu.h"

#include <QAction>
#include <QActionGroup>

#include "app/qt_strings.h"

namespace plugshift {

LanguageMenu::LanguageMenu(QWidget* parent) : QMenu(QtStrings::text(str::kMenuLanguage), parent) {
    setObjectName(QStringLiteral("languageMenu"));
}

LanguageMenu* LanguageMenu::create(const LanguageList& list, Choose choose, QWidget* parent) {
    if (list.items().empty()) {
        return nullptr;
    }
    auto* menu = new LanguageMenu(parent);
    auto* group = new QActionGroup(menu);  // one check mark among the known languages
    for (const LanguageList::Item& item : list.items()) {
        QAction* action = menu->addAction(QString::fromStdWString(item.text));
        if (item.command == 0) {
            continue;
        }
        action->setData(item.command);
        action->setCheckable(true);
        group->addAction(action);
        const int command = item.command;
        connect(action, &QAction::triggered, menu, [choose, command] { choose(command); });
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

void LanguageMenu::markChecked(int command) {
    QAction* action = actionFor(command);
    for (QAction* item : actions()) {
        item->setChecked(item == action);
    }
    setDefaultAction(action);
}

}  // namespace plugshift
