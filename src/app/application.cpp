#include "app/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "app/console_server.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/single_instance.h"
#include "app/splash_screen.h"
#include "config/configuration.h"
#include "desktop/console_address.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

Application::Application(D2xx& driver)
    : startUp_(*this, Configuration::instance()), driver_(driver) {}

Application::~Application() {
    exitInstance();
}

QString Application::mutexName() {
    return QString::fromLatin1(kMutexPrefix) + QString::fromStdWString(StartUp::kRegion);
}

bool Application::initInstance() {
    MessageDialog::setApplicationName(QtStrings::title());
    startUp_.run();
    return false;
}

QString Application::locateDataDirectory() {
    const QString shared = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (shared.isEmpty()) {
        return {};
    }
    return shared + u'/' + QString::fromLatin1(kCompany) + u'/' + QString::fromLatin1(kKeyName);
}

std::optional<std::filesystem::path> Application::dataFolder(std::wstring& reason) {
    dataDirectory_ = locateDataDirectory();
    if (dataDirectory_.isEmpty()) {
        reason = fromUtf8(std::strerror(errno));
        return std::nullopt;
    }
    return pathFromUtf8(dataDirectory_.toStdString());
}

std::filesystem::path Application::installationFolder() {
    return baseDirectory_.isEmpty() ? plugshift::installationFolder()
                                    : pathFromUtf8(baseDirectory_.toStdString());
}

bool Application::startComponents() {
    windows_ = std::make_unique<QObject>();
    task_ = std::make_unique<Task>();
    manager_ = std::make_unique<RadioManager>(driver_);
    // Binding the manager's window starts the cable poll.
    return EventWindow::bind(*task_, windows_.get()) != nullptr &&
           EventWindow::bind(*manager_, windows_.get()) != nullptr;
}

StartUpHost::InstallationId Application::installationId() {
    const QSettings settings(QSettings::IniFormat, QSettings::SystemScope,
                             QString::fromLatin1(kCompany), QString::fromLatin1(kKeyName));
    InstallationId id;
    // A file that cannot be read, or holds nothing, is a key that cannot be opened.
    id.keyOpened = settings.status() == QSettings::NoError && !settings.allKeys().isEmpty();
    const QVariant value = settings.value(QStringLiteral("id"));
    if (id.keyOpened && value.isValid() && value.typeId() == QMetaType::QString) {
        id.value = value.toString().toStdWString();
    }
    return id;
}

StartUpHost::Instance Application::takeInstance() {
    instance_ = std::make_unique<SingleInstance>(mutexName(), dataDirectory_);
    switch (instance_->acquire()) {
        case SingleInstance::Outcome::First:
            QObject::connect(instance_.get(), &SingleInstance::raiseRequested,
                             [this] { raiseRunningWindow(); });
            return Instance::First;
        case SingleInstance::Outcome::AlreadyRuns:
            instance_.reset();
            return Instance::AlreadyRuns;
        case SingleInstance::Outcome::Failed:
            break;
    }
    instance_.reset();
    return Instance::Failed;
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

void Application::showFileProblem(const std::wstring& text) {
    MessageDialog::showMessage(QString::fromStdWString(text), MessageBoxStyle::kIconError);
}

void Application::showSplash(int milliseconds) {
    SplashScreen splash(milliseconds);
    ModalRunner::exec(splash);
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
