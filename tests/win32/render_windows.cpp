// win32_render_windows WINDOW OUT.bmp [SAMPLE_INSTALL_DIR]: opens one of the program's windows,
// photographs it from the screen into OUT.bmp once it has settled, and ends. WINDOW is splash,
// about, login, login-wrong, question, error, wait, main-start or main (logged in, a simulated
// radio read); the main windows need the sample installation's folder.
// scripts/render-win32-windows.sh runs it in a Wine desktop on Xvfb, so the frames show.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration.h"
#include "desktop/dealer_login.h"
#include "desktop/main_window_view.h"
#include "desktop/string_table.h"
#include "sim/sim_d2xx.h"
#include "tasks/command.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"
#include "win32/about_dialog.h"
#include "win32/dealer_login_dialog.h"
#include "win32/event_window.h"
#include "win32/message_box_dialog.h"
#include "win32/resource_ids.h"
#include "win32/splash_screen.h"
#include "win32/task_dialog.h"
#include "win32/win32_main_window.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;

constexpr UINT kForever = 0x7FFFFFFF;
constexpr const wchar_t* kSamplePassword = L"2468";
constexpr const wchar_t* kSampleNewSerial = L"123ABC4D67";
// The percent the main window's status bar shows in its photograph.
constexpr uintptr_t kShownProgress = 40;
constexpr auto kSettleTime = 1500ms;
constexpr auto kShowTimeout = 60s;

// Set once the window shows what is to be photographed.
std::atomic<bool> gReady{false};

// The process's topmost visible window.
HWND ownWindow() {
    struct Search {
        DWORD process;
        HWND found;
    } search{GetCurrentProcessId(), nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == s->process && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;  // the first is the topmost
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The window as the screen shows it, frame included, as a 24-bit bottom-up BMP file.
bool saveWindow(HWND window, const std::wstring& path) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    const int stride = (width * 3 + 3) & ~3;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride * height);
    std::vector<char> pixels(header.biSizeImage);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
    SelectObject(memory, old);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return out.good();
}

// Photographs the process's window once it is ready and has settled, then ends the process.
void photographWhenReady(std::wstring path) {
    while (!gReady) {
        std::this_thread::sleep_for(50ms);
    }
    // A busy machine may take a while to show the window; it is photographed once it has settled.
    const auto deadline = std::chrono::steady_clock::now() + kShowTimeout;
    while (ownWindow() == nullptr && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(kSettleTime);
    HWND window = ownWindow();
    const bool saved = window != nullptr && saveWindow(window, path);
    if (!saved) {
        std::fprintf(stderr, "nothing to photograph\n");
    }
    ExitProcess(saved ? 0 : 1);
}

// Work that lasts until the process is ended: the wait window stays up.
class EndlessCommand : public Command {
public:
    bool run() override {
        for (;;) {
            std::this_thread::sleep_for(1s);
        }
    }
};

// A dialog owned by the window, once it shows.
HWND waitForDialog(HWND owner) {
    for (int i = 0; i < 1000; ++i) {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
            if (box != owner && GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box)) {
                return box;
            }
        }
        std::this_thread::sleep_for(10ms);
    }
    return nullptr;
}

void press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// Logs the dealer in, reads the simulated radio and types a new serial number, as a person would;
// the status bar shows a run's progress as it stands at 40 %.
void driveMainWindow(const std::wstring& title) {
    HWND window = nullptr;
    for (int i = 0; i < 1000 && window == nullptr; ++i) {
        window = FindWindowW(nullptr, title.c_str());
        std::this_thread::sleep_for(10ms);
    }
    if (window == nullptr) {
        return;
    }
    std::this_thread::sleep_for(1500ms);  // the cable poll has seen the cable
    PostMessageW(window, WM_COMMAND, MainWindowView::kCmdDealerLogin, 0);
    if (HWND login = waitForDialog(window)) {
        SetDlgItemTextW(login, IDC_PASSWORD, kSamplePassword);
        press(login, IDOK);
    }
    std::this_thread::sleep_for(500ms);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(MainWindowView::kIdGetRadioInfo, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, MainWindowView::kIdGetRadioInfo)));
    if (HWND box = waitForDialog(window)) {
        press(box, IDOK);
    }
    std::this_thread::sleep_for(500ms);
    SetDlgItemTextW(window, MainWindowView::kIdNewSerial, kSampleNewSerial);
    PostMessageW(window, kMsgProgress, kShownProgress, 0);
    gReady = true;
}

int runMainWindow(const std::wstring& sampleDir, bool drive) {
    Configuration& configuration = Configuration::instance();
    const std::wstring setup =
        sampleDir + L"\\sample-home\\data\\Kestrelon\\KMV Plugshift PERU\\data\\setup.dat";
    if (!configuration.createDocument() ||
        !configuration.load(sampleDir + L"\\data\\config.xml", setup)) {
        std::fprintf(stderr, "cannot load the sample installation\n");
        return 1;
    }
    SimD2xx simulator;
    Task task;
    RadioManager manager(simulator);
    EventWindow taskWindow(task);
    EventWindow managerWindow(manager);
    if (!taskWindow.bind() || !managerWindow.bind()) {
        return 1;
    }
    std::thread driver;
    if (drive) {
        driver = std::thread(driveMainWindow, StringTable::title());
    } else {
        gReady = true;
    }
    Win32MainWindow(manager, task, configuration).run();
    if (driver.joinable()) {
        driver.join();
    }
    return 0;
}

int render(const std::wstring& window, const std::wstring& sampleDir) {
    const std::wstring title = StringTable::title();
    if (window != L"main") {
        gReady = true;
    }
    if (window == L"splash") {
        SplashScreen(kForever).run();
    } else if (window == L"about") {
        AboutDialog().run(nullptr);
    } else if (window == L"login" || window == L"login-wrong") {
        DealerLogin login(kSamplePassword, [](const std::wstring&) {});
        if (window == L"login-wrong") {
            login.submit(L"1357");
        }
        DealerLoginDialog(login).run(nullptr);
    } else if (window == L"question") {
        MessageBoxDialog(title, StringTable::format(str::kConfirmConvert, StringTable::band()),
                         MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion)
            .run(nullptr);
    } else if (window == L"error") {
        MessageBoxDialog(title, StringTable::text(str::kConnectFailed), MessageBoxStyle::kIconError)
            .run(nullptr);
    } else if (window == L"wait") {
        Task task;
        EventWindow taskWindow(task);
        taskWindow.bind();
        EndlessCommand command;
        TaskDialog(task, StringTable::text(str::kPleaseWait)).run(&command, nullptr);
    } else if (window == L"main-start" || window == L"main") {
        return runMainWindow(sampleDir, window == L"main");
    } else {
        std::fprintf(stderr, "unknown window\n");
        return 2;
    }
    return 0;
}

}  // namespace
}  // namespace plugshift

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_render_windows WINDOW OUT.bmp [SAMPLE_INSTALL_DIR]\n");
        return 2;
    }
    std::thread(plugshift::photographWhenReady, std::wstring(argv[2])).detach();
    return plugshift::render(argv[1], argc > 3 ? argv[3] : L".");
}
