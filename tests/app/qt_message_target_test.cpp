// The bridge between the task engine's threads and Qt: messages arrive in order as events of
// their own number, a target whose receiver is gone refuses them, and a worker that keeps
// posting while the receiver is destroyed neither crashes nor reaches it afterwards.

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/task_dialog.h"
#include "tasks/command.h"
#include "tasks/messages.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

class Receiver : public QObject {
public:
    std::vector<Message> received;

protected:
    bool event(QEvent* event) override {
        if (const auto* message = dynamic_cast<AppMessageEvent*>(event)) {
            received.push_back(message->message());
            return true;
        }
        return QObject::event(event);
    }
};

// Runs on the Task's worker until released, so the test can act while it runs.
class HeldCommand : public Command {
public:
    std::atomic<bool> release{false};
    std::atomic<bool> ran{false};
    bool run() override {
        ran = true;
        while (!release) {
            std::this_thread::yield();
        }
        return true;
    }
};

}  // namespace

class QtMessageTargetTest : public QObject {
    Q_OBJECT
private slots:
    void deliversInOrderAsEventsOfTheirNumber() {
        Receiver receiver;
        const auto target = QtMessageTarget::create(&receiver);
        QVERIFY(target->post(kMsgCommandStarted, 0, 0));
        std::thread worker([&] { target->sendNotify(kMsgProgress, 40, 100); });
        worker.join();
        QVERIFY(target->post(kMsgCommandEnded, 0, -1));
        QCoreApplication::sendPostedEvents(&receiver);
        QCOMPARE(receiver.received.size(), size_t{3});
        QCOMPARE(receiver.received[0].id, kMsgCommandStarted);
        QCOMPARE(receiver.received[1].id, kMsgProgress);
        QCOMPARE(receiver.received[1].wParam, uintptr_t{40});
        QCOMPARE(receiver.received[1].lParam, intptr_t{100});
        QCOMPARE(receiver.received[1].delivery, Delivery::Notified);
        QCOMPARE(receiver.received[2].lParam, intptr_t{-1});
    }

    void refusesOnceTheReceiverIsGone() {
        auto* receiver = new Receiver;
        const auto target = QtMessageTarget::create(receiver);
        QVERIFY(target->isAlive());
        delete receiver;
        QVERIFY(!target->isAlive());
        QVERIFY(!target->post(kMsgProgress, 1, 0));
        QVERIFY(!target->sendNotify(kMsgProgress, 1, 0));
    }

    void workerPostingWhileTheReceiverIsDestroyed() {
        for (int round = 0; round < 20; ++round) {
            auto* receiver = new Receiver;
            const auto target = QtMessageTarget::create(receiver);
            std::atomic<bool> started{false};
            std::atomic<int> refused{0};
            std::thread worker([&] {
                started = true;
                for (int i = 0; i < 2000; ++i) {
                    refused += target->sendNotify(kMsgProgress, uintptr_t(i), 0) ? 0 : 1;
                }
            });
            while (!started) {
                std::this_thread::yield();
            }
            delete receiver;
            worker.join();
            QCoreApplication::sendPostedEvents();
            QVERIFY(!target->isAlive());
        }
    }

    // The Please wait window stays up while its command runs, whatever the user presses, and
    // closes by itself once the Task announces the end.
    void pleaseWaitClosesOnlyWhenTheRunEnds() {
        Task task;
        QObject windows;
        EventWindow::bind(task, &windows);
        HeldCommand command;
        TaskDialog dialog(task);
        dialog.addCommand(&command);
        QCOMPARE(dialog.message(), QtStrings::text(str::kPleaseWait));
        bool stayedUp = false;
        QTimer::singleShot(0, &dialog, [&] {
            QTRY_VERIFY(command.ran);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::keyClick(&dialog, Qt::Key_Return);
            dialog.close();
            stayedUp = dialog.isVisible();
            command.release = true;
        });
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(stayedUp);
        QVERIFY(!task.isRunning());
        QCOMPARE(task.listenerCount(), size_t{0});
    }

    // A second window while a run is under way closes at once without running its command.
    void pleaseWaitRefusedDuringAnotherRun() {
        Task task;
        QObject windows;
        EventWindow::bind(task, &windows);
        HeldCommand first;
        task.addCommand(&first);
        QVERIFY(task.start());
        HeldCommand second;
        TaskDialog dialog(task);
        dialog.addCommand(&second);
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(!second.ran);
        first.release = true;
        QTRY_VERIFY(!task.isRunning());
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::QtMessageTargetTest)
#include "qt_message_target_test.moc"
