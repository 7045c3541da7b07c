#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "desktop/start_up.h"
#include "desktop/start_up_host.h"

namespace plugshift {

class MainWindow;
class ConsoleServer;
class D2xx;
class RadioManager;
class SingleInstance;
class Task;

// The application object on Linux: the host of start-up (its folders, the installation id from
// the system settings file, the instance lock, the splash, the main window) and the exit step
// that releases what start-up acquired.
class Application : public StartUpHost {
public:
    static constexpr const char* kCompany = "Kestrelon";
    static constexpr const char* kKeyName = "KMV Plugshift PERU";
    static constexpr const char* kMutexPrefix =
        "B5562DD0-F56D-4608-8F97-8118EFEC84BFQUILLO_PLUGSHIFT_";

    using Stage = StartUp::Stage;

    // The cable backend main chose (the real cables, a port, the simulated radio, a test's
    // fake); it must outlive the application object.
    explicit Application(D2xx& driver);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs start-up and the main window; always false, so the process ends afterwards.
    bool initInstance();
    // Releases the document, stops radio discovery and the instance lock; the exit code. Runs
    // once; the destructor runs it when nobody did.
    int exitInstance();

    Stage stage() const { return startUp_.stage(); }
    const QString& dataDirectory() const { return dataDirectory_; }
    static QString mutexName();
    // The shared data folder of the product; empty when the system has none.
    static QString locateDataDirectory();
    // Tests point the installation elsewhere; the default is the executable's folder + "/..".
    void setBaseDirectory(const QString& directory) { baseDirectory_ = directory; }
    // The main window while it runs.
    MainWindow* mainWindow() const { return mainWindow_; }
    // Where consoles connect: the instance lock's folder, the instance name + ".console"; empty
    // before the instance is taken.
    QString consoleSocketPath() const;

    // StartUpHost
    std::optional<std::filesystem::path> dataFolder(std::wstring& reason) override;
    std::filesystem::path installationFolder() override;
    bool startComponents() override;
    InstallationId installationId() override;
    Instance takeInstance() override;
    // Consoles are served by the first instance only; without the socket the tool runs on.
    void listenForConsoles() override;
    void showSplash(int milliseconds) override;
    void showFileProblem(const std::wstring& text) override;
    void runMainWindow() override;

private:
    void raiseRunningWindow();

    StartUp startUp_;
    bool exited_ = false;
    QString baseDirectory_;
    QString dataDirectory_;
    D2xx& driver_;
    std::unique_ptr<Task> task_;
    std::unique_ptr<RadioManager> manager_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<ConsoleServer> console_;
    MainWindow* mainWindow_ = nullptr;
    // Parent of the Task's and the manager's Qt windows.
    std::unique_ptr<QObject> windows_;
};

}  // namespace plugshift
