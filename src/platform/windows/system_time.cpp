#include "platform/system_time.h"

namespace plugshift {

bool localTime(std::time_t time, std::tm& local) {
    return ::localtime_s(&local, &time) == 0;
}

bool utcTime(std::time_t time, std::tm& utc) {
    return ::gmtime_s(&utc, &time) == 0;
}

int utcOffsetMinutes(std::time_t time, const std::tm& local) {
    // The local fields read as if they were UTC, less the real instant.
    std::tm fields = local;
    const std::time_t asUtc = ::_mkgmtime(&fields);
    return asUtc == static_cast<std::time_t>(-1) ? 0 : static_cast<int>((asUtc - time) / 60);
}

}  // namespace plugshift
