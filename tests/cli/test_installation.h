#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "config/config_scrambler.h"

namespace plugshift::test {

// What `info` prints of the simulated radio's default identity, below its radio type.
inline constexpr const char* kSimulatedIdentity =
    "Region code:      01\n"
    "Model:            RQX770HJNWA\n"
    "Serial number:    752TRX4F21\n"
    "Firmware version: R02.10.05\n"
    "Codeplug version: R01.03.00\n"
    "Keypad version:   R01.00.02\n"
    "User private ID:  1234567\n";

// A throw-away installation: install/data/config.xml naming the models, and the data folder
// user/data/setup.dat, both stored scrambled as the tool ships them. Plain ASCII text reads the
// same in code page 1252.
class TestInstallation {
public:
    // The simulated radio's default model, in a series of its own.
    static constexpr std::string_view kKnowsSimulatedModel =
        R"(<kmv id="1" name="PERU"><mo type="KMV410" alias="KMV410 Test" img="0" )"
        R"(name="RQX770HJNWA"/></kmv>)";
    static constexpr std::string_view kOtherModelOnly =
        R"(<kmv id="1" name="PERU"><mo type="KMV410" alias="KMV410 Test" img="0" )"
        R"(name="RQX770HJNUS"/></kmv>)";

    explicit TestInstallation(std::string_view config = kKnowsSimulatedModel) {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("info-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(installDir() / "data");
        std::filesystem::create_directories(dataDir() / "data");
        write(installDir() / "data" / "config.xml", config);
        write(dataDir() / "data" / "setup.dat", R"(<setup id="1" name="PERU"/>)");
    }
    ~TestInstallation() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TestInstallation(const TestInstallation&) = delete;
    TestInstallation& operator=(const TestInstallation&) = delete;

    std::filesystem::path installDir() const { return root_ / "install"; }
    std::filesystem::path dataDir() const { return root_ / "user"; }

private:
    static void write(const std::filesystem::path& file, std::string_view xml) {
        std::ofstream out(file, std::ios::binary);
        const std::string bytes = scrambledConfigText(xml);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path root_;
};

}  // namespace plugshift::test
