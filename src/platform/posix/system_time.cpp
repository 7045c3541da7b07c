#include "platform/system_time.h"

namespace plugshift {

bool localTime(std::time_t time, std::tm& local) {
    return ::localtime_r(&time, &local) != nullptr;
}

bool utcTime(std::time_t time, std::tm& utc) {
    return ::gmtime_r(&time, &utc) != nullptr;
}

int utcOffsetMinutes(std::time_t, const std::tm& local) {
    return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace plugshift
