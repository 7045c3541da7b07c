#include "cli/next_command.h"

#include <utility>

#include "platform/process_environment.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

constexpr const char* kProgram = "plugshift-cli";

}  // namespace

NextCommand::NextCommand(const BackendOptions& backend, const InstallPaths& paths,
                         std::vector<std::string> finish)
    : finish_(std::move(finish)) {
    if (backend.simulate) {
        options_.push_back(BackendOptions::kSimulate);
    } else if (!backend.port.empty()) {
        options_.insert(options_.end(), {BackendOptions::kPort, backend.port});
    }
    // Absolute: the command may be run from another folder.
    options_.insert(options_.end(),
                    {"--data-dir", utf8FromPath(std::filesystem::absolute(paths.dataDir)),
                     "--install-dir", utf8FromPath(std::filesystem::absolute(paths.installDir))});
}

std::string NextCommand::finish() const {
    return line(finish_);
}

std::string NextCommand::restore(const std::filesystem::path& backup) const {
    return line({"restore-personality", utf8FromPath(backup)});
}

std::string NextCommand::line(const std::vector<std::string>& words) const {
    std::string text = kProgram;
    for (const std::vector<std::string>* part : {&words, &options_}) {
        for (const std::string& word : *part) {
            text += " " + shellQuoted(word);
        }
    }
    return text;
}

}  // namespace plugshift
