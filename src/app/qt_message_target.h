#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <memory>
#include <mutex>

#include "tasks/message_target.h"

namespace plugshift {

class Event;

// A message of the task engine as a Qt event: its type is the message number.
class AppMessageEvent : public QEvent {
public:
    explicit AppMessageEvent(const Message& message)
        : QEvent(static_cast<QEvent::Type>(message.id)), message_(message) {}

    const Message& message() const { return message_; }

private:
    Message message_;
};

// A MessageTarget that delivers to a QObject of the user-interface thread by posting Qt events.
// Worker and poll threads call it while the receiver may be going away, so whether it lives is a
// flag under a lock, cleared by the receiver's destroyed signal; a QPointer read from another
// thread would race with that.
class QtMessageTarget : public MessageTarget {
public:
    static std::shared_ptr<QtMessageTarget> create(QObject* receiver);

    bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool isAlive() const override;

    // Refuses later messages; the receiver calls it when it stops wanting them.
    void detach();

private:
    explicit QtMessageTarget(QObject* receiver) : receiver_(receiver) {}
    bool deliver(const Message& message);

    mutable std::mutex lock_;
    QObject* receiver_;  // null once detached or destroyed
};

// The Qt window of a task-engine Event (the Task, the RadioManager): messages posted to
// target() reach event.handleMessage on the thread that owns this object.
class EventWindow : public QObject {
    Q_OBJECT
public:
    // Binds the window to the event (Event::createEventWindow) and returns what it bound.
    static std::shared_ptr<MessageTarget> bind(Event& event, QObject* parent);

    EventWindow(Event& event, QObject* parent);
    ~EventWindow() override;

    const std::shared_ptr<QtMessageTarget>& target() const { return target_; }

protected:
    bool event(QEvent* event) override;

private:
    Event& event_;
    std::shared_ptr<QtMessageTarget> target_;
};

}  // namespace plugshift
