#include "log_capture.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"

namespace plugshift {

namespace fs = std::filesystem;

LogCapture::LogCapture() {
    static std::atomic<int> counter{0};
    folder_ = fs::temp_directory_path() /
              ("conv-log-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    ErrorLog::reset();
    ErrorChain::remove(kErrorOk);
    ErrorLog::setDirectory(fromUtf8(folder_.string()));
}

LogCapture::~LogCapture() {
    ErrorLog::reset();
    ErrorChain::remove(kErrorOk);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string LogCapture::text() const {
    std::ifstream in(folder_ / "log" / "err.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> LogCapture::messages() const {
    static const std::regex stamp(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] )");
    const std::string all = text();
    std::vector<std::string> out;
    auto begin = std::sregex_iterator(all.begin(), all.end(), stamp);
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        const size_t from = static_cast<size_t>(it->position() + it->length());
        auto next = std::next(it);
        const size_t to =
            next == std::sregex_iterator() ? all.size() : static_cast<size_t>(next->position());
        std::string message = all.substr(from, to - from);
        if (!message.empty() && message.back() == '\n') {
            message.pop_back();
        }
        out.push_back(message);
    }
    return out;
}

}  // namespace plugshift
