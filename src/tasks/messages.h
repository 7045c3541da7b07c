#pragma once

#include <cstdint>

namespace plugshift {

// Messages between the threads; the Qt application uses the same numbers as its event types.

// The run has ended: worker -> Task with lParam = result; Task -> its listeners with 0, 0.
inline constexpr uint32_t kMsgTaskEnded = 1125;
// Progress of a running command to the window it reports to; wParam = position.
inline constexpr uint32_t kMsgProgress = 1126;
// A command's run has started / ended, to the window it reports to.
inline constexpr uint32_t kMsgCommandStarted = 1224;
inline constexpr uint32_t kMsgCommandEnded = 1225;
// Cable state from the radio manager to its listeners; lParam = cables, plus one while connected.
inline constexpr uint32_t kMsgCableState = 1327;

}  // namespace plugshift
