#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plugshift {

// What start-up needs of the system it runs on; StartUp calls these in its fixed order.
class StartUpHost {
public:
    enum class Instance { First, AlreadyRuns, Failed };
    // The installation id as the system keeps it.
    struct InstallationId {
        // The key (or file) holding it could be opened and holds something.
        bool keyOpened = false;
        // The id's value; nothing when it is missing or not text.
        std::optional<std::wstring> value;
    };

    virtual ~StartUpHost() = default;

    // The product's shared data folder; nothing when the system has none (with the system's
    // reason in `reason`).
    virtual std::optional<std::filesystem::path> dataFolder(std::wstring& reason) = 0;
    // The installation's folder, whose data/ holds config.xml.
    virtual std::filesystem::path installationFolder() = 0;
    // Starts the task engine and the cable discovery; false when they cannot start.
    virtual bool startComponents() = 0;
    virtual InstallationId installationId() = 0;
    // Takes the single-instance lock; a second instance raises the first one's window.
    virtual Instance takeInstance() = 0;
    // Serves the consoles; the first instance only.
    virtual void listenForConsoles() = 0;
    virtual void showSplash(int milliseconds) = 0;
    // The configuration is damaged: the message (string 112) with the error icon, modal.
    virtual void showFileProblem(const std::wstring& text) = 0;
    // Runs the main window until it closes.
    virtual void runMainWindow() = 0;
};

}  // namespace plugshift
