// Start-up's order and where each failure stops it, over a scripted host and the sample
// installation.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "desktop/start_up.h"
#include "desktop/string_table.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;

// Answers as the test says and records what start-up asked for, in order.
class ScriptedHost : public StartUpHost {
public:
    bool hasDataFolder = true;
    fs::path data;
    fs::path installation;
    bool componentsStart = true;
    InstallationId id{true, L"  4711 \n"};
    Instance instance = Instance::First;
    std::vector<std::string> calls;
    std::vector<std::wstring> problems;

    std::optional<fs::path> dataFolder(std::wstring& reason) override {
        calls.push_back("dataFolder");
        reason = L"No such file or directory";
        return hasDataFolder ? std::optional(data) : std::nullopt;
    }
    fs::path installationFolder() override { return installation; }
    bool startComponents() override {
        calls.push_back("components");
        return componentsStart;
    }
    InstallationId installationId() override { return id; }
    Instance takeInstance() override {
        calls.push_back("instance");
        return instance;
    }
    void listenForConsoles() override { calls.push_back("consoles"); }
    void showSplash(int milliseconds) override {
        calls.push_back("splash " + std::to_string(milliseconds));
    }
    void showFileProblem(const std::wstring& text) override { problems.push_back(text); }
    void runMainWindow() override { calls.push_back("main window"); }
};

std::string logOf(const fs::path& data) {
    std::ifstream log(data / "log" / "err.log");
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
}

struct Case {
    const char* name;
    void (*script)(ScriptedHost&);
    StartUp::Stage stoppedAt;
    bool problemShown;   // string 112
    const char* logged;  // in err.log; "" for nothing
};

TEST(StartUpTest, EachFailureStopsAtItsStep) {
    using Stage = StartUp::Stage;
    const Case cases[] = {
        {"all well", [](ScriptedHost&) {}, Stage::Finished, false, ""},
        {"no data folder", [](ScriptedHost& h) { h.hasDataFolder = false; }, Stage::DataFolder,
         false, ""},
        {"components", [](ScriptedHost& h) { h.componentsStart = false; }, Stage::Components, false,
         "Error:failed to initialize component."},
        {"no configuration", [](ScriptedHost& h) { h.installation = h.data / "nowhere"; },
         Stage::Configuration, true, ""},
        {"no id key",
         [](ScriptedHost& h) {
             h.id = {false, std::nullopt};
         },
         Stage::InstallationId, true, "Error:failed to retrieve the id."},
        {"id not text",
         [](ScriptedHost& h) {
             h.id = {true, std::nullopt};
         },
         Stage::InstallationId, true, ""},
        {"second instance",
         [](ScriptedHost& h) { h.instance = StartUpHost::Instance::AlreadyRuns; },
         Stage::SingleInstance, false, ""},
        {"no lock", [](ScriptedHost& h) { h.instance = StartUpHost::Instance::Failed; },
         Stage::SingleInstance, false, "Error:failed to create mutex."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host;
        host.data = fs::temp_directory_path() / (std::string("plugshift-start-up-") + c.name);
        fs::remove_all(host.data);
        fs::create_directories(host.data);
        host.installation = pathFromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR);
        c.script(host);
        Configuration configuration;
        StartUp startUp(host, configuration);
        EXPECT_EQ(startUp.run(), c.stoppedAt == Stage::Finished);
        EXPECT_EQ(startUp.stage(), c.stoppedAt);
        EXPECT_EQ(host.problems,
                  c.problemShown ? std::vector<std::wstring>{StringTable::text(str::kFileMissing)}
                                 : std::vector<std::wstring>{});
        ErrorLog::reset();
        if (*c.logged != '\0') {
            EXPECT_NE(logOf(host.data).find(c.logged), std::string::npos) << logOf(host.data);
        }
        if (c.stoppedAt == Stage::Finished) {
            const std::vector<std::string> order = {"dataFolder", "components",  "instance",
                                                    "consoles",   "splash 1000", "main window"};
            EXPECT_EQ(host.calls, order);
        }
    }
}

}  // namespace
}  // namespace plugshift
