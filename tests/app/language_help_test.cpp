#include <QAction>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "app/help_opener.h"
#include "app/language_menu.h"
#include "errors/error_log.h"

namespace plugshift {

class LanguageHelpTest : public QObject {
    Q_OBJECT
private slots:
    void init() { chosen.clear(); }
    void cleanup() {
        ErrorLog::reset();
        qputenv("PATH", startPath);
    }

    void codesAreMatchedWithoutRegardToCase() {
        std::unique_ptr<LanguageMenu> menu(create({QStringLiteral("EN_US")}, QString()));
        QCOMPARE(menu->title(), QStringLiteral("&Language"));
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("&English"));
        QCOMPARE(menu->actionFor(32777), menu->actions().first());
    }

    void currentLanguageIsCheckedAndDefault_data() {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("marked");  // 0: nothing
        QTest::newRow("pt_br") << QStringLiteral("pt_br") << 32785;
        QTest::newRow("PT_BR") << QStringLiteral("PT_BR") << 32785;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("unknown") << QStringLiteral("xx") << 0;
        QTest::newRow("known but not listed") << QStringLiteral("ru") << 0;
    }
    void currentLanguageIsCheckedAndDefault() {
        QFETCH(QString, current);
        QFETCH(int, marked);
        std::unique_ptr<LanguageMenu> menu(create(
            {QStringLiteral("en_us"), QStringLiteral("pt_br"), QStringLiteral("de")}, current));
        QAction* expected = marked != 0 ? menu->actionFor(marked) : nullptr;
        QCOMPARE(menu->defaultAction(), expected);
        for (QAction* action : menu->actions()) {
            QCOMPARE(action->isChecked(), action == expected);
        }
        if (expected != nullptr) {
            QCOMPARE(expected->text(), QStringLiteral("Portugu\u00eas (&Brasil)"));
        }
    }

    void unknownCodeIsListedAsItIsAndDoesNothing() {
        std::unique_ptr<LanguageMenu> menu(
            create({QStringLiteral("xx"), QStringLiteral("de")}, QStringLiteral("de")));
        QAction* unknown = menu->actions().first();
        QCOMPARE(unknown->text(), QStringLiteral("xx"));
        unknown->trigger();
        QVERIFY(chosen.isEmpty());
        QVERIFY(menu->actionFor(32778)->isChecked());
    }

    void noCodesGiveNoMenu() { QCOMPARE(create({}, QStringLiteral("de")), nullptr); }

    // Choosing hands the command on and the check mark moves where it is told; an unknown code's
    // item hands nothing on.
    void choosingChecksTheListsChoice() {
        std::unique_ptr<LanguageMenu> menu(
            create({QStringLiteral("EN_US"), QStringLiteral("de")}, QStringLiteral("de")));
        menu->actionFor(32777)->trigger();
        QCOMPARE(chosen, QList<int>{32777});
        QVERIFY(menu->actionFor(32777)->isChecked());
        QVERIFY(!menu->actionFor(32778)->isChecked());
        QCOMPARE(menu->defaultAction(), menu->actionFor(32777));
    }

    // A help file there that the desktop does not open: the log says why, naming xdg-open when
    // it is missing.
    void aRefusedHelpFileIsExplainedInTheLog_data() {
        QTest::addColumn<bool>("xdgOpen");  // on the PATH
        QTest::addColumn<QString>("cause");
        QTest::newRow("desktop refuses")
            << true << "The desktop could not open the help file [%1/lang/en_us.chm].";
        QTest::newRow("no xdg-open") << false
                                     << "No program could open the help file "
                                        "[%1/lang/en_us.chm]: xdg-open was not found (install "
                                        "xdg-utils).";
    }
    void aRefusedHelpFileIsExplainedInTheLog() {
        QFETCH(bool, xdgOpen);
        QFETCH(QString, cause);
        QTemporaryDir root;
        writeHelp(root.filePath(QStringLiteral("lang")), {"en_us.chm"});
        ErrorLog::setDirectory(root.path().toStdWString());
        setPath(root.filePath(QStringLiteral("path")), xdgOpen);
        const QString file = root.filePath(QStringLiteral("lang/en_us.chm"));

        QList<QUrl> opened;
        const HelpOpener refusing([&](const QUrl& url) {
            opened.append(url);
            return false;
        });
        QVERIFY(!refusing.open(file.toStdString()));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(file)});
        QCOMPARE(logEntries(root.path()), QStringList{cause.arg(root.path())});

        const HelpOpener accepting([](const QUrl&) { return true; });
        QVERIFY(accepting.open(file.toStdString()));
        QCOMPARE(logEntries(root.path()).size(), 1);
    }

private:
    // The menu of the codes, checked where the list checks, as the presenter has it.
    LanguageMenu* create(const QStringList& codes, const QString& current) {
        std::vector<std::wstring> configured;
        for (const QString& code : codes) {
            configured.push_back(code.toStdWString());
        }
        list = std::make_unique<LanguageList>(configured, current.toStdWString());
        LanguageMenu* menu = LanguageMenu::create(
            *list,
            [this](int command) {
                chosen.append(command);
                list->choose(command);
                created->markChecked(list->checkedCommand());
            },
            nullptr);
        created = menu;
        if (menu != nullptr) {
            menu->markChecked(list->checkedCommand());
        }
        return menu;
    }

    // An empty help document in folder under each name.
    static void writeHelp(const QString& folder, const QStringList& names) {
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : names) {
            QFile help(folder + u'/' + name);
            QVERIFY(help.open(QIODevice::WriteOnly));
        }
    }

    // The PATH holds only folder, with an xdg-open in it or not.
    static void setPath(const QString& folder, bool withXdgOpen) {
        QVERIFY(QDir().mkpath(folder));
        if (withXdgOpen) {
            QFile program(folder + QStringLiteral("/xdg-open"));
            QVERIFY(program.open(QIODevice::WriteOnly));
            program.write("#!/bin/sh\nexit 1\n");
            program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(folder));
        QCOMPARE(QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty(),
                 !withXdgOpen);
    }

    // err.log's entries without their time stamps.
    static QStringList logEntries(const QString& dataFolder) {
        QFile log(dataFolder + QStringLiteral("/log/err.log"));
        if (!log.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList entries;
        for (const QString& line : QString::fromUtf8(log.readAll()).split(u'\n')) {
            if (!line.isEmpty()) {
                entries << line.mid(line.indexOf(QStringLiteral("] ")) + 2);
            }
        }
        return entries;
    }

    const QByteArray startPath = qgetenv("PATH");
    std::unique_ptr<LanguageList> list;
    QList<int> chosen;
    LanguageMenu* created = nullptr;
};

}  // namespace plugshift

QTEST_MAIN(plugshift::LanguageHelpTest)
#include "language_help_test.moc"
