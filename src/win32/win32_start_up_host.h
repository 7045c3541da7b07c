#pragma once

#include <memory>

#include "desktop/start_up_host.h"

namespace plugshift {

class D2xx;
class EventWindow;
class InstanceMutex;
class RadioManager;
class Task;

// Start-up on Windows: the common application data folder, the installation id in the registry,
// the named mutex, and the native windows, over the cable driver it is given.
class Win32StartUpHost : public StartUpHost {
public:
    // The mutex marking a running instance, with the region of this build.
    static constexpr const wchar_t* kInstanceMutexName =
        L"B5562DD0-F56D-4608-8F97-8118EFEC84BFQUILLO_PLUGSHIFT_PERU";

    explicit Win32StartUpHost(D2xx& driver);
    // Stops the cable discovery and waits for it, then lets the mutex go.
    ~Win32StartUpHost() override;

    std::optional<std::filesystem::path> dataFolder(std::wstring& reason) override;
    std::filesystem::path installationFolder() override;
    bool startComponents() override;
    InstallationId installationId() override;
    Instance takeInstance() override;
    void listenForConsoles() override;
    void showSplash(int milliseconds) override;
    void showFileProblem(const std::wstring& text) override;
    void runMainWindow() override;

private:
    std::unique_ptr<InstanceMutex> instance_;
    D2xx& driver_;
    std::unique_ptr<Task> task_;
    std::unique_ptr<RadioManager> manager_;
    std::unique_ptr<EventWindow> taskWindow_;
    std::unique_ptr<EventWindow> managerWindow_;
};

}  // namespace plugshift
