#include "installation_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "config/config_file_codec.h"
#include "config/config_scrambler.h"
#include "errors/wide_text.h"
#include "formats/ftf_writer.h"

namespace plugshift {

namespace fs = std::filesystem;

InstallationFixture::InstallationFixture() {
    static std::atomic<int> counter{0};
    root_ = fs::temp_directory_path() /
            ("config-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root_);
    fs::create_directories(dataFolder());
    fs::create_directories(setupFolder());
}

InstallationFixture::~InstallationFixture() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::wstring InstallationFixture::configPath() const {
    return fromUtf8(configFile().string());
}

std::wstring InstallationFixture::setupPath() const {
    return fromUtf8(setupFile().string());
}

std::string InstallationFixture::encoded(std::string_view xml) {
    std::string bytes;
    EXPECT_TRUE(encodeConfigText(xml, bytes)) << "fixture text outside code page 1252";
    return bytes;
}

void InstallationFixture::writeConfig(std::string_view xml) const {
    writeBytes(configFile(), encoded(xml));
}

void InstallationFixture::writeSetup(std::string_view xml) const {
    writeBytes(setupFile(), encoded(xml));
}

void InstallationFixture::writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

std::string InstallationFixture::readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string InstallationFixture::setupText() const {
    return scrambledConfigText(readBytes(setupFile()));
}

void InstallationFixture::addFlashFile(const std::string& fileName,
                                       const std::string& internalName) const {
    FtfFields fields;
    fields.internalName = fromUtf8(internalName);
    const uint8_t body[] = {'D', 'Y', 'N', '_', 'S', 'T', 'A', 'R', 'T'};
    ASSERT_TRUE(writeFtf(fromUtf8((dataFolder() / fileName).string()), fields, body));
}

}  // namespace plugshift
