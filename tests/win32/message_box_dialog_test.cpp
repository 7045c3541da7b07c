#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "win32/message_box_dialog.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kCaption = L"message box under test";
constexpr int kButtonMargin = 20;  // from the right edge to the last button

struct Layout {
    bool found = false;
    bool okShown = false;
    bool cancelShown = false;
    bool yesShown = false;
    bool noShown = false;
    int lastButtonGap = -1;  // client right edge to the rightmost button's right edge
    bool buttonsInBand = false;
};

RECT boundsIn(HWND control, HWND parent) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

bool shown(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

// Looks at the box once it is up, then presses the button.
std::thread inspectAndPress(int button, Layout& layout) {
    return std::thread([button, &layout] {
        HWND box = nullptr;
        // Laid out before it shows.
        for (int i = 0; i < 500 && (box == nullptr || !IsWindowVisible(box)); ++i) {
            box = FindWindowW(L"#32770", kCaption);
            std::this_thread::sleep_for(10ms);
        }
        if (box == nullptr) {
            return;
        }
        layout.found = true;
        layout.okShown = shown(box, IDOK);
        layout.cancelShown = shown(box, IDCANCEL);
        layout.yesShown = shown(box, IDYES);
        layout.noShown = shown(box, IDNO);
        RECT client{};
        GetClientRect(box, &client);
        int right = 0;
        bool inBand = true;
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            if (shown(box, id)) {
                const RECT bounds = boundsIn(GetDlgItem(box, id), box);
                right = std::max<int>(right, bounds.right);
                inBand =
                    inBand && bounds.top >= client.bottom - 50 && bounds.bottom <= client.bottom;
            }
        }
        layout.lastButtonGap = client.right - right;
        layout.buttonsInBand = inBand;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    });
}

struct ButtonCase {
    unsigned style;
    int pressed;
    bool ok, cancel, yes, no;
};

// The style's low bits choose the buttons; the one pressed is the answer.
TEST(MessageBoxDialogTest, TheStyleChoosesTheButtonsAndThePressedOneIsTheAnswer) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    const ButtonCase cases[] = {
        {MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion, IDNO, false, false, true, true},
        {MessageBoxStyle::kIconInformation, IDOK, true, false, false, false},
        {MessageBoxStyle::kOkCancel | MessageBoxStyle::kIconWarning, IDCANCEL, true, true, false,
         false},
    };
    for (const ButtonCase& c : cases) {
        Layout layout;
        std::thread presser = inspectAndPress(c.pressed, layout);
        const int answer =
            MessageBoxDialog(kCaption, L"A line of text.\tAnd a tab.", c.style).run(nullptr);
        presser.join();
        ASSERT_TRUE(layout.found) << "style " << c.style;
        EXPECT_EQ(answer, c.pressed) << "style " << c.style;
        EXPECT_EQ(layout.okShown, c.ok) << "style " << c.style;
        EXPECT_EQ(layout.cancelShown, c.cancel) << "style " << c.style;
        EXPECT_EQ(layout.yesShown, c.yes) << "style " << c.style;
        EXPECT_EQ(layout.noShown, c.no) << "style " << c.style;
        EXPECT_EQ(layout.lastButtonGap, kButtonMargin) << "style " << c.style;
        EXPECT_TRUE(layout.buttonsInBand) << "style " << c.style;
    }
}

// The warning's bits include the error's; the warning wins.
TEST(MessageBoxDialogTest, IconsFollowTheStyle) {
    EXPECT_EQ(MessageBoxDialog::iconOf(MessageBoxStyle::kIconWarning), IDI_EXCLAMATION);
    EXPECT_EQ(MessageBoxDialog::iconOf(MessageBoxStyle::kIconError), IDI_HAND);
    EXPECT_EQ(MessageBoxDialog::iconOf(MessageBoxStyle::kIconInformation), IDI_ASTERISK);
    EXPECT_EQ(MessageBoxDialog::iconOf(MessageBoxStyle::kIconQuestion), IDI_QUESTION);
    EXPECT_EQ(MessageBoxDialog::iconOf(MessageBoxStyle::kYesNo), nullptr);
}

}  // namespace
}  // namespace plugshift
