// plugshift.exe: the desktop application on Windows.
//   plugshift               the programming cables the system lists
//   plugshift --simulate    the in-process simulated radio, kept in the data folder between runs
//   plugshift --port COMn   one serial port (or kmv-sim's) as the only cable
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "cable/cable_backend.h"
#include "config/configuration.h"
#include "desktop/start_up.h"
#include "desktop/string_table.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"
#include "win32/message_box_dialog.h"
#include "win32/win32_start_up_host.h"

namespace plugshift {
namespace {

// Every classic common control class.
constexpr DWORD kAllControlClasses = 0xFF;
constexpr const wchar_t* kUsage = L"plugshift [--simulate | --port COMn]";

// The cable driver the command line asks for; nothing (and a message shown) when it is wrong.
std::unique_ptr<CableBackend> openBackend() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; i < count; ++i) {
        words.push_back(utf8FromPath(std::filesystem::path(arguments[i])));
    }
    LocalFree(arguments);
    BackendOptions options;
    const bool understood = BackendOptions::parseWindowArguments(words, options);
    std::string problem;
    std::unique_ptr<CableBackend> backend;
    if (understood) {
        backend = CableBackend::open(options, productDataFolder(dataFolderRoot()), problem);
    }
    if (!backend) {
        const std::wstring text =
            understood ? pathFromUtf8(problem).wstring() : std::wstring(kUsage);
        MessageBoxDialog(StringTable::title(), text, MessageBoxStyle::kIconError).run(nullptr);
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
        plugshift::StartUp(host, plugshift::Configuration::instance()).run();
        // The document goes before the host stops the cable poll and lets the mutex go.
        plugshift::Configuration::instance().releaseDocument();
    }
    // The simulated radio keeps what was done to it (a new serial number, a conversion).
    std::string problem;
    backend->save(problem);
    return 0;
}
