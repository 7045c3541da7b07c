#include "cli/frame_trace.h"

#include "platform/system_files.h"
#include "radio/frame_event.h"
#include "radio/sbep.h"

namespace plugshift {

bool FrameTrace::open(const std::string& path, std::string& error) {
    file_.open(pathFromUtf8(path), std::ios::out | std::ios::trunc);
    if (!file_) {
        error = "Cannot write the trace file " + path;
        return false;
    }
    return true;
}

void FrameTrace::attach(SBEP& sbep) {
    sbep.setFrameObserver([this](const FrameEvent& event) {
        const std::string line = formatFrameLine(event);
        std::lock_guard guard(lock_);
        file_ << line << '\n';
        file_.flush();
    });
}

}  // namespace plugshift
