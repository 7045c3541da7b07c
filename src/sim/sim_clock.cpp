#include "sim/sim_clock.h"

#include <algorithm>
#include <thread>

namespace plugshift {

void SimVirtualClock::sleepUntil(SimTime when) {
    now_ = std::max(now_, when);
}

SimRealClock::SimRealClock() : start_(std::chrono::steady_clock::now()) {}

SimTime SimRealClock::now() const {
    return std::chrono::steady_clock::now() - start_;
}

void SimRealClock::sleepUntil(SimTime when) {
    // A steady sleep may end early: MinGW's sleeps round down to whole milliseconds.
    while (now() < when) {
        std::this_thread::sleep_until(start_ + when);
    }
}

}  // namespace plugshift
