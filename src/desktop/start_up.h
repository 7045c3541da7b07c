#pragma once

#include <string>

#include "config/configuration.h"
#include "desktop/start_up_host.h"

namespace plugshift {

// Start-up in its fixed order over the system's host: data folder, configuration document,
// components, configuration, region, installation id, single instance, consoles, splash, main
// window. A step that fails ends start-up there with its log entry and, for the configuration
// steps, the message that the installation is damaged (string 112).
class StartUp {
public:
    // Where start-up stopped; Finished once the main window has closed.
    enum class Stage {
        NotStarted,
        DataFolder,
        Document,
        Components,
        Configuration,
        Region,
        InstallationId,
        SingleInstance,
        Splash,
        MainWindow,
        Finished,
    };

    static constexpr const wchar_t* kRegion = Configuration::kRegion;
    static constexpr int kSplashMs = 1000;

    StartUp(StartUpHost& host, Configuration& configuration)
        : host_(host), configuration_(configuration) {}

    // Runs every step; false when one failed (the stage says which), true once the main window
    // has closed.
    bool run();
    Stage stage() const { return stage_; }

private:
    bool findDataFolder();
    bool loadConfiguration();
    bool checkRegion();
    bool copyInstallationId();
    bool takeInstance();
    // The installation is damaged: string 112 with the error icon.
    void showFileProblem();

    StartUpHost& host_;
    Configuration& configuration_;
    Stage stage_ = Stage::NotStarted;
    std::filesystem::path dataFolder_;
};

}  // namespace plugshift
