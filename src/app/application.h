#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace plugshift {

class MainWindow;
class ConsoleServer;
class D2xx;
class RadioManager;
class SingleInstance;
class Task;

// The application object: start-up in a fixed order, the main window, and the exit step that
// releases what start-up acquired. A step that fails ends start-up there, with a log entry and,
// for the configuration steps, the message that the installation is damaged.
class Application {
public:
    static constexpr const char* kRegion = "PERU";
    static constexpr const char* kCompany = "Kestrelon";
    static constexpr const char* kKeyName = "KMV Plugshift PERU";
    static constexpr const char* kMutexPrefix =
        "B5562DD0-F56D-4608-8F97-8118EFEC84BFQUILLO_PLUGSHIFT_";
    static constexpr int kSplashMs = 1000;

    // Where start-up stopped; Finished once the main window has closed.
    enum class Stage {
        NotStarted,
        DataFolder,
        Document,
        Components,
        Configuration,
        Region,
        InstallationId,
        SingleInstance,
        Splash,
        MainWindow,
        Finished,
    };

    // The cable backend: the real cables unless one is given (the simulated radio, a test's
    // fake); it must outlive the application object.
    explicit Application(D2xx* driver = nullptr);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs start-up and the main window; always false, so the process ends afterwards.
    bool initInstance();
    // Releases the document, stops radio discovery and the instance lock; the exit code. Runs
    // once; the destructor runs it when nobody did.
    int exitInstance();

    Stage stage() const { return stage_; }
    const QString& dataDirectory() const { return dataDirectory_; }
    QString mutexName() const;
    // The shared data folder of the product; empty when the system has none.
    static QString locateDataDirectory();
    // Tests point the installation elsewhere; the default is the executable's folder + "/..".
    void setBaseDirectory(const QString& directory) { baseDirectory_ = directory; }
    // The main window while it runs.
    MainWindow* mainWindow() const { return mainWindow_; }
    // Where consoles connect: the instance lock's folder, the instance name + ".console"; empty
    // before the instance is taken.
    QString consoleSocketPath() const;

private:
    bool findDataDirectory();
    bool startComponents();
    bool loadConfiguration();
    bool checkRegion();
    bool copyInstallationId();
    bool takeInstance();
    // Consoles are served by the first instance only; without the socket the tool runs on.
    void listenForConsoles();
    void runMainWindow();
    void raiseRunningWindow();
    // Logs nothing; shows string 112 with the error icon.
    static void showFileProblem();

    Stage stage_ = Stage::NotStarted;
    bool exited_ = false;
    QString baseDirectory_;
    QString dataDirectory_;
    QString title_;
    D2xx* driver_;
    std::unique_ptr<D2xx> ownDriver_;
    std::unique_ptr<Task> task_;
    std::unique_ptr<RadioManager> manager_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<ConsoleServer> console_;
    MainWindow* mainWindow_ = nullptr;
    // Parent of the Task's and the manager's Qt windows.
    std::unique_ptr<QObject> windows_;
};

}  // namespace plugshift
