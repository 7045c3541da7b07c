// Start-up's order and where each failure stops it, over a scripted host and the sample
// installation.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_file_codec.h"
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

std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The sample's readable configuration file with its region renamed, packed as the tool reads it.
std::string packed(const char* sourceFile, const std::string& region) {
    std::string text = fileText(pathFromUtf8(PLUGSHIFT_SAMPLE_SOURCE_DIR) / sourceFile);
    const std::string sampleRegion = "name=\"PERU\"";
    const size_t at = text.find(sampleRegion);
    if (at != std::string::npos) {
        text.replace(at, sampleRegion.size(), "name=\"" + region + "\"");
    }
    std::string bytes;
    return encodeConfigText(text, bytes) ? bytes : std::string();
}

// An installation and a data folder whose files name the region.
void installForRegion(ScriptedHost& host, const std::string& region) {
    host.installation = host.data / "install";
    const fs::path files = host.installation / "data";
    fs::create_directories(files);
    for (const auto& entry :
         fs::directory_iterator(pathFromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data"))) {
        if (entry.path().extension() == ".ftf") {
            fs::copy_file(entry.path(), files / entry.path().filename());
        }
    }
    std::ofstream(files / "config.xml", std::ios::binary) << packed("config.xml", region);
    fs::create_directories(host.data / "data");
    std::ofstream(host.data / "data" / "setup.dat", std::ios::binary)
        << packed("setup.xml", region);
}

std::string logOf(const fs::path& data) {
    return fileText(data / "log" / "err.log");
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
         Stage::Configuration, true, "Error:failed to open the specified file ["},
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

// The region is the tool's own in any case, or start-up stops with string 112 and the log; the id
// goes into the setup file without its blanks.
TEST(StartUpTest, TheRegionMustBeTheToolsOwnInAnyCase) {
    struct RegionCase {
        const char* region;
        StartUp::Stage stoppedAt;
    };
    for (const RegionCase& c : {RegionCase{"peru", StartUp::Stage::Finished},
                                RegionCase{"PERUX", StartUp::Stage::Region}}) {
        SCOPED_TRACE(c.region);
        ScriptedHost host;
        host.data = fs::temp_directory_path() / (std::string("plugshift-region-") + c.region);
        fs::remove_all(host.data);
        installForRegion(host, c.region);
        Configuration configuration;
        StartUp startUp(host, configuration);
        const bool finished = c.stoppedAt == StartUp::Stage::Finished;
        EXPECT_EQ(startUp.run(), finished);
        EXPECT_EQ(startUp.stage(), c.stoppedAt);
        EXPECT_EQ(host.problems,
                  finished ? std::vector<std::wstring>{}
                           : std::vector<std::wstring>{StringTable::text(str::kFileMissing)});
        ErrorLog::reset();
        const std::string log = logOf(host.data);
        if (finished) {
            EXPECT_EQ(log, "");
            std::string setup;
            ASSERT_TRUE(decodeConfigBytes(fileText(host.data / "data" / "setup.dat"), setup));
            EXPECT_NE(setup.find("<reg id=\"4711\""), std::string::npos) << setup;
        } else {
            EXPECT_NE(log.find("] Error:invalid config file.The the applicatio only supportes "
                               "region [PERU]"),
                      std::string::npos)
                << log;
        }
    }
}

}  // namespace
}  // namespace plugshift
