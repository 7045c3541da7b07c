#include "tasks/event.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "recording_target.h"

namespace plugshift {
namespace {

using test::RecordingTarget;
using ::testing::ElementsAre;

class EventTest : public ::testing::Test {
protected:
    std::vector<std::string> journal;
    std::shared_ptr<RecordingTarget> a = std::make_shared<RecordingTarget>(&journal, "a");
    std::shared_ptr<RecordingTarget> b = std::make_shared<RecordingTarget>(&journal, "b");
    std::shared_ptr<RecordingTarget> c = std::make_shared<RecordingTarget>(&journal, "c");
    Event event;
};

TEST_F(EventTest, ListenersAreKeptOnceInTheOrderAdded) {
    EXPECT_FALSE(event.addListener(nullptr));
    EXPECT_TRUE(event.addListener(b));
    EXPECT_TRUE(event.addListener(a));
    EXPECT_TRUE(event.addListener(b));  // already listed: accepted, not added again
    EXPECT_EQ(event.listenerCount(), 2u);

    event.postToListeners(1327, 0, 2);
    EXPECT_THAT(journal, ElementsAre("b", "a"));
    ASSERT_EQ(a->messages().size(), 1u);
    const Message m = a->messages()[0];
    EXPECT_EQ(m.id, 1327u);
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 2);
    EXPECT_EQ(m.delivery, Delivery::Posted);
}

TEST_F(EventTest, RemovingAnUnlistedWindowChangesNothing) {
    event.addListener(a);
    event.addListener(b);
    event.removeListener(c.get());
    event.removeListener(nullptr);
    EXPECT_EQ(event.listenerCount(), 2u);

    event.removeListener(a.get());
    event.postToListeners(1125, 0, 0);
    EXPECT_THAT(journal, ElementsAre("b"));
}

TEST_F(EventTest, DeadListenersAreSkippedButStayListed) {
    event.addListener(a);
    event.addListener(b);
    event.addListener(c);
    b->setAlive(false);
    event.postToListeners(1125, 0, 0);
    EXPECT_THAT(journal, ElementsAre("a", "c"));
    EXPECT_EQ(event.listenerCount(), 3u);
    EXPECT_FALSE(event.addListener(nullptr));
    EXPECT_TRUE(event.addListener(b));
    EXPECT_EQ(event.listenerCount(), 3u);
}

TEST_F(EventTest, TheFirstWindowBoundStays) {
    EXPECT_EQ(event.createEventWindow(nullptr), nullptr);
    EXPECT_EQ(event.createEventWindow(a), a);
    EXPECT_EQ(event.createEventWindow(b), a);
    EXPECT_EQ(event.createEventWindow(nullptr), a);
    EXPECT_EQ(event.eventWindow(), a);
}

}  // namespace
}  // namespace plugshift
