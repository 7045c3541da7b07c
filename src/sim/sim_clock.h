#pragma once

#include <chrono>

namespace plugshift {

// Time on the simulated line, from the clock's own start.
using SimTime = std::chrono::nanoseconds;

// Where the simulated line takes its time from: a virtual clock that jumps to whatever moment
// is waited for (deterministic and instant, for tests), or the steady clock (pacing, a pty).
class SimClock {
public:
    virtual ~SimClock() = default;
    virtual SimTime now() const = 0;
    virtual void sleepUntil(SimTime when) = 0;
};

class SimVirtualClock : public SimClock {
public:
    SimTime now() const override { return now_; }
    void sleepUntil(SimTime when) override;

private:
    SimTime now_{0};
};

class SimRealClock : public SimClock {
public:
    SimRealClock();
    SimTime now() const override;
    void sleepUntil(SimTime when) override;

private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace plugshift
