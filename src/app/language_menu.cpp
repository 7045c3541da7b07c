#include "app/language_menu.h"

#include <QAction>
#include <QActionGroup>

#include "app/qt_strings.h"

namespace plugshift {

LanguageMenu::LanguageMenu(const LanguageList& list, Choose choose, QWidget* parent)
    : QMenu(QtStrings::text(str::kMenuLanguage), parent), list_(list), choose_(std::move(choose)) {
    setObjectName(QStringLiteral("languageMenu"));
}

LanguageMenu* LanguageMenu::create(const LanguageList& list, Choose choose, QWidget* parent) {
    if (list.items().empty()) {
        return nullptr;
    }
    auto* menu = new LanguageMenu(list, std::move(choose), parent);
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
        connect(action, &QAction::triggered, menu, [menu, command] { menu->choose(command); });
    }
    menu->markChecked();
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
    if (choose_) {
        choose_(command);
    }
    markChecked();
}

void LanguageMenu::markChecked() {
    if (QAction* action = actionFor(list_.checkedCommand())) {
        action->setChecked(true);
        setDefaultAction(action);
    }
}

}  // namespace plugshift
