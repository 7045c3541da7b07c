#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "desktop/main_window_presenter.h"
#include "fake_consoles.h"
#include "fake_view.h"
#include "tasks/message_loop.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift::test {

// An empty folder under the system's temporary folder, made afresh.
std::filesystem::path freshFolder(const std::string& name);

// A presenter over a fake view, the sample installation and a driver of the test's choosing;
// each test has its own data folder, where err.log and the backups go.
class PresenterFixture : public ::testing::Test {
public:
    // Loads the installation in `installFolder` with a writable copy of the sample's setup file.
    static bool loadInstallation(const std::filesystem::path& installFolder);

protected:
    static constexpr const char* kDealerCode = "2468";

    static void SetUpTestSuite();

    void SetUp() override;
    void TearDown() override;
    // A fresh data folder for err.log and the backups of the windows opened from now on.
    void useDataFolder(const std::string& name);

    // A new window over the driver, started, its backups going to the data folder's backup/.
    MainWindowPresenter& open(D2xx& driver);
    // A cable notice, as the radio manager's poll sends it.
    void cable(intptr_t lParam);
    void logIn();
    std::wstring shown(MainWindowView::Field field) const;
    std::wstring shownModel() const { return shown(MainWindowView::Model); }
    std::filesystem::path backupFolder() const { return data_ / "backup"; }
    int backupCount() const;
    std::string errLog() const;

    std::filesystem::path data_;
    MessageLoop loop_;
    Task task_;
    std::shared_ptr<LoopWindow> taskWindow_;
    std::unique_ptr<FakeView> view_;
    FakeConsoles consoles_;
    std::unique_ptr<RadioManager> manager_;
    std::unique_ptr<MainWindowPresenter> presenter_;
};

}  // namespace plugshift::test
