// The main window's decisions against a fake view, the simulated radio and the sample
// installation: enabling rules, the workflows' messages, the console requests, the language list
// and the help.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "desktop/console_link.h"
#include "desktop/console_message.h"
#include "desktop/main_window_presenter.h"
#include "desktop/string_table.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "fake_view.h"
#include "platform/system_files.h"
#include "sim/sim_d2xx.h"
#include "tasks/message_loop.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::FakeView;
using View = MainWindowView;
using Operation = MainWindowPresenter::Operation;

constexpr const char* kDealerCode = "2468";

// A cable that can be pulled out and plugged in again whatever the radio is doing.
class PluggableCable : public D2xx {
public:
    explicit PluggableCable(SimD2xx& sim) : sim_(sim) {}
    bool plugged = true;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override {
        if (!plugged && flags == FT_LIST_NUMBER_ONLY && arg1 != nullptr) {
            *static_cast<uint32_t*>(arg1) = 0;
            return FT_OK;
        }
        return plugged ? sim_.FT_ListDevices(arg1, arg2, flags) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
        return plugged ? sim_.FT_Open(index, handle) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override { return sim_.FT_Close(handle); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override {
        return sim_.FT_SetBaudRate(handle, baud);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override {
        return sim_.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override {
        return sim_.FT_SetFlowControl(handle, flowControl, xon, xoff);
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
        return sim_.FT_SetTimeouts(handle, readMs, writeMs);
    }
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
        return sim_.FT_Purge(handle, mask);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override {
        return sim_.FT_Read(handle, buffer, count, received);
    }
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override {
        return sim_.FT_Write(handle, buffer, count, written);
    }
    uint32_t lastSystemError() const override { return sim_.lastSystemError(); }

private:
    SimD2xx& sim_;
};

// The consoles as the presenter sees them: every handle below 100 is a console, and posts are
// refused a given number of times before they are taken.
class FakeConsoles : public ConsoleLink {
public:
    std::vector<ConsoleMessage> posts;
    int refusals = 0;

    bool isWindow(int64_t handle) const override { return handle > 0 && handle < 100; }
    bool post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) override {
        if (refusals > 0) {
            --refusals;
            return false;
        }
        posts.push_back({name, wParam, lParam});
        return handle > 0;
    }
    int64_t ownHandle() const override { return 4242; }
};

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / ("plugshift-desktop-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::wstring text(int id) {
    return StringTable::text(id);
}

class PresenterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const fs::path setupFolder = freshFolder("setup");
        fs::copy_file(pathFromUtf8(PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat"),
                      setupFolder / "setup.dat");
        fs::permissions(setupFolder / "setup.dat", fs::perms::owner_read | fs::perms::owner_write);
        Configuration& configuration = Configuration::instance();
        ASSERT_TRUE(configuration.createDocument());
        ASSERT_TRUE(configuration.load(fromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data/config.xml"),
                                       fromUtf8(utf8FromPath(setupFolder / "setup.dat"))));
    }

    void SetUp() override {
        data_ = freshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ErrorLog::setDirectory(fromUtf8(utf8FromPath(data_)));
        taskWindow_ =
            loop_.createWindow([this](const Message& m) { return task_.handleMessage(m); });
        task_.createEventWindow(taskWindow_);
    }
    void TearDown() override {
        presenter_.reset();
        ErrorChain::remove(kErrorOk);
        ErrorLog::reset();
    }

    MainWindowPresenter& open(D2xx& driver) {
        presenter_.reset();
        view_ = std::make_unique<FakeView>(loop_);
        manager_ = std::make_unique<RadioManager>(driver);
        presenter_ = std::make_unique<MainWindowPresenter>(*view_, *manager_, task_,
                                                           Configuration::instance());
        view_->onMessage = [this](const Message& m) {
            presenter_->onMessage(m.id, m.wParam, m.lParam);
        };
        presenter_->start();
        presenter_->setConsoleLink(&consoles_);
        return *presenter_;
    }
    void cable(intptr_t lParam) { presenter_->onMessage(kMsgCableState, 0, lParam); }
    void logIn() {
        view_->loginEntries = {fromUtf8(kDealerCode)};
        presenter_->onCommand(View::kCmdDealerLogin);
    }
    std::wstring shownModel() const { return view_->texts.at(View::kValueIds[View::Model]); }

    fs::path data_;
    MessageLoop loop_;
    Task task_;
    std::shared_ptr<LoopWindow> taskWindow_;
    std::unique_ptr<FakeView> view_;
    FakeConsoles consoles_;
    std::unique_ptr<RadioManager> manager_;
    std::unique_ptr<MainWindowPresenter> presenter_;
};

// Which controls a cable and a login enable, and where the focus goes.
TEST_F(PresenterTest, EnablingRulesFollowTheCableAndTheLogin) {
    struct Case {
        bool loggedIn;
        intptr_t cables;
        bool workflows;  // Get Radio Information, Convert, the keep box
        bool serial;     // the new serial number and its button
        int focus;
    };
    const Case cases[] = {
        {false, 0, false, false, View::kValueIds[View::RadioType]},
        {false, 1, true, false, View::kIdGetRadioInfo},
        {true, 0, false, false, View::kValueIds[View::RadioType]},
        {true, 1, true, true, View::kIdGetRadioInfo},
    };
    SimD2xx sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "logged in " << c.loggedIn << ", cables " << c.cables);
        MainWindowPresenter& presenter = open(sim);
        if (c.loggedIn) {
            logIn();
        }
        cable(c.cables);
        EXPECT_EQ(presenter.isCableConnected(), c.cables > 0);
        EXPECT_EQ(view_->cableShownConnected, c.cables > 0);
        for (int id : {View::kIdGetRadioInfo, View::kIdConvert, View::kIdRestore}) {
            EXPECT_EQ(view_->enabled[id], c.workflows) << id;
        }
        for (int id : {View::kIdNewSerial, View::kIdUpdateSerial}) {
            EXPECT_EQ(view_->enabled[id], c.serial) << id;
        }
        EXPECT_EQ(view_->serialGroupShown, c.loggedIn);
        EXPECT_EQ(view_->focus, c.focus);
    }
}

TEST_F(PresenterTest, LoginTakesOnlyTheDealerCodeAndHidesItsCommand) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    view_->loginEntries = {L"1234", L"24680"};
    presenter.onCommand(View::kCmdDealerLogin);
    EXPECT_FALSE(presenter.isDealerLoggedIn());
    EXPECT_FALSE(view_->serialGroupShown);
    view_->loginEntries = {L"1234", fromUtf8(kDealerCode)};
    presenter.onCommand(View::kCmdDealerLogin);
    EXPECT_TRUE(presenter.isDealerLoggedIn());
    EXPECT_TRUE(view_->serialGroupShown);
    EXPECT_FALSE(view_->enabled[View::kCmdDealerLogin]);
}

// Get Radio Information's message for each state of the cable and the radio.
TEST_F(PresenterTest, GetRadioInformationSaysWhatHappened) {
    struct Case {
        const char* name;
        int cables;
        SimCableMode mode;
        std::wstring message;
        unsigned icon;
        std::wstring model;  // shown afterwards
    };
    const Case cases[] = {
        {"read", 1, SimCableMode::Digital, text(kStrInfoDone), View::kIconInformation,
         L"RQX770HJNWA"},
        {"cable in the wrong mode", 1, SimCableMode::Echo, text(kStrCableToDigital),
         View::kIconWarning, L"N/A"},
        {"cable not supported", 1, SimCableMode::Unsupported, text(kStrCableUnsupported),
         View::kIconError, L"N/A"},
        {"no cable", 0, SimCableMode::Digital, text(kStrConnectFailed), View::kIconError, L"N/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimD2xx::Options options;
        options.cables = c.cables;
        options.mode = c.mode;
        SimD2xx sim(options);
        MainWindowPresenter& presenter = open(sim);
        view_->boxes.clear();
        cable(c.cables);
        presenter.onCommand(View::kIdGetRadioInfo);
        ASSERT_EQ(view_->boxes.size(), 1u);
        EXPECT_EQ(view_->boxes[0].text, c.message);
        EXPECT_EQ(view_->boxes[0].style, c.icon);
        EXPECT_EQ(shownModel(), c.model);
        EXPECT_EQ(presenter.operation(), Operation::Idle);
        EXPECT_EQ(view_->waitCursor, 0);
        EXPECT_FALSE(manager_->radioInfo().isConnected());
    }
}

// Two cables: string 113 with the count, asked again until one is left.
TEST_F(PresenterTest, TheOneCableCheckAsksUntilOneIsLeft) {
    SimD2xx::Options options;
    options.cables = 2;
    SimD2xx sim(options);
    PluggableCable plug(sim);
    MainWindowPresenter& presenter = open(sim);
    int asked = 0;
    view_->whileBoxShown = [&](const FakeView::Box& box) {
        if (box.text == StringTable::format(str::kManyCables, 2) && ++asked == 2) {
            sim.faults(1).add({SimFaultKind::PullCable, 0, 0});
            uint32_t written = 0;
            FT_HANDLE handle = nullptr;
            sim.FT_Open(1, &handle);
            const uint8_t byte = 0;
            sim.FT_Write(handle, &byte, 1, &written);
            sim.FT_Close(handle);
        }
    };
    EXPECT_EQ(presenter.oneCableCheck(), 1);
    EXPECT_EQ(asked, 2);
    presenter.setTestMode(true);
    view_->boxes.clear();
    EXPECT_EQ(presenter.oneCableCheck(), 0);  // a test station's cable is not counted
    EXPECT_TRUE(view_->boxes.empty());
}

// The fields show the radio Convert has just read, not the one read before it.
TEST_F(PresenterTest, ConvertShowsTheRadioItReadBeforeItAsks) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    presenter.onCommand(View::kIdGetRadioInfo);
    ASSERT_EQ(shownModel(), L"RQX770HJNWA");

    SimRadioConfig secondConfig;
    secondConfig.serial = "999ZZ99Z99";
    secondConfig.model = "RQX770HJNWB";
    sim.radio() = SimRadio(secondConfig);
    std::wstring shownAtQuestion;
    std::wstring serialAtQuestion;
    view_->whileBoxShown = [&](const FakeView::Box& box) {
        if ((box.style & 0xF) == View::kYesNo || shownAtQuestion.empty()) {
            shownAtQuestion = shownModel();
            serialAtQuestion = view_->texts.at(View::kValueIds[View::SerialNumber]);
        }
    };
    view_->boxes.clear();
    presenter.onCommand(View::kIdConvert);  // declined, or refused for its model
    EXPECT_EQ(shownAtQuestion, L"RQX770HJNWB");
    EXPECT_EQ(serialAtQuestion, L"999ZZ99Z99");
}

// A conversion that fails after its backup: with the cable pulled, the user is told to plug the
// radio in again before the offer to convert it again; with the cable in, the offer comes alone.
TEST_F(PresenterTest, TheRecoveryOfferAfterAPulledCableSaysToReconnectFirst) {
    for (const bool pulled : {true, false}) {
        SCOPED_TRACE(pulled ? "pulled" : "plugged in");
        ErrorLog::setDirectory(fromUtf8(utf8FromPath(freshFolder(pulled ? "pulled" : "in"))));
        SimD2xx::Options options;
        options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
        SimD2xx sim(options);
        PluggableCable plug(sim);
        MainWindowPresenter& presenter = open(plug);
        cable(1);
        view_->keepPersonality = true;
        view_->answers = {View::kIdYes};  // the confirmation
        view_->whileBoxShown = [&](const FakeView::Box& box) {
            if (box.text == text(kStrConvertFailed)) {
                plug.plugged = !pulled;
            }
        };
        presenter.onCommand(View::kIdConvert);
        std::vector<std::wstring> expected = {
            StringTable::format(str::kConfirmConvert, StringTable::band()),
            text(kStrConvertFailed)};
        if (pulled) {
            expected.push_back(text(str::kReconnectForRecovery));
        }
        expected.push_back(text(str::kOfferRestore));
        EXPECT_EQ(view_->boxTexts(), expected);
        EXPECT_EQ(view_->boxes[2].style,
                  pulled ? View::kIconWarning : View::kYesNo | View::kIconQuestion);
    }
}

// Every console request is answered; only a known console's well-formed requests do anything.
TEST_F(PresenterTest, ConsoleRequestsAreAnsweredByTheirRules) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    const int64_t request = ConsoleMessage::kRequestValue;
    struct Case {
        const char* name;
        ConsoleMessage message;
        int answer;  // to the test-mode question; 0: none asked
        int64_t expected;
        bool testModeAfter;
        size_t posts;
    };
    const Case cases[] = {
        {"wrong LPARAM",
         {ConsoleMessage::kEnterTestMode, 7, 1},
         0,
         ConsoleMessage::kIgnored,
         false,
         0},
        {"unknown console",
         {ConsoleMessage::kEnterTestMode, 700, request},
         0,
         ConsoleMessage::kIgnored,
         false,
         0},
        {"unknown name",
         {"WM_TOOL_UPDATE_PAUSE", 7, request},
         0,
         ConsoleMessage::kIgnored,
         false,
         0},
        {"test mode declined",
         {ConsoleMessage::kEnterTestMode, 7, request},
         View::kIdNo,
         0,
         false,
         0},
        {"test mode taken", {ConsoleMessage::kEnterTestMode, 7, request}, View::kIdYes, 1, true, 1},
        {"test mode again", {ConsoleMessage::kEnterTestMode, 7, request}, 0, 1, true, 1},
        {"test mode left", {ConsoleMessage::kExitTestMode, 7, request}, 0, 1, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view_->boxes.clear();
        consoles_.posts.clear();
        if (c.answer != 0) {
            view_->answers = {c.answer};
        }
        EXPECT_EQ(presenter.consoleRequest(c.message), c.expected);
        EXPECT_EQ(view_->boxes.size(), c.answer != 0 ? 1u : 0u);
        EXPECT_EQ(presenter.testMode(), c.testModeAfter);
        EXPECT_EQ(
            view_->caption,
            StringTable::title() + (c.testModeAfter ? MainWindowPresenter::kTestModeSuffix : L""));
        ASSERT_EQ(consoles_.posts.size(), c.posts);
        if (c.posts != 0) {
            EXPECT_EQ(consoles_.posts[0],
                      (ConsoleMessage{c.message.name, 4242, ConsoleMessage::kReplyValue}));
        }
    }
}

// A start is taken at once and runs once the console has its answer; a second one meanwhile is
// ignored. The result goes to the console, retried while it is not taken.
TEST_F(PresenterTest, AConsoleStartConvertsAndReportsTheResult) {
    struct Case {
        int refusals;
        bool boxShown;
    };
    for (const Case& c : {Case{0, false}, Case{MainWindowPresenter::kEndAttempts - 1, false},
                          Case{MainWindowPresenter::kEndAttempts, true}}) {
        SCOPED_TRACE(c.refusals);
        SimD2xx::Options options;
        options.mode = SimCableMode::Echo;  // fails at once: only the report matters here
        SimD2xx sim(options);
        MainWindowPresenter& presenter = open(sim);
        presenter.setTestMode(true);
        view_->boxes.clear();
        consoles_.posts.clear();
        const ConsoleMessage start{ConsoleMessage::kStart, 9, ConsoleMessage::kRequestValue};
        EXPECT_EQ(presenter.consoleRequest(start), ConsoleMessage::kStarted);
        EXPECT_EQ(presenter.consoleRequest(start), ConsoleMessage::kIgnored);
        EXPECT_EQ(presenter.consoleWindow(), 9);
        EXPECT_EQ(presenter.operation(), Operation::Converting);
        consoles_.refusals = c.refusals;
        view_->runPending();
        EXPECT_EQ(presenter.operation(), Operation::Idle);
        EXPECT_EQ(consoles_.posts.size(), c.boxShown ? 0u : 1u);
        if (!c.boxShown) {
            EXPECT_EQ(consoles_.posts[0],
                      (ConsoleMessage{ConsoleMessage::kEnd, ConsoleMessage::kReplyValue,
                                      ConsoleMessage::kEndFailure}));
        }
        EXPECT_EQ(view_->boxTexts(),
                  c.boxShown ? std::vector<std::wstring>{MainWindowPresenter::kConsoleUnreachable}
                             : std::vector<std::wstring>{});
    }
}

// The serial-number update's refusals and its success.
TEST_F(PresenterTest, UpdateSerialNumberChecksTheEntry) {
    struct Case {
        std::wstring entry;
        std::wstring message;
        std::wstring serialAfter;
    };
    const Case cases[] = {
        {L"752TRX4F21", text(kStrSerialIdentical), L"752TRX4F21"},
        {L"75", text(kStrSerialIncorrect), L"752TRX4F21"},
        {L"123ABC4D67", text(kStrSerialUpdated), L"123ABC4D67"},
    };
    SimD2xx sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(fromUtf8("") + c.entry);
        MainWindowPresenter& presenter = open(sim);
        logIn();
        cable(1);
        view_->boxes.clear();
        view_->newSerial = c.entry;
        presenter.onCommand(View::kIdUpdateSerial);
        ASSERT_EQ(view_->boxes.size(), 1u);
        EXPECT_EQ(view_->boxes[0].text, c.message);
        EXPECT_EQ(view_->texts.at(View::kValueIds[View::SerialNumber]), c.serialAfter);
    }
}

TEST_F(PresenterTest, ExitAndEnterWaitWhileAWorkflowRuns) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    logIn();
    cable(1);
    view_->whileBoxShown = [&](const FakeView::Box&) {
        presenter.onCommand(View::kCmdExit);
        EXPECT_FALSE(presenter.mayClose());
    };
    presenter.onEnter(View::kIdGetRadioInfo);
    EXPECT_EQ(view_->boxTexts(), std::vector<std::wstring>{text(kStrInfoDone)});
    EXPECT_EQ(view_->closedWith, -1);
    view_->whileBoxShown = {};
    // Enter in the new serial number presses Update Serial Number; on a field it does nothing.
    view_->boxes.clear();
    view_->newSerial = L"75";
    presenter.onEnter(View::kIdNewSerial);
    EXPECT_EQ(view_->boxTexts(), std::vector<std::wstring>{text(kStrSerialIncorrect)});
    presenter.onEnter(View::kValueIds[View::Model]);
    EXPECT_EQ(view_->boxes.size(), 1u);
    presenter.onCommand(View::kCmdExit);
    EXPECT_EQ(view_->closedWith, View::kCmdExit);
}

// Choosing a language stores it for the next start and says a restart is needed.
TEST_F(PresenterTest, ChoosingALanguageStoresItAndAsksForARestart) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    const std::wstring before = Configuration::instance().defaultLanguage();
    presenter.onCommand(32778);  // Deutsch
    EXPECT_EQ(presenter.languages().checkedCommand(), 32778);
    EXPECT_EQ(view_->boxTexts(), std::vector<std::wstring>{text(str::kRestartForLanguage)});
    EXPECT_EQ(view_->boxes[0].style, View::kIconInformation);
    presenter.onCommand(32777);
    EXPECT_EQ(presenter.languages().checkedCommand(), 32777);
    EXPECT_EQ(view_->boxes.size(), 2u);
    Configuration::instance().storeLanguage(before);
}

// The compiled help first, the HTML beside it when that is missing or finds no viewer; when none
// opens, string 138 and the log say so.
TEST_F(PresenterTest, HelpOpensTheFirstFileAViewerTakes) {
    struct Case {
        const char* name;
        std::vector<std::string> present;
        std::vector<std::string> viewerOpens;
        std::vector<std::string> handedOver;
        bool shown;
    };
    const Case cases[] = {
        {"compiled help", {"en_us.chm", "en_us.html"}, {"en_us.chm"}, {"en_us.chm"}, false},
        {"HTML help only", {"en_us.html"}, {"en_us.html", "en_us.chm"}, {"en_us.html"}, false},
        {"no viewer for the compiled help",
         {"en_us.chm", "en_us.html"},
         {"en_us.html"},
         {"en_us.chm", "en_us.html"},
         false},
        {"nothing opens", {"en_us.chm"}, {}, {"en_us.chm"}, true},
        {"no help", {}, {"en_us.chm"}, {}, true},
    };
    const fs::path start = fs::current_path();
    SimD2xx sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = freshFolder(std::string("help-") + c.name);
        fs::create_directories(root / "bin");
        fs::create_directories(root / "lang");
        for (const std::string& name : c.present) {
            std::ofstream(root / "lang" / name) << "help";
        }
        fs::current_path(root / "bin");
        MainWindowPresenter& presenter = open(sim);
        view_->boxes.clear();
        view_->helpHandedOver.clear();
        view_->viewerOpens.assign(c.viewerOpens.begin(), c.viewerOpens.end());
        presenter.onCommand(View::kCmdHelpContents);
        fs::current_path(start);
        std::vector<fs::path> expected;
        for (const std::string& name : c.handedOver) {
            expected.push_back((root / "lang" / name).lexically_normal());
        }
        EXPECT_EQ(view_->helpHandedOver, expected);
        EXPECT_EQ(view_->boxTexts(), c.shown
                                         ? std::vector<std::wstring>{text(str::kHelpUnavailable)}
                                         : std::vector<std::wstring>{});
    }
}

}  // namespace
}  // namespace plugshift
