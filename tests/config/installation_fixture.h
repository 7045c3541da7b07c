#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace plugshift {

// A throw-away installation in a temporary folder: data/config.xml beside the flash files it
// names, and setup/setup.dat in a folder of its own, as the data folder is on a real install.
class InstallationFixture {
public:
    InstallationFixture();
    ~InstallationFixture();
    InstallationFixture(const InstallationFixture&) = delete;
    InstallationFixture& operator=(const InstallationFixture&) = delete;

    std::filesystem::path configFile() const { return root_ / "data" / "config.xml"; }
    std::filesystem::path setupFile() const { return root_ / "setup" / "setup.dat"; }
    std::wstring configPath() const;
    std::wstring setupPath() const;
    std::filesystem::path dataFolder() const { return root_ / "data"; }
    std::filesystem::path setupFolder() const { return root_ / "setup"; }

    // UTF-8 XML text, written as Windows writes these files: code page 1252, scrambled.
    void writeConfig(std::string_view xml) const;
    void writeSetup(std::string_view xml) const;
    // Bytes exactly as given.
    static void writeBytes(const std::filesystem::path& file, std::string_view bytes);
    static std::string readBytes(const std::filesystem::path& file);
    // The setup file unscrambled, still in code page 1252.
    std::string setupText() const;

    // A valid flash file with that internal name in the folder of config.xml.
    void addFlashFile(const std::string& fileName, const std::string& internalName) const;

private:
    static std::string encoded(std::string_view xml);

    std::filesystem::path root_;
};

}  // namespace plugshift
