#include "presenter_fixture.h"

#include <fstream>
#include <iterator>

#include "config/configuration.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"
#include "tasks/messages.h"

namespace plugshift::test {

namespace fs = std::filesystem;

// Per process: ctest runs the cases of one suite side by side, each in a program of its own.
fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() /
                            ("plugshift-desktop-" + std::to_string(processId()) + "-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void PresenterFixture::SetUpTestSuite() {
    ASSERT_TRUE(loadInstallation(pathFromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data")));
}

bool PresenterFixture::loadInstallation(const fs::path& installFolder) {
    const fs::path setupFolder = freshFolder("setup");
    fs::copy_file(pathFromUtf8(PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat"),
                  setupFolder / "setup.dat");
    fs::permissions(setupFolder / "setup.dat", fs::perms::owner_read | fs::perms::owner_write);
    Configuration& configuration = Configuration::instance();
    configuration.reset();
    return configuration.createDocument() &&
           configuration.load(fromUtf8(utf8FromPath(installFolder / "config.xml")),
                              fromUtf8(utf8FromPath(setupFolder / "setup.dat")));
}

void PresenterFixture::SetUp() {
    useDataFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    taskWindow_ = loop_.createWindow([this](const Message& m) { return task_.handleMessage(m); });
    task_.createEventWindow(taskWindow_);
}

void PresenterFixture::useDataFolder(const std::string& name) {
    data_ = freshFolder(name);
    ErrorLog::reset();  // closes the log of the folder before
    ErrorLog::setDirectory(fromUtf8(utf8FromPath(data_)));
}

void PresenterFixture::TearDown() {
    presenter_.reset();
    ErrorChain::remove(kErrorOk);
    ErrorLog::reset();
    std::error_code ignored;
    fs::remove_all(data_, ignored);
}

MainWindowPresenter& PresenterFixture::open(D2xx& driver) {
    presenter_.reset();
    view_ = std::make_unique<FakeView>(loop_);
    manager_ = std::make_unique<RadioManager>(driver);
    presenter_ =
        std::make_unique<MainWindowPresenter>(*view_, *manager_, task_, Configuration::instance());
    view_->onMessage = [this](const Message& m) {
        presenter_->onMessage(m.id, m.wParam, m.lParam);
    };
    presenter_->start();
    presenter_->setConsoleLink(&consoles_);
    presenter_->setBackupFolder(backupFolder());
    return *presenter_;
}

void PresenterFixture::cable(intptr_t lParam) {
    presenter_->onMessage(kMsgCableState, 0, lParam);
}

void PresenterFixture::logIn() {
    view_->loginEntries = {fromUtf8(kDealerCode)};
    presenter_->onCommand(MainWindowView::kCmdDealerLogin);
}

std::wstring PresenterFixture::shown(MainWindowView::Field field) const {
    return view_->texts.at(MainWindowView::kValueIds[field]);
}

int PresenterFixture::backupCount() const {
    if (!fs::is_directory(backupFolder())) {
        return 0;
    }
    return int(std::distance(fs::directory_iterator(backupFolder()), fs::directory_iterator()));
}

std::string PresenterFixture::errLog() const {
    std::ifstream log(data_ / "log" / "err.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
}

}  // namespace plugshift::test
