#pragma once

#include <cstdint>

namespace plugshift {

// Numbers of the messages the threads exchange. They are kept as the radio tool has always used
// them: the Qt application turns each into an event type of the same number.
inline constexpr uint32_t kMsgTaskEnded =
    1125;  // worker -> Task (lParam = result); Task -> listeners
inline constexpr uint32_t kMsgProgress = 1126;        // command -> its window; wParam = position
inline constexpr uint32_t kMsgCommandStarted = 1224;  // command -> its window when run starts
inline constexpr uint32_t kMsgCommandEnded = 1225;    // command -> its window when run ends
inline constexpr uint32_t kMsgCableState = 1327;      // radio manager -> listeners; lParam = cables

}  // namespace plugshift
