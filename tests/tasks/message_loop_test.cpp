#include "tasks/message_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace plugshift {
namespace {

using namespace std::chrono_literals;

// Only a bound against a hang; every wait ends as soon as its messages are there.
constexpr auto kHangLimit = 30s;

TEST(MessageLoopTest, MessagesFromOtherThreadsArriveInEachSendersOrder) {
    MessageLoop loop;
    std::vector<Message> got;
    auto window = loop.createWindow([&](const Message& m) {
        got.push_back(m);
        return intptr_t{0};
    });
    constexpr int kEach = 200;
    // Sender 1 posts, sender 2 sends notifications; wParam numbers each sender's messages.
    std::thread poster([&] {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_TRUE(window->post(1, i, 0));
        }
    });
    std::thread notifier([&] {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_TRUE(window->sendNotify(2, i, -1));
        }
    });
    EXPECT_TRUE(loop.runUntil([&] { return got.size() == 2 * kEach; }, kHangLimit));
    poster.join();
    notifier.join();

    uintptr_t next[3] = {0, 0, 0};
    for (const Message& m : got) {
        ASSERT_TRUE(m.id == 1 || m.id == 2);
        EXPECT_EQ(m.wParam, next[m.id]++);
        EXPECT_EQ(m.delivery, m.id == 1 ? Delivery::Posted : Delivery::Notified);
        EXPECT_EQ(m.lParam, m.id == 1 ? 0 : -1);
    }
    EXPECT_EQ(loop.dispatchPending(), 0u);
}

TEST(MessageLoopTest, ADestroyedWindowGetsNothingMore) {
    MessageLoop loop;
    int toGone = 0;
    int toKept = 0;
    auto gone = loop.createWindow([&](const Message&) { return intptr_t{++toGone}; });
    auto kept = loop.createWindow([&](const Message&) { return intptr_t{++toKept}; });
    EXPECT_TRUE(gone->post(1, 0, 0));
    EXPECT_TRUE(kept->post(1, 0, 0));
    gone->destroy();

    EXPECT_FALSE(gone->isAlive());
    EXPECT_FALSE(gone->post(1, 0, 0));
    EXPECT_FALSE(gone->sendNotify(1, 0, 0));
    EXPECT_EQ(loop.dispatchPending(), 2u);
    EXPECT_EQ(toGone, 0);  // queued before the window went, dropped all the same
    EXPECT_EQ(toKept, 1);
    EXPECT_TRUE(kept->isAlive());
}

TEST(MessageLoopTest, WindowsOutlivingTheirLoopRefuseMessages) {
    std::shared_ptr<LoopWindow> orphan;
    {
        MessageLoop loop;
        orphan = loop.createWindow([](const Message&) { return intptr_t{0}; });
        EXPECT_TRUE(orphan->post(1, 0, 0));
    }
    EXPECT_FALSE(orphan->isAlive());
    EXPECT_FALSE(orphan->post(1, 0, 0));
}

TEST(MessageLoopTest, HandlersMayRunTheirOwnLoop) {
    MessageLoop loop;
    std::vector<int> order;
    std::shared_ptr<LoopWindow> inner = loop.createWindow([&](const Message& m) {
        order.push_back(static_cast<int>(m.wParam));
        return intptr_t{0};
    });
    auto outer = loop.createWindow([&](const Message& m) {
        order.push_back(static_cast<int>(m.wParam));
        inner->post(0, 3, 0);
        loop.runUntil([&] { return order.size() == 3; });  // takes 2, queued behind us, then 3
        return intptr_t{0};
    });
    outer->post(0, 1, 0);
    inner->post(0, 2, 0);
    EXPECT_EQ(loop.dispatchPending(), 1u);  // the nested loop handed over the second one
    EXPECT_THAT(order, ::testing::ElementsAre(1, 2, 3));
}

TEST(MessageLoopTest, ABoundedWaitGivesUpWhenNothingComes) {
    MessageLoop loop;
    EXPECT_FALSE(loop.runUntil([] { return false; }, 1ms));
    EXPECT_TRUE(loop.runUntil([] { return true; }, 0ms));
}

}  // namespace
}  // namespace plugshift
