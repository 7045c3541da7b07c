// libFuzzer target for the configuration load: one input becomes config.xml or setup.dat of a
// throw-away installation (the other file is a valid one) and the whole load runs over it; a
// setup that loads is then written back. The input is the readable text: it is scrambled on
// the way to the file, which reaches every file byte sequence while letting an XML dictionary
// help the fuzzer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/config_scrambler.h"
#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kValidConfig =
    R"(<c id="1" name="PERU"><mo type="K" alias="A" img="0" name="RQX770HJNUS"/></c>)";
constexpr const char* kValidSetup = R"(<s id="1" name="PERU"><pwd cd1="1" cd2=""/></s>)";

const fs::path& folder() {
    static const fs::path path = [] {
        fs::path p = fs::temp_directory_path() / ("config-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    // The test build replays this target on every run: leave no folder behind. Registered once
    // the path exists, so it runs before the path is destroyed.
    static const bool removedAtExit = [] {
        return std::atexit([] {
                   std::error_code ignored;
                   fs::remove_all(folder(), ignored);
               }) == 0;
    }();
    (void)removedAtExit;
    return path;
}

void writeScrambled(const fs::path& file, std::string_view text) {
    std::string bytes = plugshift::scrambledConfigText(text);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the file under test.
    const bool fuzzSetup = (data[0] & 1) != 0;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const fs::path config = folder() / "config.xml";
    const fs::path setup = folder() / "setup.dat";
    writeScrambled(config, fuzzSetup ? kValidConfig : input);
    writeScrambled(setup, fuzzSetup ? input : kValidSetup);

    plugshift::Configuration configuration;
    configuration.createDocument();
    if (configuration.load(plugshift::fromUtf8(config.string()),
                           plugshift::fromUtf8(setup.string())) &&
        fuzzSetup) {
        configuration.storeLanguage(L"en_us");
    }
    plugshift::ErrorChain::remove(0);
    return 0;
}
