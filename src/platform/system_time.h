#pragma once

#include <ctime>

namespace plugshift {

// The thread-safe calendar conversions, which the two systems name differently.
bool localTime(std::time_t time, std::tm& local);
bool utcTime(std::time_t time, std::tm& utc);
// Minutes east of UTC of the local time `local` that `time` converted to.
int utcOffsetMinutes(std::time_t time, const std::tm& local);

}  // namespace plugshift
