// The main window against the simulated radio (or, for cable counting, a scripted cable driver)
// and the sample installation's configuration. The radio manager's poll is not started: each
// test delivers the cable notices itself.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/app_resources.h"
#include "app/dealer_login_dialog.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "config/configuration.h"
#include "conversion/workflow_strings.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "fake_d2xx.h"
#include "sim/sim_d2xx.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

struct Shown {
    QString text;
    unsigned style;
    // Whether a busy cursor was set while the message waited.
    bool busyCursor = false;
};

// The window with what it works on. The Task's window is bound, so commands can run.
struct Rig {
    explicit Rig(D2xx& driver) : manager(driver) { EventWindow::bind(task, &windows); }

    Task task;
    RadioManager manager;
    QObject windows;
    std::unique_ptr<MainWindow> window;

    MainWindow& open() {
        window = std::make_unique<MainWindow>(manager, task, Configuration::instance());
        return *window;
    }
};

void deliver(MainWindow& window, uint32_t id, uintptr_t wParam, intptr_t lParam) {
    AppMessageEvent event(Message{id, wParam, lParam});
    QCoreApplication::sendEvent(&window, &event);
}

void cable(MainWindow& window, intptr_t lParam) {
    deliver(window, kMsgCableState, 0, lParam);
}

template <class T>
T* control(const MainWindow& window, int id) {
    return window.findChild<T*>(QStringLiteral("control%1").arg(id));
}

// The login dialog answered with each entry in turn; each entry is typed and Login pressed.
void answerLogin(const QStringList& entries, QList<bool>* wrongShown = nullptr) {
    auto next = std::make_shared<int>(0);
    ModalRunner::answerDialogs([entries, next, wrongShown](QDialog& dialog) {
        auto* login = qobject_cast<DealerLoginDialog*>(&dialog);
        if (login == nullptr || *next >= entries.size()) {
            return;
        }
        if (wrongShown != nullptr) {
            wrongShown->append(login->wrongPassword());
        }
        login->edit()->clear();
        QTest::keyClicks(login->edit(), entries[(*next)++]);
        login->loginButton()->click();
    });
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir setupFolder_;
    QList<Shown> shown_;
    std::function<void(const Shown&)> onMessage_;

    void login(MainWindow& window) {
        answerLogin({QStringLiteral("2468")});
        window.onCommand(MainWindow::kCmdDealerLogin);
        ModalRunner::answerDialogs({});
    }
    // Up front, as a person uses it: logged in, and a cable plugged in.
    bool showLoggedInWithACable(MainWindow& window) {
        login(window);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            return false;
        }
        cable(window, 1);
        return true;
    }

private slots:
    void initTestCase() {
        const QString setup = setupFolder_.filePath(QStringLiteral("setup.dat"));
        QVERIFY(QFile::copy(QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR
                                           "/sample-home/data/Kestrelon/KMV Plugshift PERU/data/"
                                           "setup.dat"),
                            setup));
        QFile::setPermissions(setup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        Configuration& configuration = Configuration::instance();
        QVERIFY(configuration.createDocument());
        QVERIFY(configuration.load(
            QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data/config.xml").toStdWString(),
            setup.toStdWString()));
    }
    void init() {
        shown_.clear();
        onMessage_ = nullptr;
        ModalRunner::answerMessages([this](const QString& text, unsigned style) {
            shown_.append({text, style, QApplication::overrideCursor() != nullptr});
            if (onMessage_) {
                onMessage_(shown_.last());
            }
            return MessageBoxStyle::kIdOk;
        });
    }
    void cleanup() {
        ModalRunner::reset();
        ErrorChain::remove(0);
    }

    // The workflows name their messages by number; the window's table serves every one of them.
    void workflowMessagesMatchTheStringTable() {
        int checked = 0;
        for (int id = 1; id < 200; ++id) {
            if (const wchar_t* text = workflowText(id)) {
                QCOMPARE(QtStrings::text(id), QString::fromWCharArray(text));
                ++checked;
            }
        }
        QVERIFY(checked >= 15);
    }

    void startsLoggedOutWithEverythingUnknown() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        QCOMPARE(window.windowTitle(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
        for (int field = 0; field < MainWindowView::FieldCount; ++field) {
            QCOMPARE(window.displayedText(MainWindowView::Field(field)), QStringLiteral("N/A"));
            QVERIFY(control<QLineEdit>(window, MainWindow::kValueIds[field])->isReadOnly());
        }
        QCOMPARE(control<QLabel>(window, 1067)->text(), QStringLiteral("Radio Type:"));
        QCOMPARE(control<QLabel>(window, 1079)->text(), QStringLiteral("User Private ID:"));
        QCOMPARE(control<QPushButton>(window, MainWindow::kIdGetRadioInfo)->text(),
                 QtStrings::text(str::kButtonGetRadioInfo));
        QVERIFY(!window.keepPersonalityBox()->isChecked());
        QCOMPARE(control<QLineEdit>(window, MainWindow::kIdNewSerial)->maxLength(), 11);
        QVERIFY(!control<QLabel>(window, MainWindow::kIdTimeLabel)->isVisibleTo(&window));
        QCOMPARE(window.statusBar()->prompt(), QStringLiteral("For help, press F1"));
        QCOMPARE(window.statusBar()->cableText(), QStringLiteral("USB Cable Disconnected"));
        QVERIFY(!window.shownPicture().isNull());

        // The serial-number group is hidden and the window ends where it begins.
        auto* group = control<QGroupBox>(window, MainWindow::kIdSerialGroup);
        QVERIFY(!group->isVisibleTo(&window));
        QCOMPARE(window.statusBar()->geometry().top(), group->geometry().top());
        QCOMPARE(window.statusBar()->geometry().bottom(), window.height() - 1);
        QCOMPARE(window.statusBar()->width(), window.width());
    }

    void menusCarryTheirTextsAndPrompts() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        QStringList titles;
        for (QAction* menu : window.menuBar()->actions()) {
            titles << menu->text();
        }
        QCOMPARE(titles, (QStringList{"&File", "&Setting", "&Help"}));
        QCOMPARE(window.commandAction(MainWindow::kCmdExit)->text(),
                 QtStrings::text(str::kMenuExit));
        QCOMPARE(window.commandAction(MainWindow::kCmdDealerLogin)->text(),
                 QStringLiteral("&Dealer Login"));
        auto* languages = window.findChild<QMenu*>(QStringLiteral("languageMenu"));
        QVERIFY(languages != nullptr);
        QCOMPARE(languages->title(), QStringLiteral("&Language"));
        // The installation's thirteen languages, in its order.
        QStringList languageTexts;
        for (QAction* language : languages->actions()) {
            languageTexts << language->text();
        }
        QCOMPARE(languageTexts.size(), 13);
        QCOMPARE(languageTexts.first(), QStringLiteral("&English"));
        QCOMPARE(languageTexts.at(11), QStringLiteral("Espa\u00f1ol Latino Americano(&A)"));
        QCOMPARE(languageTexts.last(), QStringLiteral("T\u00fcrk\u00e7e(&K)"));
        QVERIFY(languages->defaultAction() != nullptr);
        QCOMPARE(languages->defaultAction()->text(), QStringLiteral("&English"));

        const struct {
            int command;
            int prompt;
        } prompts[] = {{MainWindow::kCmdExit, str::kPromptExit},
                       {MainWindow::kCmdDealerLogin, str::kPromptDealerLogin},
                       {MainWindow::kCmdAbout, str::kPromptAbout},
                       {MainWindow::kCmdHelpContents, str::kPromptHelpContents}};
        for (const auto& p : prompts) {
            window.commandAction(p.command)->hover();
            QCOMPARE(window.statusBar()->prompt(), QtStrings::text(p.prompt));
        }
        emit window.findChild<QMenu*>(QStringLiteral("helpMenu"))->aboutToShow();
        QCOMPARE(window.statusBar()->prompt(), QtStrings::text(str::kPromptHelp));

        // A mouse move over the window brings the general prompt back.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.commandAction(MainWindow::kCmdAbout)->hover();
        QTest::mouseMove(control<QLineEdit>(window, MainWindow::kValueIds[MainWindowView::Model]));
        QTRY_COMPARE(window.statusBar()->prompt(), QtStrings::text(str::kPromptHelp));
    }

    void enablingRulesFollowTheCable_data() {
        QTest::addColumn<int>("lParam");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<bool>("connected");
        QTest::newRow("no cable") << 0 << false << false;
        QTest::newRow("one cable") << 1 << false << true;
        QTest::newRow("one cable, dealer") << 1 << true << true;
        QTest::newRow("one cable and an open port") << 2 << false << true;
        QTest::newRow("back to none, dealer") << 0 << true << false;
    }
    void enablingRulesFollowTheCable() {
        QFETCH(int, lParam);
        QFETCH(bool, loggedIn);
        QFETCH(bool, connected);
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        if (loggedIn) {
            login(window);
            QVERIFY(window.presenter().isDealerLoggedIn());
        }
        cable(window, 1 - std::min(lParam, 1));  // start from the other state
        cable(window, lParam);
        QCOMPARE(window.presenter().isCableConnected(), connected);
        QCOMPARE(control<QPushButton>(window, MainWindow::kIdGetRadioInfo)->isEnabled(), connected);
        QCOMPARE(window.keepPersonalityBox()->isEnabled(), connected);
        QCOMPARE(control<QPushButton>(window, MainWindow::kIdConvert)->isEnabled(), connected);
        QCOMPARE(control<QPushButton>(window, MainWindow::kIdUpdateSerial)->isEnabled(),
                 connected && loggedIn);
        QCOMPARE(control<QLineEdit>(window, MainWindow::kIdNewSerial)->isEnabled(),
                 connected && loggedIn);
        QCOMPARE(window.statusBar()->cableText(),
                 QtStrings::text(connected ? str::kCableConnected : str::kCableDisconnected));
        QVERIFY(shown_.isEmpty());
    }

    // Two cables and an open port: string 113 until one is pulled; notices that arrive while the
    // message is up are dropped.
    void twoCablesAreRefusedUntilOneIsLeft() {
        test::FakeD2xx cables;
        cables.descriptions = {"NV PGM Cable", "NV PGM Cable"};
        Rig rig(cables);
        MainWindow& window = rig.open();
        onMessage_ = [&](const Shown&) {
            cable(window, 0);
            if (shown_.size() == 2) {
                cables.descriptions.pop_back();
            }
        };
        cable(window, 3);
        const QString many = QStringLiteral(
            "There are 2 USB conections. Please remove the unused and keep one connection only.");
        QCOMPARE(shown_.size(), 2);
        for (const Shown& message : shown_) {
            QCOMPARE(message.text, many);
            QCOMPARE(message.style, MessageBoxStyle::kIconWarning);
            QVERIFY(!message.busyCursor);
        }
        QVERIFY(window.presenter().isCableConnected());
        QCOMPARE(window.statusBar()->cableText(), QStringLiteral("USB Cable Connected"));
        QVERIFY(control<QPushButton>(window, MainWindow::kIdGetRadioInfo)->isEnabled());
    }

    void getRadioInformationFillsEveryField() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        cable(window, 1);
        window.onCommand(MainWindow::kIdGetRadioInfo);
        QCOMPARE(shown_.size(), 1);
        QCOMPARE(shown_[0].text, QStringLiteral("Successfully get radio information."));
        QCOMPARE(shown_[0].style, MessageBoxStyle::kIconInformation);
        const QStringList expected = {"KMV410 Series", "01",        "RQX770HJNWA", "752TRX4F21",
                                      "R02.10.05",     "R01.03.00", "R01.00.02",   "1234567"};
        for (int field = 0; field < MainWindowView::FieldCount; ++field) {
            QCOMPARE(window.displayedText(MainWindowView::Field(field)), expected[field]);
        }
        QVERIFY(!rig.manager.radioInfo().isConnected());
        QCOMPARE(window.presenter().operation(), MainWindowPresenter::Operation::Idle);
        QVERIFY(window.presenter().isResultShown());
        auto* time = control<QLabel>(window, MainWindow::kIdTimeLabel);
        QVERIFY(time->isVisibleTo(&window));
        QVERIFY(QRegularExpression(QStringLiteral(R"(^\[ \d\d-\d\d \d\d:\d\d \]$)"))
                    .match(time->text())
                    .hasMatch());
        QVERIFY(!window.shownPicture().isNull());
    }

    void loginOpensTheSerialNumberGroup() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        const int heightBefore = window.height();
        QList<bool> wrongShown;
        answerLogin({QStringLiteral("1357"), QStringLiteral("24680"), QStringLiteral("2468")},
                    &wrongShown);
        window.onCommand(MainWindow::kCmdDealerLogin);
        QCOMPARE(wrongShown, (QList<bool>{false, true, true}));
        QVERIFY(window.presenter().isDealerLoggedIn());
        QVERIFY(!window.commandAction(MainWindow::kCmdDealerLogin)->isEnabled());
        QCOMPARE(QString::fromStdWString(Configuration::instance().acceptedCode()),
                 QStringLiteral("2468"));
        auto* group = control<QGroupBox>(window, MainWindow::kIdSerialGroup);
        QVERIFY(group->isVisibleTo(&window));
        QVERIFY(window.height() > heightBefore);
        QCOMPARE(window.statusBar()->geometry().bottom(), window.height() - 1);
        QVERIFY(window.statusBar()->geometry().top() > group->geometry().bottom());

        // Once logged in, the command does nothing.
        int asked = 0;
        ModalRunner::answerDialogs([&asked](QDialog&) { ++asked; });
        window.onCommand(MainWindow::kCmdDealerLogin);
        QCOMPARE(asked, 0);
        QVERIFY(shown_.isEmpty());
    }

    // A message waits with the normal pointer, whichever workflow shows it; the wait cursor is
    // gone once the workflow ends.
    void messagesWaitWithTheNormalPointer() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        login(window);
        cable(window, 1);
        window.onCommand(MainWindow::kIdGetRadioInfo);
        control<QLineEdit>(window, MainWindow::kIdNewSerial)->setText(QStringLiteral("123ABC4D67"));
        window.onCommand(MainWindow::kIdUpdateSerial);
        window.onCommand(MainWindow::kIdConvert);  // the question, answered with anything but Yes
        sim.cable(0).setMode(SimCableMode::Echo);
        window.onCommand(MainWindow::kIdGetRadioInfo);
        const QStringList texts = {
            QStringLiteral("Successfully get radio information."),
            QStringLiteral("Update serial number successful."),
            QtStrings::format(str::kConfirmConvert, QStringLiteral("916-928MHz")),
            QtStrings::text(str::kToggleCableDigital)};
        QCOMPARE(shown_.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(shown_[i].text, texts[i]);
            QVERIFY2(!shown_[i].busyCursor, qPrintable(texts[i]));
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // While a workflow runs the window keeps the focus: none of the radio's fields takes it or
    // selects its text, whichever control started the workflow.
    void workflowsLeaveTheRadioFieldsAlone_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("focused");
        QTest::newRow("get information")
            << MainWindow::kIdGetRadioInfo << MainWindow::kIdGetRadioInfo;
        QTest::newRow("convert") << MainWindow::kIdConvert << MainWindow::kIdConvert;
        QTest::newRow("convert from the check box")
            << MainWindow::kIdConvert << MainWindow::kIdKeepPersonality;
        QTest::newRow("update serial number")
            << MainWindow::kIdUpdateSerial << MainWindow::kIdNewSerial;
    }
    void workflowsLeaveTheRadioFieldsAlone() {
        QFETCH(int, command);
        QFETCH(int, focused);
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        QVERIFY(showLoggedInWithACable(window));
        control<QLineEdit>(window, MainWindow::kIdNewSerial)->setText(QStringLiteral("123ABC4D67"));
        control<QWidget>(window, focused)->setFocus();
        QStringList touched;
        onMessage_ = [&](const Shown&) {
            for (int field = 0; field < MainWindowView::FieldCount; ++field) {
                auto* value = control<QLineEdit>(window, MainWindow::kValueIds[field]);
                if (window.focusWidget() == value || value->hasSelectedText()) {
                    touched << value->objectName();
                }
            }
        };
        window.onCommand(command);
        QCOMPARE(shown_.size(), 1);
        QVERIFY2(touched.isEmpty(), qPrintable(touched.join(u' ')));
    }

    // Enter in the new serial number writes it. No button is the window's default: Enter on a
    // radio field does nothing, on a button it presses that button.
    void enterBelongsToTheFocusedControl() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        QVERIFY(showLoggedInWithACable(window));
        for (const QPushButton* button : window.findChildren<QPushButton*>()) {
            QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
        }
        auto* edit = control<QLineEdit>(window, MainWindow::kIdNewSerial);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("123ABC4D67"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(shown_.size(), 1);
        QCOMPARE(shown_[0].text, QStringLiteral("Update serial number successful."));
        const std::vector<uint8_t> serial = sim.radio().serial();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(serial.data()), qsizetype(serial.size())),
                 QByteArray("123ABC4D67"));
        QCOMPARE(edit->selectedText(), edit->text());  // ready to be typed over

        auto* model = control<QLineEdit>(window, MainWindow::kValueIds[MainWindowView::Model]);
        model->setFocus();
        QTest::keyClick(model, Qt::Key_Enter);
        QCOMPARE(shown_.size(), 1);

        auto* getInfo = control<QPushButton>(window, MainWindow::kIdGetRadioInfo);
        getInfo->setFocus();
        QTest::keyClick(getInfo, Qt::Key_Return);
        QCOMPARE(shown_.size(), 2);
        QCOMPARE(shown_[1].text, QStringLiteral("Successfully get radio information."));
    }

    // The close box ends the window as Exit does, and like Exit not while a workflow runs.
    void exitAndCloseAreRefusedWhileBusyAndEscapeNeverCloses() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        window.show();
        cable(window, 1);
        bool visibleAfterExit = false;
        onMessage_ = [&](const Shown&) {
            window.onCommand(MainWindow::kCmdExit);
            window.close();
            visibleAfterExit = window.isVisible();
        };
        window.onCommand(MainWindow::kIdGetRadioInfo);
        QVERIFY(visibleAfterExit);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), MainWindow::kCmdExit);
    }

    void progressGoesToTheStatusBar() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        deliver(window, kMsgProgress, 40, 0);
        QCOMPARE(window.statusBar()->percent(), 40);
        deliver(window, kMsgProgress, 150, 100);
        QCOMPARE(window.statusBar()->percent(), 40);
        deliver(window, kMsgProgress, 3, 4);
        QCOMPARE(window.statusBar()->percent(), 75);
    }

    // The radio bitmap's background takes the button colour, and again after the colours change.
    void picturesFollowTheColourScheme() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open();
        cable(window, 1);
        window.onCommand(MainWindow::kIdGetRadioInfo);
        const QImage bitmap =
            AppResources::bitmap(AppResources::kRadioBitmap).convertToFormat(QImage::Format_RGB32);
        const auto count = [](const QImage& image, QRgb colour) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    n += image.pixel(x, y) == colour ? 1 : 0;
                }
            }
            return n;
        };
        const int background = count(bitmap, AppResources::kRadioBackground);
        QVERIFY(background > 100);
        const QRgb face = window.palette().color(QPalette::Button).rgb();
        QCOMPARE(
            count(window.shownPicture().toImage(), face),
            face == AppResources::kRadioBackground ? background : background + count(bitmap, face));

        QPalette palette = window.palette();
        palette.setColor(QPalette::Button, QColor(200, 0, 0));
        window.setPalette(palette);
        const QImage recoloured = window.shownPicture().toImage();
        QCOMPARE(count(recoloured, qRgb(200, 0, 0)), background + count(bitmap, qRgb(200, 0, 0)));
        QCOMPARE(count(recoloured, AppResources::kRadioBackground), 0);
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::MainWindowTest)
#include "main_window_test.moc"
