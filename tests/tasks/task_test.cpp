#include "tasks/task.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "recording_target.h"
#include "scripted_command.h"
#include "tasks/messages.h"

namespace plugshift {
namespace {

using test::Gate;
using test::RecordingTarget;
using test::ScriptedCommand;

// The test's thread plays the user-interface thread: it takes the worker's notice from the Task's
// window and hands it to the Task, as the event loop would.
class TaskTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        task.createEventWindow(taskWindow);
        task.addListener(listener);
    }
    void TearDown() override { ErrorChain::remove(0); }

    // Waits for the worker's end notice, checks its form and lets the Task handle it.
    intptr_t finishRun() {
        EXPECT_TRUE(taskWindow->waitFor(handled + 1));
        const Message notice = taskWindow->messages().at(handled++);
        EXPECT_EQ(notice.id, kMsgTaskEnded);
        EXPECT_EQ(notice.wParam, 0u);
        EXPECT_EQ(notice.delivery, Delivery::Notified);
        task.handleMessage(notice);
        return notice.lParam;
    }

    std::shared_ptr<RecordingTarget> taskWindow = std::make_shared<RecordingTarget>();
    size_t handled = 0;  // notices of the Task's window handed to the Task so far
    std::shared_ptr<RecordingTarget> listener = std::make_shared<RecordingTarget>();
    Task task;
};

enum class Answer { True, False, Throw, ThrowOther };

bool answer(Answer a) {
    switch (a) {
        case Answer::True:
            return true;
        case Answer::False:
            return false;
        case Answer::Throw:
            throw std::runtime_error("bad cable state");
        case Answer::ThrowOther:
            throw 7;
    }
    return false;
}

TEST_F(TaskTest, RunStopsAtTheFirstFailureAndReportsWhereItStopped) {
    struct Case {
        std::vector<Answer> answers;
        std::vector<int> runs;
        intptr_t result;
        const wchar_t* record;  // what a thrown exception leaves in the chain
    };
    const Case cases[] = {
        {{Answer::True, Answer::True}, {1, 1}, 2, nullptr},
        {{Answer::False, Answer::True}, {1, 0}, 0, nullptr},
        {{Answer::True, Answer::False, Answer::True}, {1, 1, 0}, 1, nullptr},
        {{Answer::True, Answer::Throw, Answer::True},
         {1, 1, 0},
         1,
         L"Error:command stopped by an exception (bad cable state)."},
        {{Answer::ThrowOther, Answer::True},
         {1, 0},
         0,
         L"Error:command stopped by an exception (unknown)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.runs));
        std::vector<std::unique_ptr<ScriptedCommand>> commands;
        task.clearCommands();
        for (Answer a : c.answers) {
            commands.push_back(std::make_unique<ScriptedCommand>([a] { return answer(a); }));
            task.addCommand(commands.back().get());
        }
        listener->clear();

        ASSERT_TRUE(task.start());
        EXPECT_EQ(finishRun(), c.result);

        EXPECT_FALSE(task.isRunning());
        for (size_t i = 0; i < commands.size(); ++i) {
            EXPECT_EQ(commands[i]->runs, c.runs[i]) << "command " << i;
            // Only a throw is the Task's to record; a false answer leaves ok to the command.
            const bool threw = c.answers[i] == Answer::Throw || c.answers[i] == Answer::ThrowOther;
            EXPECT_EQ(commands[i]->ok, !threw) << "command " << i;
        }
        // The listeners hear of the end, but not of the result.
        ASSERT_EQ(listener->messages().size(), 1u);
        const Message heard = listener->messages()[0];
        EXPECT_EQ(heard.id, kMsgTaskEnded);
        EXPECT_EQ(heard.wParam, 0u);
        EXPECT_EQ(heard.lParam, 0);
        EXPECT_EQ(heard.delivery, Delivery::Posted);
        if (c.record == nullptr) {
            EXPECT_TRUE(ErrorChain::records().empty());
        } else {
            ASSERT_EQ(ErrorChain::records().size(), 1u);
            EXPECT_EQ(ErrorChain::firstCategory(), kErrorOther);
            EXPECT_EQ(ErrorChain::firstMessage(), c.record);
        }
        ErrorChain::remove(0);
    }
}

TEST_F(TaskTest, EmptyListStartsNothing) {
    EXPECT_FALSE(task.start());
    EXPECT_FALSE(task.isRunning());
    EXPECT_TRUE(taskWindow->messages().empty());
}

TEST_F(TaskTest, StartIsRefusedUntilTheEndOfTheRunHasBeenHandled) {
    Gate gate;
    ScriptedCommand held([&] { return gate.pass(); });
    ScriptedCommand other;
    task.addCommand(&held);
    ASSERT_TRUE(task.start());
    gate.waitUntilEntered();

    EXPECT_TRUE(task.isRunning());
    task.clearCommands();
    task.addCommand(&other);
    EXPECT_FALSE(task.start());

    gate.release();
    // The worker has finished once its notice is out, but the run lasts until the notice has
    // been handled: a start now would race the pending notice for the new worker.
    ASSERT_TRUE(taskWindow->waitFor(1));
    EXPECT_TRUE(task.isRunning());
    EXPECT_FALSE(task.start());
    EXPECT_EQ(finishRun(), 1);
    EXPECT_EQ(other.runs, 0);

    ASSERT_TRUE(task.start());
    EXPECT_EQ(finishRun(), 1);
    EXPECT_EQ(other.runs, 1);
    EXPECT_EQ(listener->messages().size(), 2u);
}

TEST_F(TaskTest, CancelStopsBeforeTheNextCommandAndDoesNotOutliveTheRun) {
    Gate gate;
    ScriptedCommand held([&] { return gate.pass(); });
    ScriptedCommand next;
    task.addCommand(&held);
    task.addCommand(&next);
    ASSERT_TRUE(task.start());
    gate.waitUntilEntered();
    task.cancel();
    gate.release();
    // The command under way finishes; the one after it is not started.
    EXPECT_EQ(finishRun(), 1);
    EXPECT_EQ(held.runs, 1);
    EXPECT_EQ(next.runs, 0);

    // A cancel between runs is not left over to stop the next one.
    task.cancel();
    task.clearCommands();
    task.addCommand(&next);
    ASSERT_TRUE(task.start());
    EXPECT_EQ(finishRun(), 1);
    EXPECT_EQ(next.runs, 1);
}

TEST_F(TaskTest, WithoutAWindowTheRunStillHappensAndTheTaskCanStartAgain) {
    Task bare;
    ScriptedCommand first;
    Gate gate;
    ScriptedCommand second([&] { return gate.pass(); });
    bare.addCommand(&first);
    ASSERT_TRUE(bare.start());
    // No notice can come, so an ended worker does not count as a run under way.
    bare.clearCommands();
    bare.addCommand(&second);
    while (!bare.start()) {
        std::this_thread::yield();
    }
    gate.waitUntilEntered();
    EXPECT_EQ(first.runs, 1);
    EXPECT_TRUE(bare.isRunning());
    gate.release();
}

TEST_F(TaskTest, DestroyingTheTaskWaitsForTheCommandUnderWay) {
    auto doomed = std::make_unique<Task>();
    Gate gate;
    std::atomic<bool> finished{false};
    ScriptedCommand held([&] {
        gate.pass();
        finished = true;
        return true;
    });
    doomed->addCommand(&held);
    ASSERT_TRUE(doomed->start());
    gate.waitUntilEntered();
    std::thread releaser([&] { gate.release(); });
    doomed.reset();
    EXPECT_TRUE(finished);
    releaser.join();
}

}  // namespace
}  // namespace plugshift
