// The main window's decisions against a fake view, the simulated radio and the sample
// installation: enabling rules, the workflows' messages, the console requests, the language list
// and the help.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "desktop/console_message.h"
#include "desktop/main_window_presenter.h"
#include "desktop/message_box_style.h"
#include "desktop/radio_display.h"
#include "desktop/string_table.h"
#include "errors/wide_text.h"
#include "fake_d2xx.h"
#include "platform/system_files.h"
#include "pluggable_cable.h"
#include "presenter_fixture.h"
#include "sim/sim_d2xx.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::FakeView;
using test::freshFolder;
using test::PluggableCable;
using View = MainWindowView;
using Box = MessageBoxStyle;
using Operation = MainWindowPresenter::Operation;
using PresenterTest = test::PresenterFixture;

std::wstring text(int id) {
    return StringTable::text(id);
}

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
        EXPECT_EQ(view_->statusTexts[StatusBarParts::Cable],
                  c.cables > 0 ? L"USB Cable Connected" : L"USB Cable Disconnected");
        for (int id : {View::kIdGetRadioInfo, View::kIdConvert, View::kIdKeepPersonality}) {
            EXPECT_EQ(view_->enabled[id], c.workflows) << id;
        }
        for (int id : {View::kIdNewSerial, View::kIdUpdateSerial}) {
            EXPECT_EQ(view_->enabled[id], c.serial) << id;
        }
        EXPECT_EQ(view_->serialGroupShown, c.loggedIn);
        for (int id : {View::kIdSerialGroup, View::kIdSerialGroupLabel}) {
            EXPECT_EQ(view_->enabled[id], c.loggedIn) << id;
        }
        EXPECT_EQ(view_->focus, c.focus);
    }
}

// The dialog comes back after each wrong entry, that entry in it and the notice below; a closed
// dialog ends the login, which a later command starts afresh.
TEST_F(PresenterTest, LoginTakesOnlyTheDealerCodeAndHidesItsCommand) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    view_->loginEntries = {L"1234", L"24680", std::nullopt};
    presenter.onCommand(View::kCmdDealerLogin);
    EXPECT_FALSE(presenter.isDealerLoggedIn());
    EXPECT_FALSE(view_->serialGroupShown);
    ASSERT_EQ(view_->loginShowings.size(), 3u);
    EXPECT_EQ(view_->loginShowings[0].entry, L"");
    EXPECT_FALSE(view_->loginShowings[0].wrongShown);
    EXPECT_EQ(view_->loginShowings[2].entry, L"24680");
    EXPECT_TRUE(view_->loginShowings[2].wrongShown);

    view_->loginShowings.clear();
    view_->loginEntries = {L"1234", fromUtf8(kDealerCode)};
    presenter.onCommand(View::kCmdDealerLogin);
    EXPECT_FALSE(view_->loginShowings[0].wrongShown);
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
        const char* radioModel = "RQX770HJNWA";
    };
    const Case cases[] = {
        {"read", 1, SimCableMode::Digital, text(kStrInfoDone), Box::kIconInformation,
         L"RQX770HJNWA"},
        {"cable in the wrong mode", 1, SimCableMode::Echo, text(kStrCableToDigital),
         Box::kIconWarning, L"N/A"},
        {"cable not supported", 1, SimCableMode::Unsupported, text(kStrCableUnsupported),
         Box::kIconError, L"N/A"},
        {"no cable", 0, SimCableMode::Digital, text(kStrConnectFailed), Box::kIconError, L"N/A"},
        {"model not configured", 1, SimCableMode::Digital, text(str::kRadioUnsupported),
         Box::kIconError, L"N/A", "RQX770HJNZZ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimD2xx::Options options;
        options.cables = c.cables;
        options.mode = c.mode;
        options.radio.model = c.radioModel;
        SimD2xx sim(options);
        MainWindowPresenter& presenter = open(sim);
        view_->boxes.clear();
        cable(1);
        presenter.onCommand(View::kIdGetRadioInfo);
        ASSERT_EQ(view_->boxes.size(), 1u);
        EXPECT_EQ(view_->boxes[0].text, c.message);
        EXPECT_EQ(view_->boxes[0].style, c.icon);
        EXPECT_EQ(shownModel(), c.model);
        EXPECT_EQ(presenter.isResultShown(), c.model != L"N/A");
        EXPECT_EQ(presenter.operation(), Operation::Idle);
        EXPECT_EQ(view_->waitCursor, 0);
        EXPECT_TRUE(view_->enabled[View::kIdGetRadioInfo]);
        EXPECT_FALSE(manager_->radioInfo().isConnected());
    }
}

// Every value and the model's picture; a later failure leaves the last success on show.
TEST_F(PresenterTest, GetRadioInformationFillsEveryFieldAndKeepsThem) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    presenter.onCommand(View::kIdGetRadioInfo);
    const std::wstring expected[View::FieldCount] = {L"KMV410 Series", L"01",        L"RQX770HJNWA",
                                                     L"752TRX4F21",    L"R02.10.05", L"R01.03.00",
                                                     L"R01.00.02",     L"1234567"};
    for (int field = 0; field < View::FieldCount; ++field) {
        EXPECT_EQ(shown(View::Field(field)), expected[field]) << field;
    }
    EXPECT_EQ(view_->pictures.back(), RadioDisplay::kRadioBitmap);

    sim.cable(0).setMode(SimCableMode::Echo);
    presenter.onCommand(View::kIdGetRadioInfo);
    EXPECT_EQ(view_->boxTexts().back(), text(kStrCableToDigital));
    EXPECT_EQ(shown(View::SerialNumber), L"752TRX4F21");
}

// The radio is drawn from the start and for every model the installation knows, whatever its
// picture kind; a model it does not know leaves the picture as it is.
TEST_F(PresenterTest, TheRadioIsDrawnForNothingReadAndForKnownModels) {
    SimD2xx sim;
    open(sim);
    EXPECT_EQ(view_->pictures, std::vector<int>{RadioDisplay::kRadioBitmap});
    const struct {
        const wchar_t* model;
        std::optional<int> bitmap;
    } cases[] = {
        {L"", RadioDisplay::kRadioBitmap},
        {L"RQX770HJNWA", RadioDisplay::kRadioBitmap},
        {L"RQX770HJNZZ", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RadioDisplay::picture(c.model, Configuration::instance()), c.bitmap)
            << toUtf8(c.model);
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

// A cable pulled while the radio's port is open: the port is closed once no device of the cable's
// kind is left; another FTDI device on the bus keeps it open, as its count says.
TEST_F(PresenterTest, APulledCableClosesTheRadiosPort) {
    struct Case {
        const char* name;
        std::vector<std::string> left;
        bool stillOpen;
    };
    const Case cases[] = {
        {"nothing left", {}, false},
        {"another FTDI device left", {"FT232R USB UART"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeD2xx cables;
        cables.descriptions = {"NV PGM Cable"};
        MainWindowPresenter& presenter = open(cables);
        view_->boxes.clear();
        cable(1);
        ASSERT_TRUE(manager_->connect(true));
        cables.descriptions = c.left;
        cable(1);  // no cable, and one for the open port
        EXPECT_EQ(manager_->radioInfo().isConnected(), c.stillOpen);
        EXPECT_EQ(cables.isOpen(), c.stillOpen);
        EXPECT_EQ(presenter.isCableConnected(), c.stillOpen);
        EXPECT_EQ(view_->statusTexts[StatusBarParts::Cable],
                  StatusBarParts::cableText(c.stillOpen));
        EXPECT_TRUE(view_->boxes.empty());
        // The port still open goes with the manager, before the cable it is open on.
        presenter_.reset();
        manager_.reset();
    }
}

// A command's progress reaches the status bar as a percent; a report off the scale does not.
TEST_F(PresenterTest, ProgressReportsBecomeThePercentShown) {
    test::FakeD2xx cables;
    MainWindowPresenter& presenter = open(cables);
    presenter.onMessage(kMsgProgress, 1, 3);
    presenter.onMessage(kMsgProgress, 150, 100);
    presenter.onMessage(kMsgProgress, 100, 0);
    EXPECT_EQ(view_->progress, (std::vector<int>{33, 100}));
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
        if ((box.style & 0xF) == Box::kYesNo || shownAtQuestion.empty()) {
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
// Declined, the radio may be half-written, and Convert finishes it.
TEST_F(PresenterTest, TheRecoveryOfferAfterAPulledCableSaysToReconnectFirst) {
    for (const bool pulled : {true, false}) {
        SCOPED_TRACE(pulled ? "pulled" : "plugged in");
        useDataFolder(pulled ? "pulled" : "in");
        SimD2xx::Options options;
        options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
        SimD2xx sim(options);
        PluggableCable plug(sim);
        MainWindowPresenter& presenter = open(plug);
        cable(1);
        view_->keepPersonality = true;
        view_->answers = {Box::kIdYes};  // the confirmation
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
        expected.push_back(text(kStrMayBeHalfWritten));  // the offer declined
        EXPECT_EQ(view_->boxTexts(), expected);
        EXPECT_EQ(view_->boxes[2].style,
                  pulled ? Box::kIconWarning : Box::kYesNo | Box::kIconQuestion);
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
         Box::kIdNo,
         0,
         false,
         0},
        {"test mode taken", {ConsoleMessage::kEnterTestMode, 7, request}, Box::kIdYes, 1, true, 1},
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
        // Still taken while the result's box waits.
        view_->whileBoxShown = [&](const FakeView::Box&) {
            EXPECT_EQ(presenter.consoleRequest(start), ConsoleMessage::kIgnored);
        };
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

std::string serialOf(SimD2xx& sim) {
    const std::vector<uint8_t> serial = sim.radio().serial();
    return std::string(serial.begin(), serial.end());
}

// The serial-number update's refusals and its success: the radio, the values shown afterwards
// and the button.
TEST_F(PresenterTest, UpdateSerialNumberChecksTheEntry) {
    struct Case {
        const char* name;
        std::wstring entry;
        int message;
        unsigned icon;
        std::string radioAfter;
    };
    const Case cases[] = {
        {"the radio's own", L"752TRX4F21", kStrSerialIdentical, Box::kIconError, "752TRX4F21"},
        {"far too short", L"75", kStrSerialIncorrect, Box::kIconError, "752TRX4F21"},
        {"one character more", L"752TRX4F211", kStrSerialIncorrect, Box::kIconError, "752TRX4F21"},
        {"one character less", L"752TRX4F2", kStrSerialIncorrect, Box::kIconError, "752TRX4F21"},
        {"wrong format", L"752trx4f21", kStrSerialIncorrect, Box::kIconError, "752TRX4F21"},
        {"written", L"123ABC4D67", kStrSerialUpdated, Box::kIconInformation, "123ABC4D67"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimD2xx sim;
        MainWindowPresenter& presenter = open(sim);
        logIn();
        cable(1);
        view_->boxes.clear();
        view_->newSerial = c.entry;
        presenter.onCommand(View::kIdUpdateSerial);
        ASSERT_EQ(view_->boxes.size(), 1u);
        EXPECT_EQ(view_->boxes[0].text, text(c.message));
        EXPECT_EQ(view_->boxes[0].style, c.icon);
        EXPECT_EQ(serialOf(sim), c.radioAfter);
        const bool written = c.message == kStrSerialUpdated;
        EXPECT_EQ(presenter.isResultShown(), written);
        EXPECT_EQ(shown(View::SerialNumber), fromUtf8(c.radioAfter));
        if (written) {
            EXPECT_EQ(shownModel(), L"RQX770HJNWA");
        }
        EXPECT_TRUE(view_->enabled[View::kIdUpdateSerial]);
        EXPECT_FALSE(manager_->radioInfo().isConnected());
        EXPECT_EQ(presenter.operation(), Operation::Idle);
    }
}

// A number typed for the radio shown is never written into another radio plugged in since: that
// radio is shown instead, the entry cleared, and nothing is written.
TEST_F(PresenterTest, ANumberTypedForOneRadioIsNotWrittenIntoTheNext) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    logIn();
    cable(1);
    presenter.onCommand(View::kIdGetRadioInfo);
    ASSERT_EQ(shown(View::SerialNumber), L"752TRX4F21");
    SimRadioConfig other;
    other.serial = "111AAA1A11";
    sim.radio() = SimRadio(other);
    view_->boxes.clear();
    view_->newSerial = L"123ABC4D67";
    presenter.onCommand(View::kIdUpdateSerial);
    EXPECT_EQ(view_->boxTexts(), (std::vector<std::wstring>{StringTable::format(
                                     str::kAnotherRadioConnected, L"111AAA1A11")}));
    EXPECT_EQ(serialOf(sim), "111AAA1A11");
    EXPECT_EQ(shown(View::SerialNumber), L"111AAA1A11");
    EXPECT_EQ(view_->texts[View::kIdNewSerial], L"");

    // Typed again for the radio now shown, it is written.
    view_->boxes.clear();
    presenter.onCommand(View::kIdUpdateSerial);
    EXPECT_EQ(view_->boxTexts(), (std::vector<std::wstring>{text(kStrSerialUpdated)}));
    EXPECT_EQ(serialOf(sim), "123ABC4D67");
}

// Every update reaches the audit beside err.log, and a failed one leaves its trace.
TEST_F(PresenterTest, SerialNumberUpdatesAreAudited) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    logIn();
    cable(1);
    view_->newSerial = L"123ABC4D67";
    presenter.onCommand(View::kIdUpdateSerial);
    sim.faults(0).add({SimFaultKind::RefuseOpcode, 0x18, 0});
    view_->newSerial = L"123ABC4D68";
    presenter.onCommand(View::kIdUpdateSerial);
    EXPECT_EQ(view_->boxTexts(),
              (std::vector<std::wstring>{text(kStrSerialUpdated), text(kStrSerialFailed),
                                         StringTable::format(kStrSerialStillOld, L"123ABC4D67")}));

    std::ifstream audit(data_ / "log" / "serial-audit.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(audit, line);) {
        std::erase(line, '\r');
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[0].ends_with(" model=RQX770HJNWA old=752TRX4F21 new=123ABC4D67 started"))
        << lines[0];
    EXPECT_TRUE(lines[1].ends_with(" model=RQX770HJNWA old=752TRX4F21 new=123ABC4D67 success"))
        << lines[1];
    EXPECT_TRUE(lines[3].ends_with(
        " model=RQX770HJNWA old=123ABC4D67 new=123ABC4D68 failure now=123ABC4D67"))
        << lines[3];
    const std::string log = errLog();
    std::smatch named;
    ASSERT_TRUE(std::regex_search(log, named, std::regex("SBEP trace of this failure: (\\S+)")))
        << log;
    EXPECT_TRUE(fs::exists(pathFromUtf8(named[1].str())));
}

// The number is in, its factory block not backed up: the window says so after the failure, with
// the radio read again on the display.
TEST_F(PresenterTest, AFailedBackupIsSaidAfterTheFailureWithTheRadioReadAgain) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    logIn();
    cable(1);
    sim.faults(0).add({SimFaultKind::RefuseOpcode, 0x38, 0});
    view_->boxes.clear();
    view_->newSerial = L"123ABC4D67";
    presenter.onCommand(View::kIdUpdateSerial);
    EXPECT_EQ(view_->boxTexts(),
              (std::vector<std::wstring>{text(kStrSerialFailed),
                                         StringTable::format(kStrSerialNowNew, L"123ABC4D67"),
                                         text(kStrSerialNotBackedUp)}));
    EXPECT_EQ(shown(View::SerialNumber), L"123ABC4D67");
    EXPECT_EQ(presenter.operation(), Operation::Idle);
}

TEST_F(PresenterTest, ExitAndEnterWaitWhileAWorkflowRuns) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    logIn();
    cable(1);
    view_->whileBoxShown = [&](const FakeView::Box&) {
        presenter.onCommand(View::kCmdExit);
        presenter.onClose();
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
    presenter.onClose();
    EXPECT_EQ(view_->closedWith, View::kCmdExit);
}

// The prompt part says what a highlighted menu command does, and the general prompt otherwise.
TEST_F(PresenterTest, ThePromptFollowsTheHighlightedCommand) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    const std::wstring general = L"For help, press F1";
    EXPECT_EQ(view_->statusTexts[StatusBarParts::Prompt], general);
    const struct {
        int command;
        std::wstring prompt;
    } cases[] = {
        {View::kCmdExit, L"Quit the application"},
        {View::kCmdDealerLogin, L"Dealer login"},
        {View::kCmdAbout, L"Display Program Information, version number and copyright"},
        {View::kCmdHelpContents, L"Display help"},
        {0, general},
        {32778, general},  // a language
        {View::kIdConvert, general},
    };
    for (const auto& c : cases) {
        presenter.onMenuHighlight(c.command);
        EXPECT_EQ(view_->statusTexts[StatusBarParts::Prompt], c.prompt) << c.command;
    }
}

// Choosing a language stores it for the next start and says a restart is needed.
TEST_F(PresenterTest, ChoosingALanguageStoresItAndAsksForARestart) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    const std::wstring before = Configuration::instance().defaultLanguage();
    EXPECT_EQ(view_->checkedLanguage, presenter.languages().checkedCommand());
    presenter.onCommand(32778);  // Deutsch
    EXPECT_EQ(view_->checkedLanguage, 32778);
    EXPECT_EQ(view_->boxTexts(), std::vector<std::wstring>{text(str::kRestartForLanguage)});
    EXPECT_EQ(view_->boxes[0].style, Box::kIconInformation);
    presenter.onCommand(32777);
    EXPECT_EQ(view_->checkedLanguage, 32777);
    EXPECT_EQ(view_->boxes.size(), 2u);
    // Commands beside the languages' range are no languages.
    for (int command : {LanguageList::kLastCommand + 1, 40000}) {
        presenter.onCommand(command);
    }
    EXPECT_EQ(view_->checkedLanguage, 32777);
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
