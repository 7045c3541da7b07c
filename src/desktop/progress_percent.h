#pragma once

#include <cstdint>
#include <optional>

namespace plugshift {

// The percent a running command's progress message stands for: done of total, or done itself
// when total is 0, truncated toward zero. Nothing when that lies off 0..100, so a report the bar
// cannot show leaves the shown percent as it is.
std::optional<int> progressPercent(uintptr_t done, intptr_t total);

}  // namespace plugshift
