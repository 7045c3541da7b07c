#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/help_opener.h"
#include "app/language_menu.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
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
    void opensTheHelpOfTheLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("desktopOpens");
        QTest::addColumn<QStringList>("handedOver");  // to the desktop, in order
        QTest::addColumn<bool>("ok");
        const QStringList all = {"en_us.chm", "en_us.html"};
        QTest::newRow("empty is en_us")
            << QString() << QStringList{"en_us.chm"} << all << QStringList{"en_us.chm"} << true;
        QTest::newRow("en_us") << QStringLiteral("en_us") << QStringList{"en_us.chm"} << all
                               << QStringList{"en_us.chm"} << true;
        QTest::newRow("missing language")
            << QStringLiteral("de") << all << all << QStringList{} << false;
        QTest::newRow("desktop refuses") << QString() << QStringList{"en_us.chm"} << QStringList{}
                                         << QStringList{"en_us.chm"} << false;
        QTest::newRow("HTML help")
            << QString() << QStringList{"en_us.html"} << all << QStringList{"en_us.html"} << true;
        QTest::newRow("no viewer for the compiled help")
            << QString() << all << QStringList{"en_us.html"} << all << true;
    }
    void opensTheHelpOfTheLanguage() {
        QFETCH(QString, language);
        QFETCH(QStringList, present);
        QFETCH(QStringList, desktopOpens);
        QFETCH(QStringList, handedOver);
        QFETCH(bool, ok);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("lang")));
        for (const QString& name : present) {
            QFile help(root.filePath(QStringLiteral("lang/") + name));
            QVERIFY(help.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("bin"))));
        ErrorLog::setDirectory(root.path().toStdWString());

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
        QFile log(root.filePath(QStringLiteral("log/err.log")));
        if (ok) {
            QVERIFY(messages.isEmpty());
            QVERIFY(!log.exists());
            return;
        }
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text, QStringLiteral("The help files are unavailable."));
        QCOMPARE(messages.first().style, MessageDialog::kIconInformation);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 2);  // one entry and the empty rest after its line end
        QVERIFY(lines.first().endsWith("] Failed to load help file."));
    }

private:
    LanguageMenu* create(const QStringList& codes, const QString& current) {
        return LanguageMenu::create(codes, current,
                                    [this](const QString& code) { stored.append(code); });
    }

    const QString startFolder = QDir::currentPath();
    QList<Message> messages;
    QStringList stored;
};

}  // namespace plugshift

QTEST_MAIN(plugshift::LanguageHelpTest)
#include "language_help_test.moc"
