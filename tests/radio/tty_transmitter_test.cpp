#include "radio/tty_transmitter.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

// The waits for a device's transmitter against a scripted driver: what the kernel still holds
// and what the adapter's status reports say, as time passes. Real time, in short spans.
namespace plugshift {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// 1 ms per byte keeps the line times readable.
constexpr auto kByteTime = milliseconds(1);
constexpr auto kStatusPeriod = milliseconds(10);
// How late a busy machine may wake a wait.
constexpr auto kSlack = milliseconds(60);

class ScriptedQueue : public TtyTransmitter::Queue {
public:
    using Unsent = std::function<std::optional<uint32_t>(Clock::duration)>;
    using Idle = std::function<std::optional<bool>(Clock::duration)>;

    ScriptedQueue(Unsent unsent, Idle idle) : unsent_(std::move(unsent)), idle_(std::move(idle)) {}

    std::optional<uint32_t> unsent() override { return unsent_(Clock::now() - start_); }
    std::optional<bool> adapterIdle() override { return idle_(Clock::now() - start_); }
    void discardUnsent() override { ++discards; }

    int discards = 0;

private:
    Clock::time_point start_ = Clock::now();
    Unsent unsent_;
    Idle idle_;
};

// Until `at`, the kernel holds bytes (one fewer per byte time) / the adapter is busy; then not.
ScriptedQueue::Unsent kernelEmptyAt(Clock::duration at) {
    return [at](Clock::duration t) -> std::optional<uint32_t> {
        return t < at ? static_cast<uint32_t>((at - t) / kByteTime) + 1 : 0;
    };
}
ScriptedQueue::Idle adapterIdleFrom(Clock::duration at) {
    return [at](Clock::duration t) -> std::optional<bool> { return t >= at; };
}
std::optional<uint32_t> unknownCount(Clock::duration) {
    return std::nullopt;
}
std::optional<bool> unknownIdle(Clock::duration) {
    return std::nullopt;
}

TEST(TtyTransmitterTest, AWriteEndsWhenTheAdapterHasSentItsLastByteOrFailsAtItsDeadline) {
    struct Case {
        const char* what;
        ScriptedQueue::Unsent unsent;
        ScriptedQueue::Idle idle;
        bool sent;
        Clock::duration earliest;  // the write's own line time is 20 ms, its deadline 150 ms
        Clock::duration latest;
    };
    const Case cases[] = {
        {"kernel and adapter drain", kernelEmptyAt(milliseconds(15)),
         adapterIdleFrom(milliseconds(40)), true, milliseconds(40), milliseconds(40) + kSlack},
        // A report from before the adapter got the last bytes says idle: not trusted.
        {"stale idle report", kernelEmptyAt(milliseconds(15)), adapterIdleFrom(milliseconds(0)),
         true, milliseconds(15) + kStatusPeriod, milliseconds(25) + kSlack},
        // Nothing faster than the line: 20 bytes take 20 ms even when the driver says done.
        {"line time is the floor", kernelEmptyAt(milliseconds(0)), adapterIdleFrom(milliseconds(0)),
         true, milliseconds(20), milliseconds(20) + kSlack},
        {"a driver that cannot tell", unknownCount, unknownIdle, true, milliseconds(20),
         milliseconds(20) + kSlack},
        // The waits tcdrain would make for ever end at the deadline.
        {"kernel queue stuck", kernelEmptyAt(milliseconds(100000)),
         adapterIdleFrom(milliseconds(0)), false, milliseconds(150), milliseconds(150) + kSlack},
        {"adapter never idle", kernelEmptyAt(milliseconds(0)),
         adapterIdleFrom(milliseconds(100000)), false, milliseconds(150),
         milliseconds(150) + kSlack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedQueue queue(c.unsent, c.idle);
        TtyTransmitter transmitter(&queue, kStatusPeriod);
        transmitter.setByteTime(kByteTime);
        const auto start = Clock::now();
        transmitter.queued(20);
        EXPECT_EQ(transmitter.finish(start + milliseconds(150)), c.sent);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, c.earliest);
        EXPECT_LT(took, c.latest);
        // Only a cut frame drops the kernel's bytes.
        EXPECT_EQ(queue.discards, c.sent ? 0 : 1);
    }
}

// After a cut frame, what the adapter still holds goes out; the next frame waits for that and
// for the radio to drop the cut one, and no longer.
TEST(TtyTransmitterTest, TheFrameAfterACutOneWaitsForTheResidueAndTheRadiosGap) {
    struct Case {
        const char* what;
        ScriptedQueue::Idle idle;  // from the cut on
        Clock::duration wait;      // after the cut, before the next frame may start
    };
    // 30 bytes were written; their line time (30 ms) bounds the residue.
    const Case cases[] = {
        {"adapter reports idle at once", adapterIdleFrom(milliseconds(0)),
         kStatusPeriod + kFrameAbandonGap},
        {"adapter idle after 25 ms", adapterIdleFrom(milliseconds(25)),
         milliseconds(25) + kFrameAbandonGap},
        {"cannot tell", unknownIdle, milliseconds(30) + kStatusPeriod + kFrameAbandonGap},
        {"adapter stuck", adapterIdleFrom(milliseconds(100000)),
         milliseconds(30) + kStatusPeriod + kFrameAbandonGap},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedQueue queue(kernelEmptyAt(milliseconds(100000)), c.idle);
        TtyTransmitter transmitter(&queue, kStatusPeriod);
        transmitter.setByteTime(kByteTime);
        transmitter.queued(30);
        transmitter.cut();
        const auto cut = Clock::now();
        transmitter.awaitLineReady();
        const auto waited = Clock::now() - cut;
        EXPECT_GE(waited, c.wait - milliseconds(1));
        EXPECT_LT(waited, c.wait + kSlack);
        EXPECT_EQ(queue.discards, 1);
        // Once is enough: the frame after that starts at once.
        const auto again = Clock::now();
        transmitter.awaitLineReady();
        EXPECT_LT(Clock::now() - again, milliseconds(5));
    }
}

TEST(TtyTransmitterTest, AFrameLongAfterACutOneStartsAtOnce) {
    ScriptedQueue queue(kernelEmptyAt(milliseconds(0)), adapterIdleFrom(milliseconds(0)));
    TtyTransmitter transmitter(&queue, kStatusPeriod);
    transmitter.setByteTime(kByteTime);
    transmitter.queued(10);
    transmitter.cut();
    std::this_thread::sleep_for(milliseconds(10) + kStatusPeriod + kFrameAbandonGap);
    const auto start = Clock::now();
    transmitter.awaitLineReady();
    EXPECT_LT(Clock::now() - start, milliseconds(5));
}

// The other end of a pseudo-terminal has every byte at once: nothing is ever cut, and the line
// time is waited out only up to the deadline.
TEST(TtyTransmitterTest, APseudoTerminalWaitsTheLineTimeUpToTheDeadlineAndNeverFails) {
    TtyTransmitter transmitter(nullptr, kStatusPeriod);
    transmitter.setByteTime(kByteTime);
    auto start = Clock::now();
    transmitter.queued(30);
    EXPECT_TRUE(transmitter.finish(start + milliseconds(150)));
    EXPECT_GE(Clock::now() - start, milliseconds(30));
    EXPECT_LT(Clock::now() - start, milliseconds(30) + kSlack);

    start = Clock::now();
    transmitter.queued(200);
    EXPECT_TRUE(transmitter.finish(start + milliseconds(50)));
    EXPECT_GE(Clock::now() - start, milliseconds(50));
    EXPECT_LT(Clock::now() - start, milliseconds(50) + kSlack);
    // The bytes are still on the line for whatever comes next.
    EXPECT_GT(transmitter.lineFreeAt(), Clock::now() + milliseconds(100));
}

}  // namespace
}  // namespace plugshift
