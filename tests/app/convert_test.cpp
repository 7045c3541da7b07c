// The Qt window's Convert and its console server, against the simulated radio and the sample
// installation: one conversion end to end from the button, and the consoles over a real local
// socket (plugshift-console itself, and a raw connection for what it never sends). The workflow's
// decisions are tested against the presenter in tests/desktop.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/application.h"
#include "app/console_server.h"
#include "app/layout_units.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/task_dialog.h"
#include "config/configuration.h"
#include "desktop/console_address.h"
#include "desktop/console_link.h"
#include "desktop/console_message.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "sim/sim_d2xx.h"
#include "tasks/messages.h"
#include "tasks/radio_info.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

const QString kSampleData = QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data");
const QString kSampleSetup = QStringLiteral(
    PLUGSHIFT_SAMPLE_INSTALL_DIR "/sample-home/data/Kestrelon/KMV Plugshift PERU/data/setup.dat");
const QString kBand = QStringLiteral("916-928MHz");
const QString kTitle = QStringLiteral("KMV410 Plugshift 916-928MHz");

struct Shown {
    QString text;
    unsigned style;
};

// The window with what it works on; the Task's window is bound so commands run.
struct Rig {
    explicit Rig(D2xx& driver) : manager(driver) { EventWindow::bind(task, &windows); }

    Task task;
    RadioManager manager;
    QObject windows;
    std::unique_ptr<MainWindow> window;

    MainWindow& open(const QString& backups) {
        window = std::make_unique<MainWindow>(manager, task, Configuration::instance());
        window->presenter().setBackupFolder(backups.toStdString());
        AppMessageEvent cable(Message{kMsgCableState, 0, 1});
        QCoreApplication::sendEvent(window.get(), &cable);
        return *window;
    }
};

// The model number as the radio reports it now.
QByteArray modelOf(SimD2xx& sim) {
    return QString::fromStdWString(RadioInfo::modelText(sim.radio().model()).value_or(L""))
        .toLatin1();
}

QByteArray bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString withoutStamps(QString log) {
    return log.remove(QRegularExpression(QStringLiteral(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] )")));
}

// A console written by hand over the socket, for requests plugshift-console never sends.
class RawConsole {
public:
    bool open(const QString& path) {
        socket_.connectToServer(path);
        return socket_.waitForConnected(2000);
    }
    void send(const QByteArray& line) {
        socket_.write(line + '\n');
        socket_.flush();
    }
    // The next line from the tool, with the event loop running meanwhile; empty after 5 s.
    QByteArray next() {
        const bool arrived = QTest::qWaitFor([this] { return socket_.canReadLine(); }, 5000);
        return arrived ? socket_.readLine().trimmed() : QByteArray();
    }
    // The lines that have come so far, without waiting.
    QList<QByteArray> arrived() {
        QList<QByteArray> lines;
        while (socket_.canReadLine()) {
            lines.append(socket_.readLine().trimmed());
        }
        return lines;
    }
    void close() { socket_.abort(); }
    // Leaves as soon as the line arrives, while the tool goes on with what it answered.
    void closeOn(const QByteArray& line) {
        QObject::connect(&socket_, &QLocalSocket::readyRead, &socket_, [this, line] {
            if (socket_.canReadLine() && socket_.readLine().trimmed() == line) {
                socket_.abort();
            }
        });
    }

private:
    QLocalSocket socket_;
};

}  // namespace

class ConvertTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    QList<Shown> shown_;
    // Answers to Yes/No questions in turn; Yes once they run out.
    QList<int> yesNo_;
    std::function<void(const Shown&)> onMessage_;

    QString backups() const { return folder_.filePath(QStringLiteral("backup")); }
    QString errLog() const { return fileText(folder_.filePath(QStringLiteral("log/err.log"))); }
    int backupCount() const { return int(QDir(backups()).entryList(QDir::Files).size()); }

    static bool loadInstallation(const QString& dataFolder, const QString& setup) {
        Configuration& configuration = Configuration::instance();
        configuration.reset();
        return configuration.createDocument() &&
               configuration.load((dataFolder + QStringLiteral("/config.xml")).toStdWString(),
                                  setup.toStdWString());
    }

    QString setupCopy() {
        const QString setup = folder_.filePath(QStringLiteral("setup.dat"));
        QFile::remove(setup);
        QFile::copy(kSampleSetup, setup);
        QFile::setPermissions(setup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return setup;
    }

    // The window's console server, listening in the test's folder.
    bool serve(ConsoleServer& server, MainWindow& window) {
        if (!server.listen(folder_.filePath(QStringLiteral("tool.console")))) {
            return false;
        }
        window.attachConsole(server);
        return true;
    }
    // What follows a test-mode request's name in the tool's acknowledgement.
    static QByteArray acknowledgement(const ConsoleServer& server) {
        return QByteArray::number(server.ownHandle()) + " 8";
    }

    static void waitIdle(const MainWindow& window) {
        QTRY_VERIFY_WITH_TIMEOUT(
            window.presenter().operation() == MainWindowPresenter::Operation::Idle, 30000);
    }

private slots:
    void init() {
        QDir(folder_.path()).removeRecursively();
        QDir().mkpath(folder_.path());
        QVERIFY(loadInstallation(kSampleData, setupCopy()));
        ErrorLog::setDirectory(folder_.path().toStdWString());
        shown_.clear();
        yesNo_.clear();
        onMessage_ = nullptr;
        ModalRunner::answerMessages([this](const QString& text, unsigned style) {
            shown_.append({text, style});
            if (onMessage_) {
                onMessage_(shown_.last());
            }
            if ((style & MessageBoxStyle::kButtonsMask) != MessageBoxStyle::kYesNo) {
                return MessageBoxStyle::kIdOk;
            }
            return yesNo_.isEmpty() ? MessageBoxStyle::kIdYes : yesNo_.takeFirst();
        });
    }
    void cleanup() {
        ModalRunner::reset();
        ErrorChain::remove(0);
        ErrorLog::reset();
    }

    // One conversion end to end through the window: the check box and the button reach the
    // presenter, the answers come from the message boxes, the display shows the converted radio.
    void convertsFromTheButton() {
        SimD2xx sim;
        const QByteArray userId = bytes(sim.radio().userPrivateId());
        Rig rig(sim);
        MainWindow& window = rig.open(backups());
        window.keepPersonalityBox()->setChecked(true);
        window.findChild<QPushButton*>(QStringLiteral("control%1").arg(MainWindow::kIdConvert))
            ->click();

        QCOMPARE(shown_.size(), 2);
        QCOMPARE(shown_[0].text, QtStrings::format(str::kConfirmConvert, kBand));
        QCOMPARE(shown_[0].style, MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion);
        QCOMPARE(shown_[1].text, QStringLiteral("Convert successful."));
        QCOMPARE(shown_[1].style, MessageBoxStyle::kIconInformation);
        QCOMPARE(modelOf(sim), QByteArray("RQX770HJNWE"));
        QCOMPARE(window.displayedText(MainWindowView::Model), QStringLiteral("RQX770HJNWE"));
        QCOMPARE(window.displayedText(MainWindowView::UserPrivateId), QStringLiteral("1234567"));
        QCOMPARE(bytes(sim.radio().userPrivateId()), userId);
        QCOMPARE(backupCount(), 1);
        QVERIFY(!rig.manager.radioInfo().isConnected());
        QVERIFY(window.keepPersonalityBox()->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(withoutStamps(errLog()),
                 QStringLiteral("The radio's personality is saved in [%1].\n")
                     .arg(QDir(backups()).entryInfoList(QDir::Files).first().filePath()));
    }

    // plugshift-console as a test station runs it: test mode, a conversion, its result, back.
    void plugshiftConsoleDrivesTheTool() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open(backups());
        ConsoleServer server;
        QVERIFY(serve(server, window));
        const auto console = [&](const QStringList& arguments, QString& out) {
            QProcess process;
            process.start(QStringLiteral(PLUGSHIFT_CONSOLE_PATH),
                          QStringList{QStringLiteral("--socket"), server.path()} + arguments);
            if (!process.waitForStarted()) {
                return -1;
            }
            if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
                process.kill();
                process.waitForFinished();
                return -1;
            }
            out =
                QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        QString out;
        QCOMPARE(console({QStringLiteral("enter-test-mode")}, out), 0);
        QCOMPARE(out, QStringLiteral("The tool is in test mode.\n"));
        QCOMPARE(shown_.size(), 1);
        QCOMPARE(shown_[0].text,
                 QStringLiteral("Update flash tool is entering test mode, \t\r\ndo you want to "
                                "continue?"));
        QCOMPARE(shown_[0].style, MessageBoxStyle::kYesNo);
        QCOMPARE(window.windowTitle(), kTitle + QStringLiteral(" [Test mode]"));

        QCOMPARE(console({QStringLiteral("start"), QStringLiteral("--wait")}, out), 0);
        QCOMPARE(out, QStringLiteral("The conversion has started.\nConvert successful.\n"));
        QCOMPARE(shown_.size(), 1);  // nothing asked, nothing shown
        QCOMPARE(modelOf(sim), QByteArray("RQX770HJNWE"));

        // The radio is converted now: the next start fails, and says so.
        QCOMPARE(console({QStringLiteral("start"), QStringLiteral("--wait")}, out), 1);
        QVERIFY(out.contains(QStringLiteral("Convert failed.")));
        QCOMPARE(shown_.size(), 1);

        QCOMPARE(console({QStringLiteral("exit-test-mode")}, out), 0);
        QCOMPARE(out, QStringLiteral("The tool has left test mode.\n"));
        QVERIFY(!window.presenter().testMode());
        QCOMPARE(window.windowTitle(), kTitle);

        // Declined, and nothing listening.
        yesNo_ = {MessageBoxStyle::kIdNo};
        QCOMPARE(console({QStringLiteral("enter-test-mode")}, out), 3);
        QCOMPARE(out, QStringLiteral("The tool's user declined test mode.\n"));
        QVERIFY(!window.presenter().testMode());
        server.close();
        QCOMPARE(console({QStringLiteral("exit-test-mode")}, out), 2);
        QVERIFY(out.startsWith(QStringLiteral("No KMV Plugshift PERU tool is running")));
    }

    // What the tool ignores (answered with 1), the acknowledgements, and a console that leaves
    // before its result.
    void requestsOverTheSocket() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open(backups());
        ConsoleServer server;
        QVERIFY(serve(server, window));
        const QByteArray ack = acknowledgement(server);

        RawConsole gone;
        QVERIFY(gone.open(server.path()));
        gone.send("WM_TOOL_UPDATE_EXIT_TEST_MODE 555 2056");
        QCOMPARE(gone.next(), "WM_TOOL_UPDATE_EXIT_TEST_MODE " + ack);
        QCOMPARE(gone.next(), QByteArray("RESULT 1 0"));
        gone.close();

        RawConsole console;
        QVERIFY(console.open(server.path()));
        const struct {
            QByteArray line;
            QByteArray answer;
        } ignored[] = {
            {"WM_TOOL_UPDATE_START 600 1234", "RESULT 1 0"},  // claims 600, but a bad lParam
            {"WM_TOOL_UPDATE_START 555 2056", "RESULT 1 0"},  // the console that has gone
            {"WM_TOOL_UPDATE_START 0 2056", "RESULT 1 0"},
            {"WM_TOOL_UPDATE_END 600 2056", "RESULT 1 0"},
            {"HELLO", "RESULT 1 0"},
        };
        for (const auto& request : ignored) {
            console.send(request.line);
            QCOMPARE(console.next(), request.answer);
        }
        QVERIFY(shown_.isEmpty());
        QCOMPARE(window.presenter().operation(), MainWindowPresenter::Operation::Idle);
        QCOMPARE(window.presenter().consoleWindow(), int64_t{0});

        // Entering twice asks once; both are acknowledged.
        for (int i = 0; i < 2; ++i) {
            console.send("WM_TOOL_UPDATE_ENTER_TEST_MODE 600 2056");
            QCOMPARE(console.next(), "WM_TOOL_UPDATE_ENTER_TEST_MODE " + ack);
            QCOMPARE(console.next(), QByteArray("RESULT 1 0"));
        }
        QCOMPARE(shown_.size(), 1);
        QVERIFY(window.presenter().testMode());

        // Started, then gone before the end: eleven attempts, then the message box.
        console.closeOn("RESULT 0 0");
        console.send("WM_TOOL_UPDATE_START 600 2056");
        QTRY_COMPARE_WITH_TIMEOUT(shown_.size(), 2, 30000);
        waitIdle(window);
        QCOMPARE(modelOf(sim), QByteArray("RQX770HJNWE"));
        QCOMPARE(shown_[1].text, QStringLiteral("Failed to connect to console."));
        QCOMPARE(shown_[1].style, MessageBoxStyle::kIconInformation);
    }

    // A request that comes while an earlier one waits on an open box is handled after it: EXIT
    // behind an ENTER whose question is still up is answered second and leaves test mode off.
    void requestsAreHandledInTheOrderTheyCame() {
        SimD2xx sim;
        Rig rig(sim);
        MainWindow& window = rig.open(backups());
        ConsoleServer server;
        QVERIFY(serve(server, window));
        const QByteArray ack = acknowledgement(server);
        RawConsole console;
        QVERIFY(console.open(server.path()));

        QList<QByteArray> whileAsked;
        ModalRunner::answerMessages({});  // a real box, which stays up while the tool's loop runs
        ModalRunner::answerDialogs([&](QDialog& dialog) {
            auto* box = qobject_cast<MessageDialog*>(&dialog);
            QVERIFY(box != nullptr);
            console.send("WM_TOOL_UPDATE_EXIT_TEST_MODE 600 2056");
            QTest::qWait(300);
            whileAsked = console.arrived();
            QVERIFY(!window.presenter().testMode());
            box->firstButton()->click();  // Yes
        });
        console.send("WM_TOOL_UPDATE_ENTER_TEST_MODE 600 2056");
        QCOMPARE(console.next(), "WM_TOOL_UPDATE_ENTER_TEST_MODE " + ack);
        QCOMPARE(whileAsked, QList<QByteArray>{});
        QCOMPARE(console.next(), QByteArray("RESULT 1 0"));
        QCOMPARE(console.next(), "WM_TOOL_UPDATE_EXIT_TEST_MODE " + ack);
        QCOMPARE(console.next(), QByteArray("RESULT 1 0"));
        QVERIFY(!window.presenter().testMode());
        QCOMPARE(window.windowTitle(), kTitle);
    }

    // plugshift-console finds the socket by the instance name the application takes.
    void consoleFindsTheInstancesSocket() {
        QCOMPARE(Application::mutexName().toStdString(),
                 std::string(ConsoleAddress::kInstanceName));
    }

    void taskDialogTemplate() {
        Task task;
        TaskDialog dialog(task);
        QCOMPARE(dialog.size(), LayoutUnits(dialog.font()).size(152, 51));
        auto* text = dialog.findChild<QLabel*>(QStringLiteral("control1065"));
        QVERIFY(text != nullptr);
        QCOMPARE(text->alignment(), Qt::AlignCenter);
        QCOMPARE(text->geometry(), dialog.rect());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::ConvertTest)
#include "convert_test.moc"
