#include "radio/frame_event.h"

#include <cstdio>
#include <ctime>

#include "platform/system_time.h"

namespace plugshift {

std::string formatFrameLine(const FrameEvent& event) {
    using namespace std::chrono;
    const auto whole = floor<seconds>(event.time);
    const std::time_t since = system_clock::to_time_t(whole);
    const auto millis = duration_cast<milliseconds>(event.time - whole).count();
    std::tm local{};
    localTime(since, local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    std::string line = stamp;
    line += event.direction == FrameDirection::kSent ? " TX" : " RX";
    if (event.bytes.empty()) {
        return line + " (nothing)";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (uint8_t byte : event.bytes) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

}  // namespace plugshift
