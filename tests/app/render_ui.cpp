// Renders every window of the application's dialogs and status bar, the main window before and
// after a dealer login and a radio read, and a sheet of its pictures, into PNG files for review:
// render_ui <output folder>. Runs under the offscreen platform, against the sample installation
// and the simulated radio.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/dealer_login_dialog.h"
#include "app/language_menu.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/splash_screen.h"
#include "app/task_dialog.h"
#include "config/configuration.h"
#include "sim/sim_d2xx.h"
#include "tasks/command.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {
namespace {

class Renderer {
public:
    explicit Renderer(const QDir& folder) : folder_(folder) {}

    void save(const QString& name, const QPixmap& picture) {
        const QString path = folder_.filePath(name + QStringLiteral(".png"));
        if (picture.isNull() || !picture.save(path, "PNG")) {
            std::fprintf(stderr, "cannot render %s\n", qPrintable(path));
            ok_ = false;
            return;
        }
        std::printf("%s\n", qPrintable(path));
    }

    // Shown first, so layouts that settle on showing are as a person sees them.
    void grab(const QString& name, QWidget& widget) {
        widget.show();
        QApplication::processEvents();
        save(name, widget.grab());
        widget.hide();
    }

    bool ok() const { return ok_; }

private:
    QDir folder_;
    bool ok_ = true;
};

void renderMessageBoxes(Renderer& renderer) {
    const struct {
        const char* name;
        QString text;
        unsigned style;
    } boxes[] = {
        {"msgbox_info_one_line", QtStrings::text(str::kConvertSuccessful),
         MessageBoxStyle::kIconInformation},
        {"msgbox_error_112", QtStrings::text(str::kFileMissing), MessageBoxStyle::kIconError},
        {"msgbox_question_116_yes_no",
         QtStrings::format(str::kConfirmConvert, QString::fromStdWString(StringTable::band())),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion},
        {"msgbox_warning_113", QtStrings::format(str::kManyCables, 2),
         MessageBoxStyle::kIconWarning},
        {"msgbox_warning_119", QtStrings::text(str::kToggleCableDigitalRetry),
         MessageBoxStyle::kIconWarning},
        {"msgbox_test_mode_yes_no",
         QStringLiteral("Update flash tool is entering test mode, \t\r\ndo you want to continue?"),
         MessageBoxStyle::kYesNo},
        {"msgbox_question_180_restore", QtStrings::text(str::kOfferRestore),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion},
        {"msgbox_question_187_finish",
         QtStrings::format(kStrFinishWithBackup, QStringLiteral("2024-05-01 12:34")),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion},
        {"msgbox_warning_197_half_written", QtStrings::text(kStrMayBeHalfWritten),
         MessageBoxStyle::kIconWarning},
        {"msgbox_warning_213_another_radio",
         QtStrings::format(str::kAnotherRadioConnected, QStringLiteral("111AAA1A11")),
         MessageBoxStyle::kIconWarning},
        {"msgbox_question_210_finish_last_steps",
         QtStrings::format(kStrFinishLastSteps, QStringLiteral("2024-05-01 12:34")),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion},
        {"msgbox_warning_202_restore_into_converted",
         QtStrings::format(kStrRestoreIntoConverted, QStringLiteral("2024-05-01 12:34")),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconWarning},
        {"msgbox_warning_194_backup_lost",
         QtStrings::format(
             kStrFinishBackupLost,
             QStringLiteral("C:\\ProgramData\\Kestrelon\\KMV Plugshift PERU\\"
                            "backup\\RQX770HJNWA_752TRX4F21_20240501-103456-040.pbk")),
         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconWarning},
        {"msgbox_warning_189_not_reread", QtStrings::text(kStrConvertedNotReread),
         MessageBoxStyle::kIconWarning},
        {"msgbox_info_console_unreachable", QStringLiteral("Failed to connect to console."),
         MessageBoxStyle::kIconInformation},
        {"msgbox_ok_cancel_no_icon", QStringLiteral("OK"), MessageBoxStyle::kOkCancel},
    };
    for (const auto& box : boxes) {
        MessageDialog dialog(box.text, box.style);
        renderer.grab(QString::fromLatin1(box.name), dialog);
    }
}

void renderStatusBar(Renderer& renderer) {
    QWidget host;
    host.resize(640, 60);
    host.setAutoFillBackground(true);
    ProgressStatusBar bar(&host);
    bar.setText(StatusBarParts::Prompt, QString::fromStdWString(StatusBarParts::prompt(0)));
    bar.setText(StatusBarParts::Cable, QString::fromStdWString(StatusBarParts::cableText(true)));
    bar.setPercent(40);
    renderer.grab(QStringLiteral("statusbar_connected_40"), host);
    bar.setText(StatusBarParts::Cable, QString::fromStdWString(StatusBarParts::cableText(false)));
    bar.setPercent(100);
    bar.setText(StatusBarParts::Prompt, QtStrings::text(str::kPromptAbout));
    renderer.grab(QStringLiteral("statusbar_disconnected_100"), host);
    bar.setPercent(0);
    renderer.grab(QStringLiteral("statusbar_0"), host);
}

void renderLogin(Renderer& renderer) {
    DealerLogin login(L"4711", {});
    DealerLoginDialog dialog(login);
    dialog.edit()->setText(QStringLiteral("1234"));
    renderer.grab(QStringLiteral("login_hint"), dialog);
    login.submit(L"1234");
    renderer.grab(QStringLiteral("login_wrong"), dialog);
}

void renderLanguageMenu(Renderer& renderer) {
    QWidget owner;
    const QStringList codes = {
        QStringLiteral("EN_US"), QStringLiteral("de"), QStringLiteral("fr"),
        QStringLiteral("fr_ca"), QStringLiteral("it"), QStringLiteral("nl"),
        QStringLiteral("pl"),    QStringLiteral("pt"), QStringLiteral("pt_br"),
        QStringLiteral("ru"),    QStringLiteral("sp"), QStringLiteral("sp_la"),
        QStringLiteral("tu"),    QStringLiteral("xx")};
    std::vector<std::wstring> configured;
    for (const QString& code : codes) {
        configured.push_back(code.toStdWString());
    }
    const LanguageList list(configured, L"pt_br");
    LanguageMenu* menu = LanguageMenu::create(list, {}, &owner);
    menu->adjustSize();
    renderer.grab(QStringLiteral("language_menu"), *menu);
}

// Every picture at its own size, and the icons also enlarged four times, so their pixels can be
// judged; each icon stands once on a dark and once on a light ground.
void renderPictures(Renderer& renderer) {
    constexpr int kZoom = 4;
    constexpr int kSides[] = {16, 32, 48};
    constexpr int kGap = 10;
    renderer.save(QStringLiteral("bitmap133"),
                  QPixmap::fromImage(AppResources::bitmap(AppResources::kSplashBitmap)));
    renderer.save(QStringLiteral("bitmap215"),
                  QPixmap::fromImage(AppResources::bitmap(AppResources::kRadioBitmap)));

    for (const int id : {AppResources::kApplicationIcon, AppResources::kCompanyIcon}) {
        const QIcon icon = AppResources::icon(id);
        const int zoomedTop = kGap + 2 * 48 + 2 * kGap;
        QPixmap sheet(kGap + (16 + 32 + 48) * kZoom + 3 * kGap, zoomedTop + 48 * kZoom + kGap);
        sheet.fill(QColor(236, 236, 236));
        QPainter painter(&sheet);
        int x = kGap;
        for (const int side : kSides) {
            const QPixmap pixmap = icon.pixmap(side, side);
            painter.fillRect(QRect(x, kGap, side, side), QColor(40, 40, 40));
            painter.drawPixmap(x, kGap, pixmap);
            painter.drawPixmap(x, kGap + side + kGap / 2, pixmap);
            painter.drawPixmap(x, zoomedTop, pixmap.scaled(side * kZoom, side * kZoom));
            x += side * kZoom + kGap;
        }
        painter.end();
        renderer.save(QStringLiteral("icon%1_sheet").arg(id), sheet);
        renderer.save(QStringLiteral("icon%1_256").arg(id), icon.pixmap(256, 256));
    }
}

// Stands for radio work: runs until released.
class HeldCommand : public Command {
public:
    std::atomic<bool> release{false};
    bool run() override {
        while (!release) {
            std::this_thread::yield();
        }
        return true;
    }
};

// The offscreen platform draws no frames, so the caption is drawn above the window's grab.
QPixmap withCaption(QWidget& window) {
    const QPixmap body = window.grab();
    const int band = window.fontMetrics().height() + 10;
    QPixmap framed(body.width(), body.height() + band);
    framed.fill(QColor(60, 60, 70));
    QPainter painter(&framed);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, body.width() - 16, band), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawPixmap(0, band, body);
    return framed;
}

// A conversion under way: the "Please wait..." window over the main window, whose status bar
// shows the progress so far.
void renderConversionUnderWay(Renderer& renderer, MainWindow& window, Task& task) {
    window.show();
    QApplication::processEvents();
    HeldCommand command;
    TaskDialog wait(task, &window);
    wait.addCommand(&command);
    QTimer::singleShot(0, &wait, [&] {
        AppMessageEvent progress(Message{kMsgProgress, 40, 100});
        QCoreApplication::sendEvent(&window, &progress);
        QApplication::processEvents();
        QPixmap scene = withCaption(window);
        const QPixmap dialog = wait.grab();
        QPainter painter(&scene);
        const QPoint at((scene.width() - dialog.width()) / 2,
                        (scene.height() - dialog.height()) / 2);
        painter.drawPixmap(at, dialog);
        painter.setPen(QColor(90, 90, 90));
        painter.drawRect(QRect(at, dialog.size()).adjusted(0, 0, -1, -1));
        painter.end();
        renderer.save(QStringLiteral("main_window_converting"), scene);
        command.release = true;
    });
    wait.exec();
    AppMessageEvent reset(Message{kMsgProgress, 0, 100});
    QCoreApplication::sendEvent(&window, &reset);
    window.hide();
}

// A menu prompt too long for its part, cut with an ellipsis, and the part's tooltip with the
// whole prompt drawn where it comes up (the offscreen platform shows no pop-ups).
void renderCutPrompt(Renderer& renderer, MainWindow& window) {
    window.show();
    window.commandAction(MainWindow::kCmdAbout)->hover();
    QApplication::processEvents();
    ProgressStatusBar* bar = window.statusBar();
    const QPoint inPrompt = bar->partRect(ProgressStatusBar::kPromptPart).center();
    QHelpEvent help(QEvent::ToolTip, inPrompt, bar->mapToGlobal(inPrompt));
    QApplication::sendEvent(bar, &help);
    QApplication::processEvents();
    QPixmap scene = window.grab();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->inherits("QTipLabel") && top->isVisible()) {
            const QPixmap tip = top->grab();
            QPainter painter(&scene);
            const QPoint at = bar->mapTo(&window, inPrompt) - QPoint(0, tip.height() + 4);
            painter.drawPixmap(at, tip);
            painter.setPen(QColor(90, 90, 90));
            painter.drawRect(QRect(at, tip.size()).adjusted(0, 0, -1, -1));
        }
    }
    QToolTip::hideText();
    renderer.save(QStringLiteral("main_window_cut_prompt_tooltip"), scene);
    window.presenter().onMenuHighlight(0);
    window.hide();
}

// The main window as a person meets it: logged out without a cable, then with the cable, then
// logged in with a radio read. Message boxes are answered at once; the login types the sample's
// dealer password.
void renderMainWindow(Renderer& renderer) {
    QTemporaryDir setupFolder;
    const QString setup = setupFolder.filePath(QStringLiteral("setup.dat"));
    QFile::copy(QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR
                               "/sample-home/data/Kestrelon/KMV Plugshift PERU/data/setup.dat"),
                setup);
    QFile::setPermissions(setup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Configuration& configuration = Configuration::instance();
    if (!configuration.createDocument() ||
        !configuration.load(
            QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data/config.xml").toStdWString(),
            setup.toStdWString())) {
        std::fprintf(stderr, "cannot load the sample installation\n");
        renderer.save(QStringLiteral("main_window"), QPixmap());
        return;
    }
    SimD2xx simulator;
    Task task;
    RadioManager manager(simulator);
    QObject windows;
    EventWindow::bind(task, &windows);
    ModalRunner::answerMessages([](const QString&, unsigned) { return MessageBoxStyle::kIdOk; });
    ModalRunner::answerDialogs([](QDialog& dialog) {
        if (auto* login = qobject_cast<DealerLoginDialog*>(&dialog)) {
            QTest::keyClicks(login->edit(), QStringLiteral("2468"));
            login->loginButton()->click();
        }
    });

    MainWindow window(manager, task, configuration);
    renderer.grab(QStringLiteral("main_window_logged_out"), window);
    AppMessageEvent cable(Message{kMsgCableState, 0, 1});
    QCoreApplication::sendEvent(&window, &cable);
    renderer.grab(QStringLiteral("main_window_cable_connected"), window);
    window.onCommand(MainWindow::kCmdDealerLogin);
    window.onCommand(MainWindow::kIdGetRadioInfo);
    window.findChild<QLineEdit*>(QStringLiteral("control%1").arg(MainWindow::kIdNewSerial))
        ->setText(QStringLiteral("123ABC4D67"));
    renderer.grab(QStringLiteral("main_window_logged_in_radio_read"), window);
    renderCutPrompt(renderer, window);
    ModalRunner::reset();
    renderConversionUnderWay(renderer, window, task);
    window.presenter().setTestMode(true);
    window.show();
    QApplication::processEvents();
    renderer.save(QStringLiteral("main_window_test_mode"), withCaption(window));
    window.hide();
    window.presenter().setTestMode(false);

    TaskDialog wait(task);
    wait.setAttribute(Qt::WA_DontShowOnScreen);
    renderer.save(QStringLiteral("task_dialog"), wait.grab());
}

}  // namespace
}  // namespace plugshift

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    plugshift::Renderer renderer(folder);
    plugshift::renderMessageBoxes(renderer);
    plugshift::renderStatusBar(renderer);
    plugshift::renderLogin(renderer);
    plugshift::renderLanguageMenu(renderer);
    plugshift::SplashScreen splash;
    renderer.grab(QStringLiteral("splash"), splash);
    plugshift::AboutDialog about;
    renderer.grab(QStringLiteral("about"), about);
    plugshift::renderPictures(renderer);
    plugshift::renderMainWindow(renderer);
    return renderer.ok() ? 0 : 1;
}
