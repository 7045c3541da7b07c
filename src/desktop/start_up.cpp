#include "desktop/start_up.h"

#include <clocale>

#include "config/configuration.h"
#include "config/provision_setup_file.h"
#include "desktop/string_table.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// Shipped files and the installation's own files each sit in a folder "data" of their folder.
constexpr const char* kFilesFolder = "data";

std::wstring wide(const std::filesystem::path& path) {
    return fromUtf8(utf8FromPath(path));
}

std::wstring trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r\n\f\v");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t\r\n\f\v") - first + 1);
}

}  // namespace

bool StartUp::run() {
    stage_ = Stage::DataFolder;
    if (!findDataFolder()) {
        return false;
    }
    std::setlocale(LC_ALL, "");
    stage_ = Stage::Document;
    if (!configuration_.createDocument()) {
        ErrorLog::write(L"Error:failed to initialize COM.");
        return false;
    }
    stage_ = Stage::Components;
    if (!host_.startComponents()) {
        ErrorLog::write(L"Error:failed to initialize component.");
        return false;
    }
    stage_ = Stage::Configuration;
    if (!loadConfiguration()) {
        return false;
    }
    stage_ = Stage::Region;
    if (!checkRegion()) {
        return false;
    }
    stage_ = Stage::InstallationId;
    if (!copyInstallationId()) {
        return false;
    }
    stage_ = Stage::SingleInstance;
    if (!takeInstance()) {
        return false;
    }
    host_.listenForConsoles();
    stage_ = Stage::Splash;
    host_.showSplash(kSplashMs);
    stage_ = Stage::MainWindow;
    host_.runMainWindow();
    stage_ = Stage::Finished;
    return true;
}

bool StartUp::findDataFolder() {
    std::wstring reason;
    const std::optional<std::filesystem::path> folder = host_.dataFolder(reason);
    if (!folder) {
        // The log has no folder yet, so this entry goes nowhere; it is written all the same.
        ErrorLog::write(
            L"Error:Failed to retrieve the common application data path due to the error [%ls].",
            reason.c_str());
        return false;
    }
    dataFolder_ = *folder;
    ErrorLog::setDirectory(wide(dataFolder_));
    return true;
}

bool StartUp::loadConfiguration() {
    const std::filesystem::path installation = host_.installationFolder();
    // The data folder is the user's own: at a first start the installation's setup file goes in.
    provisionSetupFile(wide(installation), wide(dataFolder_));
    if (configuration_.load(wide(installation / kFilesFolder / "config.xml"),
                            wide(dataFolder_ / kFilesFolder / "setup.dat"))) {
        return true;
    }
    ErrorLog::write(L"%ls", ErrorChain::firstMessage().c_str());
    ErrorChain::remove(kErrorOk);
    showFileProblem();
    return false;
}

bool StartUp::checkRegion() {
    std::wstring problem;
    if (configuration_.servesRegion(problem)) {
        return true;
    }
    ErrorLog::write(L"%ls", problem.c_str());
    showFileProblem();
    return false;
}

bool StartUp::copyInstallationId() {
    const StartUpHost::InstallationId id = host_.installationId();
    if (!id.keyOpened) {
        ErrorLog::write(L"Error:failed to retrieve the id.");
        showFileProblem();
        return false;
    }
    if (!id.value) {
        showFileProblem();
        return false;
    }
    // Whether the setup file takes it does not change the outcome of start-up.
    configuration_.storeInstallId(trimmed(*id.value));
    return true;
}

bool StartUp::takeInstance() {
    switch (host_.takeInstance()) {
        case StartUpHost::Instance::First:
            return true;
        case StartUpHost::Instance::AlreadyRuns:
            return false;
        case StartUpHost::Instance::Failed:
            break;
    }
    ErrorLog::write(L"Error:failed to create mutex.");
    return false;
}

void StartUp::showFileProblem() {
    host_.showFileProblem(StringTable::text(str::kFileMissing));
}

}  // namespace plugshift
