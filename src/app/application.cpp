#include "app/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cerrno>
#include <clocale>
#include <cstring>

#include "app/console_server.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_message_target.h"
#include "app/single_instance.h"
#include "app/splash_screen.h"
#include "app/qt_strings.h"
#include "cli/console/console_address.h"
#include "config/configuration.h"
#include "config/provision_setup_file.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "radio/tty_d2xx.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

// Shipped files and the installation's own files each sit in a folder "data" of their folder.
const QString kFilesFolder = QStringLiteral("/data/");

}  // namespace

Application::Application(D2xx* driver) : driver_(driver) {}

Application::~Application() {
    exitInstance();
}

QString Application::mutexName() const {
    return QString::fromLatin1(kMutexPrefix) + QString::fromLatin1(kRegion);
}

bool Application::initInstance() {
    stage_ = Stage::DataFolder;
    title_ = QtStrings::title();
    MessageDialog::setApplicationName(title_);
    if (baseDirectory_.isEmpty()) {
        const QString program = QCoreApplication::applicationFilePath();
        baseDirectory_ = program.left(program.lastIndexOf(u'/') + 1) + QStringLiteral("..");
    }
    if (!findDataDirectory()) {
        return false;
    }
    std::setlocale(LC_ALL, "");

    stage_ = Stage::Document;
    if (!Configuration::instance().createDocument()) {
        ErrorLog::write(L"Error:failed to initialize COM.");
        return false;
    }
    stage_ = Stage::Components;
    if (!startComponents()) {
        ErrorLog::write(L"Error:failed to initialize component.");
        return false;
    }
    stage_ = Stage::Configuration;
    if (!loadConfiguration()) {
        return false;
    }
    stage_ = Stage::Region;
    if (!checkRegion()) {
        return false;
    }
    stage_ = Stage::InstallationId;
    if (!copyInstallationId()) {
        return false;
    }
    stage_ = Stage::SingleInstance;
    if (!takeInstance()) {
        return false;
    }
    listenForConsoles();
    stage_ = Stage::Splash;
    SplashScreen splash(kSplashMs);
    ModalRunner::exec(splash);
    stage_ = Stage::MainWindow;
    runMainWindow();
    stage_ = Stage::Finished;
    return false;
}

QString Application::locateDataDirectory() {
    const QString shared = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (shared.isEmpty()) {
        return {};
    }
    return shared + u'/' + QString::fromLatin1(kCompany) + u'/' + QString::fromLatin1(kKeyName);
}

bool Application::findDataDirectory() {
    dataDirectory_ = locateDataDirectory();
    if (dataDirectory_.isEmpty()) {
        // The log has no folder yet, so this entry goes nowhere; it is written all the same.
        ErrorLog::write(
            L"Error:Failed to retrieve the common application data path due to the error [%ls].",
            fromUtf8(std::strerror(errno)).c_str());
        return false;
    }
    ErrorLog::setDirectory(dataDirectory_.toStdWString());
    return true;
}

bool Application::startComponents() {
    if (!driver_) {
        ownDriver_ = std::make_unique<TtyD2xx>();
        driver_ = ownDriver_.get();
    }
    windows_ = std::make_unique<QObject>();
    task_ = std::make_unique<Task>();
    manager_ = std::make_unique<RadioManager>(*driver_);
    // Binding the manager's window starts the cable poll.
    return EventWindow::bind(*task_, windows_.get()) != nullptr &&
           EventWindow::bind(*manager_, windows_.get()) != nullptr;
}

bool Application::loadConfiguration() {
    const QString configPath = baseDirectory_ + kFilesFolder + QStringLiteral("config.xml");
    const QString setupPath = dataDirectory_ + kFilesFolder + QStringLiteral("setup.dat");
    // The data folder is the user's own: at a first start the installation's setup file goes in.
    provisionSetupFile(baseDirectory_.toStdWString(), dataDirectory_.toStdWString());
    if (Configuration::instance().load(configPath.toStdWString(), setupPath.toStdWString())) {
        return true;
    }
    ErrorLog::write(L"%ls", ErrorChain::firstMessage().c_str());
    ErrorChain::remove(0);
    showFileProblem();
    return false;
}

bool Application::checkRegion() {
    const QString region = QString::fromStdWString(Configuration::instance().regionName());
    if (!region.isEmpty() && region.compare(QLatin1String(kRegion), Qt::CaseInsensitive) == 0) {
        return true;
    }
    ErrorLog::write(L"Error:invalid config file.The the applicatio only supportes region [%ls]",
                    QString::fromLatin1(kRegion).toStdWString().c_str());
    showFileProblem();
    return false;
}

bool Application::copyInstallationId() {
    const QSettings settings(QSettings::IniFormat, QSettings::SystemScope,
                             QString::fromLatin1(kCompany), QString::fromLatin1(kKeyName));
    // A file that cannot be read, or holds nothing, is a key that cannot be opened.
    if (settings.status() != QSettings::NoError || settings.allKeys().isEmpty()) {
        ErrorLog::write(L"Error:failed to retrieve the id.");
        showFileProblem();
        return false;
    }
    const QVariant value = settings.value(QStringLiteral("id"));
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        showFileProblem();
        return false;
    }
    // Whether the setup file takes it does not change the outcome of start-up.
    Configuration::instance().storeInstallId(value.toString().trimmed().toStdWString());
    return true;
}

bool Application::takeInstance() {
    instance_ = std::make_unique<SingleInstance>(mutexName(), dataDirectory_);
    switch (instance_->acquire()) {
        case SingleInstance::Outcome::First:
            QObject::connect(instance_.get(), &SingleInstance::raiseRequested,
                             [this] { raiseRunningWindow(); });
            return true;
        case SingleInstance::Outcome::AlreadyRuns:
            instance_.reset();
            return false;
        case SingleInstance::Outcome::Failed:
            break;
    }
    instance_.reset();
    ErrorLog::write(L"Error:failed to create mutex.");
    return false;
}

QString Application::consoleSocketPath() const {
    if (!instance_) {
        return {};
    }
    const QString folder = QFileInfo(instance_->lockPath()).absolutePath();
    return folder + u'/' +
           QString::fromStdString(ConsoleAddress::socketName(mutexName().toStdString()));
}

void Application::listenForConsoles() {
    console_ = std::make_unique<ConsoleServer>();
    const QString path = consoleSocketPath();
    if (!console_->listen(path)) {
        ErrorLog::write(L"Error:failed to listen for consoles on [%ls].",
                        path.toStdWString().c_str());
    }
}

void Application::runMainWindow() {
    MainWindow window(*manager_, *task_, Configuration::instance());
    window.attachConsole(*console_);
    mainWindow_ = &window;
    ModalRunner::exec(window);
    mainWindow_ = nullptr;
}

void Application::raiseRunningWindow() {
    if (mainWindow_ && mainWindow_->isMinimized()) {
        mainWindow_->showNormal();
    }
    // The window on top of the application: an open message box or dialog, else the main one.
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) {
        front = mainWindow_;
    }
    if (front != nullptr) {
        front->raise();
        front->activateWindow();
    }
}

void Application::showFileProblem() {
    MessageDialog::showMessage(str::kFileMissing, MessageDialog::kIconError);
}

int Application::exitInstance() {
    if (exited_) {
        return 0;
    }
    exited_ = true;
    Configuration::instance().releaseDocument();
    if (manager_) {
        manager_->stop();
    }
    if (console_) {
        console_->close();
    }
    if (instance_) {
        instance_->release();
    }
    return 0;
}

}  // namespace plugshift
