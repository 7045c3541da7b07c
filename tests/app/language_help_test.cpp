#include <QAction>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "app/help_opener.h"
#include "app/language_menu.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "config/help_files.h"
#include "errors/error_log.h"

namespace plugshift {

namespace {

struct Message {
    QString text;
    unsigned style;
};

}  // namespace

class LanguageHelpTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        messages.clear();
        stored.clear();
        ModalRunner::answerMessages([this](const QString& text, unsigned style) {
            messages.append({text, style});
            return MessageDialog::kIdOk;
        });
    }
    void cleanup() {
        ModalRunner::reset();
        QDir::setCurrent(startFolder);
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
        QVERIFY(stored.isEmpty());
        QVERIFY(messages.isEmpty());
        QVERIFY(menu->actionFor(32778)->isChecked());
    }

    void noCodesGiveNoMenu() { QCOMPARE(create({}, QStringLiteral("de")), nullptr); }

    // A language whose help is not in lang/ is not offered, so F1 always finds the help of a
    // chosen language.
    void offersOnlyLanguagesWhoseHelpShips_data() {
        QTest::addColumn<QStringList>("shipped");
        QTest::addColumn<QStringList>("items");  // empty: no Language menu
        QTest::newRow("English and Latin American Spanish")
            << QStringList{"en_us", "sp_la"}
            << QStringList{"&English", QStringLiteral("Espa\u00f1ol Latino Americano(&A)")};
        QTest::newRow("an unknown code with help") << QStringList{"xx"} << QStringList{"xx"};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }
    void offersOnlyLanguagesWhoseHelpShips() {
        QFETCH(QStringList, shipped);
        QFETCH(QStringList, items);
        QTemporaryDir lang;
        writeHelp(lang.path(), shipped);
        std::unique_ptr<LanguageMenu> menu(LanguageMenu::create({"en_us", "de", "sp_la", "xx"},
                                                                QStringLiteral("de"), {}, nullptr,
                                                                lang.path().toStdWString()));
        if (items.isEmpty()) {
            QCOMPARE(menu.get(), nullptr);
            return;
        }
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << action->text();
        }
        QCOMPARE(texts, items);
        QCOMPARE(menu->defaultAction(), nullptr);  // the stored "de" is not offered
    }

    // The choice is stored for the next start and announced every time, even when it does not
    // change anything.
    void choosingStoresTheCodeAndAsksForARestart() {
        std::unique_ptr<LanguageMenu> menu(
            create({QStringLiteral("EN_US"), QStringLiteral("de")}, QStringLiteral("de")));
        menu->actionFor(32778)->trigger();
        menu->actionFor(32777)->trigger();
        QCOMPARE(stored, (QStringList{QStringLiteral("de"), QStringLiteral("en_us")}));
        QCOMPARE(messages.size(), 2);
        for (const Message& message : messages) {
            QCOMPARE(message.text,
                     QStringLiteral("You have to restart the tool for thsi change to take "
                                    "effect."));
            QCOMPARE(message.style, MessageDialog::kIconInformation);
        }
        QVERIFY(menu->actionFor(32777)->isChecked());
        QVERIFY(!menu->actionFor(32778)->isChecked());
        QCOMPARE(menu->defaultAction(), menu->actionFor(32777));
    }

    void helpPathIsRelativeToTheWorkingFolder() {
        QCOMPARE(HelpOpener::helpPath(QString()), QStringLiteral("../lang/en_us.chm"));
        QCOMPARE(HelpOpener::helpPath(QStringLiteral("pt_br")),
                 QStringLiteral("../lang/pt_br.chm"));
    }

    // bin/ is the working folder; lang/ beside it holds the files present. The compiled help
    // goes first, the HTML help beside it when the compiled one is missing or finds no viewer.
    // When help is there but the desktop opens none of it, the log says why before the entry
    // every failure writes.
    void opensTheHelpOfTheLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("desktopOpens");
        QTest::addColumn<bool>("xdgOpen");            // on the PATH
        QTest::addColumn<QStringList>("handedOver");  // to the desktop, in order
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("cause");  // the log's entry before the failure's; "": none
        const QStringList all = {"en_us.chm", "en_us.html"};
        QTest::newRow("empty is en_us") << QString() << QStringList{"en_us.chm"} << all << true
                                        << QStringList{"en_us.chm"} << true << QString();
        QTest::newRow("en_us") << QStringLiteral("en_us") << QStringList{"en_us.chm"} << all << true
                               << QStringList{"en_us.chm"} << true << QString();
        QTest::newRow("sp_la") << QStringLiteral("sp_la") << QStringList{"sp_la.html"}
                               << QStringList{"sp_la.html"} << true << QStringList{"sp_la.html"}
                               << true << QString();
        QTest::newRow("missing language")
            << QStringLiteral("de") << all << all << false << QStringList{} << false << QString();
        QTest::newRow("desktop refuses")
            << QString() << QStringList{"en_us.chm"} << QStringList{} << true
            << QStringList{"en_us.chm"} << false
            << "The desktop could not open the help file [%1/lang/en_us.chm].";
        QTest::newRow("no xdg-open") << QString() << all << QStringList{} << false << all << false
                                     << "No program could open the help file "
                                        "[%1/lang/en_us.html]: xdg-open was not found (install "
                                        "xdg-utils).";
        QTest::newRow("HTML help") << QString() << QStringList{"en_us.html"} << all << true
                                   << QStringList{"en_us.html"} << true << QString();
        QTest::newRow("no viewer for the compiled help")
            << QString() << all << QStringList{"en_us.html"} << true << all << true << QString();
    }
    void opensTheHelpOfTheLanguage() {
        QFETCH(QString, language);
        QFETCH(QStringList, present);
        QFETCH(QStringList, desktopOpens);
        QFETCH(bool, xdgOpen);
        QFETCH(QStringList, handedOver);
        QFETCH(bool, ok);
        QFETCH(QString, cause);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        writeHelp(root.filePath(QStringLiteral("lang")), present);
        QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("bin"))));
        ErrorLog::setDirectory(root.path().toStdWString());
        setPath(root.filePath(QStringLiteral("path")), xdgOpen);

        QList<QUrl> opened;
        const HelpOpener opener([&](const QUrl& url) {
            opened.append(url);
            return desktopOpens.contains(url.fileName());
        });
        QCOMPARE(opener.open(language), ok);

        QList<QUrl> expected;
        for (const QString& name : handedOver) {
            expected.append(QUrl::fromLocalFile(root.filePath(QStringLiteral("lang/") + name)));
        }
        QCOMPARE(opened, expected);
        if (ok) {
            QVERIFY(messages.isEmpty());
            QVERIFY(!QFile::exists(root.filePath(QStringLiteral("log/err.log"))));
            return;
        }
        checkFailureShown();
        QStringList entries = {QStringLiteral("Failed to load help file.")};
        if (!cause.isEmpty()) {
            entries.prepend(cause.arg(root.path()));
        }
        QCOMPARE(logEntries(root.path()), entries);
    }

    // The desktop's own opener, as F1 uses it, on a system without xdg-open.
    void withoutXdgOpenTheLogNamesIt() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        writeHelp(root.filePath(QStringLiteral("lang")), {"sp_la"});
        QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("bin"))));
        ErrorLog::setDirectory(root.path().toStdWString());
        setPath(root.filePath(QStringLiteral("path")), false);

        QVERIFY(!HelpOpener().open(QStringLiteral("sp_la")));
        checkFailureShown();
        const QStringList entries = logEntries(root.path());
        QCOMPARE(entries.size(), 2);
        QVERIFY2(entries.first().contains(QStringLiteral("xdg-open was not found")),
                 qPrintable(entries.first()));
    }

private:
    // The menu of the codes, each with its help in place.
    LanguageMenu* create(const QStringList& codes, const QString& current) {
        writeHelp(helpFolder.path(), codes);
        return LanguageMenu::create(
            codes, current, [this](const QString& code) { stored.append(code); }, nullptr,
            helpFolder.path().toStdWString());
    }

    // A help document in folder for each item: a code (its HTML help) or a file name.
    static void writeHelp(const QString& folder, const QStringList& items) {
        QVERIFY(QDir().mkpath(folder));
        for (const QString& item : items) {
            const QString name =
                item.contains(u'.')
                    ? item
                    : QString::fromStdWString(HelpFiles::fileNames(item.toStdWString()).back());
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

    void checkFailureShown() const {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text, QStringLiteral("The help files are unavailable."));
        QCOMPARE(messages.first().style, MessageDialog::kIconInformation);
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

    QTemporaryDir helpFolder;
    const QString startFolder = QDir::currentPath();
    const QByteArray startPath = qgetenv("PATH");
    QList<Message> messages;
    QStringList stored;
};

}  // namespace plugshift

QTEST_MAIN(plugshift::LanguageHelpTest)
#include "language_help_test.moc"
