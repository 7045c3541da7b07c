#include "tasks/task_waiter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "recording_target.h"
#include "scripted_command.h"
#include "tasks/messages.h"

namespace plugshift {
namespace {

using test::Gate;
using test::RecordingTarget;
using test::ScriptedCommand;
using ::testing::ElementsAre;

// The command line's arrangement: one loop serves the Task's window and the main window that
// commands report to, and the waiter runs it while the command works.
class TaskWaiterTest : public ::testing::Test {
protected:
    void SetUp() override { task.createEventWindow(taskWindow); }
    void TearDown() override {
        taskWindow->destroy();
        mainWindow->destroy();
    }

    // Lets the loop hand the Task its end notice.
    void finishRunOutsideTheWaiter() {
        loop.runUntil([&] { return !task.isRunning(); });
    }

    MessageLoop loop;
    Task task;
    std::shared_ptr<LoopWindow> taskWindow =
        loop.createWindow([this](const Message& m) { return task.handleMessage(m); });
    std::vector<uint32_t> reported;
    std::shared_ptr<LoopWindow> mainWindow = loop.createWindow([this](const Message& m) {
        reported.push_back(m.id);
        return intptr_t{0};
    });
};

TEST_F(TaskWaiterTest, RunReturnsAfterTheCommandWithItsReportsHandled) {
    ScriptedCommand command([this] {
        mainWindow->post(kMsgCommandStarted, 0, 0);
        mainWindow->sendNotify(kMsgProgress, 50, 0);
        mainWindow->post(kMsgCommandEnded, 0, 0);
        return false;
    });
    TaskWaiter waiter(task);
    EXPECT_TRUE(waiter.run(&command, loop));

    EXPECT_EQ(command.runs, 1);
    EXPECT_THAT(reported, ElementsAre(kMsgCommandStarted, kMsgProgress, kMsgCommandEnded));
    // Gone without a trace: no run, no listener, an empty list.
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(task.listenerCount(), 0u);
    EXPECT_EQ(task.clearCommands(), 0u);
    EXPECT_EQ(loop.dispatchPending(), 0u);
}

TEST_F(TaskWaiterTest, RunIsRefusedWhileAnotherRunIsUnderWay) {
    Gate gate;
    ScriptedCommand held([&] { return gate.pass(); });
    ScriptedCommand refused;
    task.addCommand(&held);
    ASSERT_TRUE(task.start());
    gate.waitUntilEntered();

    TaskWaiter waiter(task);
    EXPECT_FALSE(waiter.run(&refused, loop));
    EXPECT_EQ(refused.runs, 0);
    EXPECT_EQ(task.listenerCount(), 0u);

    gate.release();
    finishRunOutsideTheWaiter();
    EXPECT_EQ(refused.runs, 0);
    EXPECT_EQ(held.runs, 1);
}

TEST_F(TaskWaiterTest, NothingToRunDoesNotWaitForever) {
    TaskWaiter waiter(task);
    EXPECT_TRUE(waiter.run(nullptr, loop));
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(task.listenerCount(), 0u);
}

// The dialog's side: it opens with its own window, closes on the Task's notice, and lets go.
TEST_F(TaskWaiterTest, DialogContract) {
    auto dialog = std::make_shared<RecordingTarget>();
    auto second = std::make_shared<RecordingTarget>();
    ScriptedCommand first;
    Gate gate;
    ScriptedCommand held([&] { return gate.pass(); });
    ScriptedCommand other;

    TaskWaiter waiter(task);
    waiter.addCommand(nullptr);
    waiter.addCommand(&held);
    waiter.addCommand(&first);
    EXPECT_EQ(waiter.open(dialog), TaskWaiter::Opening::Started);
    gate.waitUntilEntered();

    TaskWaiter late(task);
    late.addCommand(&other);
    EXPECT_EQ(late.open(second), TaskWaiter::Opening::Refused);
    late.close();

    gate.release();
    finishRunOutsideTheWaiter();
    ASSERT_EQ(dialog->messages().size(), 1u);
    EXPECT_TRUE(TaskWaiter::endsWait(dialog->messages()[0]));
    EXPECT_FALSE(TaskWaiter::endsWait({kMsgProgress, 0, 0}));
    EXPECT_TRUE(second->messages().empty());
    EXPECT_EQ(first.runs, 1);
    EXPECT_EQ(other.runs, 0);

    waiter.close();
    EXPECT_EQ(task.listenerCount(), 0u);
    EXPECT_EQ(task.clearCommands(), 0u);
}

}  // namespace
}  // namespace plugshift
