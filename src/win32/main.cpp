// plugshift.exe: the desktop application on Windows.
//   plugshift               the programming cables the system lists
//   plugshift --simulate    the in-process simulated radio, kept in the data folder between runs
//   plugshift --port COMn   one serial port (or kmv-sim's) as the only cable
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <string>
#include <vector>

#include "cli/cable_backend.h"
#include "config/configuration.h"
#include "config/provision_setup_file.h"
#include "desktop/string_table.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"
#include "win32/message_box_dialog.h"
#include "win32/win32_start_up_host.h"

namespace plugshift {
namespace {

constexpr const wchar_t* kRegion = L"PERU";
constexpr int kSplashMs = 1000;
// Every classic common control class.
constexpr DWORD kAllControlClasses = 0xFF;
constexpr const wchar_t* kUsage = L"plugshift [--simulate | --port COMn]";

std::wstring trimmed(const std::wstring& text) {
    const auto blank = [](wchar_t c) { return std::iswspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::wstring(first, last) : std::wstring();
}

bool sameLetters(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

// Start-up's order over the host: data folder and log, components, configuration and setup
// file, region, installation id, single instance, splash, main window. Any failing step ends it.
void runStartUp(StartUpHost& host) {
    std::wstring reason;
    const std::optional<std::filesystem::path> data = host.dataFolder(reason);
    if (!data) {
        ErrorLog::write(
            L"Error:Failed to retrieve the common application data path due to the error [%ls].",
            reason.c_str());
        return;
    }
    ErrorLog::setDirectory(data->wstring());
    std::setlocale(LC_ALL, "");
    Configuration& configuration = Configuration::instance();
    if (!configuration.createDocument()) {
        ErrorLog::write(L"Error:failed to initialize COM.");
        return;
    }
    if (!host.startComponents()) {
        ErrorLog::write(L"Error:failed to initialize component.");
        return;
    }
    const std::filesystem::path installation = host.installationFolder();
    // The data folder is new at a first start: the installation's setup file goes in.
    provisionSetupFile(installation.wstring(), data->wstring());
    const std::wstring fileProblem = StringTable::text(str::kFileMissing);
    if (!configuration.load((installation / L"data" / L"config.xml").wstring(),
                            (*data / L"data" / L"setup.dat").wstring())) {
        ErrorLog::write(L"%ls", ErrorChain::firstMessage().c_str());
        ErrorChain::remove(0);
        host.showFileProblem(fileProblem);
        return;
    }
    if (!sameLetters(configuration.regionName(), kRegion)) {
        ErrorLog::write(L"Error:invalid config file.The the applicatio only supportes region [%ls]",
                        kRegion);
        host.showFileProblem(fileProblem);
        return;
    }
    const StartUpHost::InstallationId id = host.installationId();
    if (!id.keyOpened) {
        ErrorLog::write(L"Error:failed to retrieve the id.");
        host.showFileProblem(fileProblem);
        return;
    }
    if (!id.value) {
        host.showFileProblem(fileProblem);
        return;
    }
    // Whether the setup file takes it does not change the outcome of start-up.
    configuration.storeInstallId(trimmed(*id.value));
    switch (host.takeInstance()) {
        case StartUpHost::Instance::First:
            break;
        case StartUpHost::Instance::AlreadyRuns:
            return;
        case StartUpHost::Instance::Failed:
            ErrorLog::write(L"Error:failed to create mutex.");
            return;
    }
    host.listenForConsoles();
    host.showSplash(kSplashMs);
    host.runMainWindow();
    configuration.releaseDocument();
}

// The cable driver the command line asks for; nothing (and a message shown) when it is wrong.
std::unique_ptr<CableBackend> openBackend() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> words(arguments + 1, arguments + count);
    LocalFree(arguments);
    BackendOptions options;
    bool understood = true;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == L"--simulate" && options.port.empty()) {
            options.simulate = true;
        } else if (words[i] == L"--port" && i + 1 < words.size() && !options.simulate) {
            options.port = utf8FromPath(std::filesystem::path(words[++i]));
        } else {
            understood = false;
        }
    }
    std::string problem;
    std::unique_ptr<CableBackend> backend;
    if (understood) {
        backend = CableBackend::open(
            options, dataFolderRoot() / L"Kestrelon" / L"KMV Plugshift PERU", problem);
    }
    if (!backend) {
        const std::wstring text =
            understood ? pathFromUtf8(problem).wstring() : std::wstring(kUsage);
        MessageBoxDialog(StringTable::title(), text, MessageBoxDialog::kErrorIcon).run(nullptr);
    }
    return backend;
}

}  // namespace
}  // namespace plugshift

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), plugshift::kAllControlClasses};
    InitCommonControlsEx(&controls);
    const auto backend = plugshift::openBackend();
    if (!backend) {
        return 1;
    }
    {
        plugshift::Win32StartUpHost host(backend->driver());
        plugshift::runStartUp(host);
    }
    // The simulated radio keeps what was done to it (a new serial number, a conversion).
    std::string problem;
    backend->save(problem);
    return 0;
}
