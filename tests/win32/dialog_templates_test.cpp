#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "desktop/main_window_view.h"
#include "win32/resource_ids.h"

namespace plugshift {
namespace {

INT_PTR CALLBACK inertProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class DialogTemplatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display for Wine's windows";
        }
    }

    // The template built into a window, or null when it does not load.
    static HWND open(int templateId) {
        return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                                  &inertProcedure, 0);
    }
};

struct TemplateCase {
    int templateId;
    std::vector<int> controls;
};

// Every id the code looks a control up by is in its template.
TEST_F(DialogTemplatesTest, EachTemplateHoldsTheControlsTheCodeAsksFor) {
    std::vector<int> mainControls = {
        MainWindowView::kIdGetRadioInfo, MainWindowView::kIdKeepPersonality,
        MainWindowView::kIdConvert,      MainWindowView::kIdNewSerial,
        MainWindowView::kIdUpdateSerial, MainWindowView::kIdRadioInfoGroup,
        MainWindowView::kIdSerialGroup,  MainWindowView::kIdSerialGroupLabel,
        MainWindowView::kIdPicture,      MainWindowView::kIdTimeLabel};
    mainControls.insert(mainControls.end(), MainWindowView::kValueIds.begin(),
                        MainWindowView::kValueIds.end());
    mainControls.insert(mainControls.end(), MainWindowView::kCaptionIds.begin(),
                        MainWindowView::kCaptionIds.end());
    const TemplateCase cases[] = {
        {IDD_MAIN, mainControls},
        {IDD_PLEASE_WAIT, {IDC_PLEASE_WAIT_TEXT}},
        {IDD_MESSAGE_BOX, {IDOK, IDCANCEL}},
        {IDD_LOGIN, {IDOK, IDC_PASSWORD}},
        {IDD_ABOUT,
         {IDC_PRODUCT_NAME, IDC_VERSION, IDC_COPYRIGHT, IDC_TRADEMARK, IDC_WARNING, IDOK}},
        {IDD_SPLASH, {}},
    };
    for (const TemplateCase& c : cases) {
        HWND dialog = open(c.templateId);
        ASSERT_NE(dialog, nullptr) << "template " << c.templateId;
        for (int id : c.controls) {
            EXPECT_NE(GetDlgItem(dialog, id), nullptr)
                << "template " << c.templateId << " control " << id;
        }
        DestroyWindow(dialog);
    }
}

TEST_F(DialogTemplatesTest, TheMainMenuCarriesEveryCommandTheWindowHandles) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 3);  // File, Setting, Help
    for (int command : {MainWindowView::kCmdExit, MainWindowView::kCmdDealerLogin,
                        MainWindowView::kCmdAbout, MainWindowView::kCmdHelpContents}) {
        EXPECT_NE(GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND), UINT(-1))
            << "command " << command;
    }
    // The dealer login is the Setting menu's, where a login greys it out.
    EXPECT_NE(GetMenuState(GetSubMenu(menu, 1), MainWindowView::kCmdDealerLogin, MF_BYCOMMAND),
              UINT(-1));
    DestroyMenu(menu);
}

// The read-only values and the serial number edit are edits; the picture shows a bitmap.
TEST_F(DialogTemplatesTest, MainWindowControlsAreOfTheirKinds) {
    HWND dialog = open(IDD_MAIN);
    ASSERT_NE(dialog, nullptr);
    wchar_t className[32] = {};
    for (int id : MainWindowView::kValueIds) {
        GetClassNameW(GetDlgItem(dialog, id), className, 32);
        EXPECT_STREQ(className, L"Edit") << id;
        EXPECT_NE(GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & ES_READONLY, 0) << id;
    }
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(dialog, MainWindowView::kIdNewSerial), GWL_STYLE) &
                  ES_READONLY,
              0);
    EXPECT_EQ(
        GetWindowLongPtrW(GetDlgItem(dialog, MainWindowView::kIdPicture), GWL_STYLE) & SS_TYPEMASK,
        SS_BITMAP);
    EXPECT_NE(
        SendDlgItemMessageW(dialog, MainWindowView::kIdPicture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    DestroyWindow(dialog);
}

TEST_F(DialogTemplatesTest, PicturesAndIconsLoadAtTheirSizes) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    struct BitmapCase {
        int id;
        LONG width;
        LONG height;
    };
    for (const BitmapCase& c :
         {BitmapCase{IDB_SPLASH, 482, 362}, BitmapCase{IDB_RADIO, 112, 224}}) {
        auto bitmap = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(c.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr) << c.id;
        BITMAP info{};
        GetObjectW(bitmap, sizeof(info), &info);
        EXPECT_EQ(info.bmWidth, c.width) << c.id;
        EXPECT_EQ(info.bmHeight, c.height) << c.id;
        EXPECT_EQ(info.bmBitsPixel, 24) << c.id;
        DeleteObject(bitmap);
    }
    for (int id : {IDI_APPLICATION_ICON, IDI_COMPANY_ICON}) {
        for (int side : {16, 32}) {
            auto icon = static_cast<HICON>(
                LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0));
            EXPECT_NE(icon, nullptr) << id << " at " << side;
            DestroyIcon(icon);
        }
    }
}

}  // namespace
}  // namespace plugshift
