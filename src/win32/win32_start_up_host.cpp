#include "win32/win32_start_up_host.h"

#include <windows.h>

#include "config/configuration.h"
#include "desktop/string_table.h"
#include "platform/process_environment.h"
#include "radio/d2xx.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"
#include "win32/event_window.h"
#include "win32/installation_id_key.h"
#include "win32/instance_mutex.h"
#include "win32/message_box_dialog.h"
#include "win32/splash_screen.h"
#include "win32/win32_main_window.h"

namespace plugshift {

namespace {

std::wstring systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

Win32StartUpHost::Win32StartUpHost(D2xx& driver) : driver_(driver) {}

Win32StartUpHost::~Win32StartUpHost() {
    // The manager's poll thread ends before the windows it reports to.
    manager_.reset();
    managerWindow_.reset();
    task_.reset();
    taskWindow_.reset();
}

std::optional<std::filesystem::path> Win32StartUpHost::dataFolder(std::wstring& reason) {
    const std::filesystem::path root = dataFolderRoot();
    if (root.empty()) {
        reason = systemMessage(GetLastError());
        return std::nullopt;
    }
    return productDataFolder(root);
}

std::filesystem::path Win32StartUpHost::installationFolder() {
    return plugshift::installationFolder();
}

bool Win32StartUpHost::startComponents() {
    task_ = std::make_unique<Task>();
    manager_ = std::make_unique<RadioManager>(driver_);
    taskWindow_ = std::make_unique<EventWindow>(*task_);
    managerWindow_ = std::make_unique<EventWindow>(*manager_);
    // Binding the manager's window starts the cable poll.
    return taskWindow_->bind() && managerWindow_->bind();
}

StartUpHost::InstallationId Win32StartUpHost::installationId() {
    const InstallationIdKey::Reading reading = InstallationIdKey::read();
    return {reading.keyOpened, reading.text};
}

StartUpHost::Instance Win32StartUpHost::takeInstance() {
    instance_ = std::make_unique<InstanceMutex>(kInstanceMutexName);
    switch (instance_->outcome()) {
        case InstanceMutex::Outcome::kFirst:
            return Instance::First;
        case InstanceMutex::Outcome::kAlreadyRunning:
            InstanceMutex::raiseWindowTitled(StringTable::title());
            return Instance::AlreadyRuns;
        case InstanceMutex::Outcome::kFailed:
            break;
    }
    return Instance::Failed;
}

void Win32StartUpHost::listenForConsoles() {
    // Nothing to open: consoles reach the main window through its registered messages.
}

void Win32StartUpHost::showSplash(int milliseconds) {
    SplashScreen(static_cast<UINT>(milliseconds)).run();
}

void Win32StartUpHost::showFileProblem(const std::wstring& text) {
    MessageBoxDialog(StringTable::title(), text, MessageBoxStyle::kIconError).run(nullptr);
}

void Win32StartUpHost::runMainWindow() {
    Win32MainWindow window(*manager_, *task_, Configuration::instance());
    window.run();
}

}  // namespace plugshift
