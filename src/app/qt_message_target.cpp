#include "app/qt_message_target.h"

#include <QCoreApplication>

#include "tasks/event.h"

namespace plugshift {

std::shared_ptr<QtMessageTarget> QtMessageTarget::create(QObject* receiver) {
    std::shared_ptr<QtMessageTarget> target(new QtMessageTarget(receiver));
    // A weak pointer: the connection must not keep the target alive past its last holder.
    std::weak_ptr<QtMessageTarget> weak = target;
    QObject::connect(receiver, &QObject::destroyed, [weak] {
        if (const auto held = weak.lock()) {
            held->detach();
        }
    });
    return target;
}

bool QtMessageTarget::post(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return deliver(Message{id, wParam, lParam, Delivery::Posted});
}

bool QtMessageTarget::sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return deliver(Message{id, wParam, lParam, Delivery::Notified});
}

bool QtMessageTarget::isAlive() const {
    const std::lock_guard guard(lock_);
    return receiver_ != nullptr;
}

void QtMessageTarget::detach() {
    const std::lock_guard guard(lock_);
    receiver_ = nullptr;
}

bool QtMessageTarget::deliver(const Message& message) {
    // Held while posting, so the receiver cannot be destroyed between the check and the post;
    // postEvent only queues and never calls back into this object.
    const std::lock_guard guard(lock_);
    if (receiver_ == nullptr) {
        return false;
    }
    QCoreApplication::postEvent(receiver_, new AppMessageEvent(message));
    return true;
}

std::shared_ptr<MessageTarget> EventWindow::bind(Event& event, QObject* parent) {
    auto* window = new EventWindow(event, parent);
    return event.createEventWindow(window->target());
}

EventWindow::EventWindow(Event& event, QObject* parent)
    : QObject(parent), event_(event), target_(QtMessageTarget::create(this)) {}

EventWindow::~EventWindow() {
    target_->detach();
}

bool EventWindow::event(QEvent* event) {
    if (const auto* message = dynamic_cast<AppMessageEvent*>(event)) {
        event_.handleMessage(message->message());
        return true;
    }
    return QObject::event(event);
}

}  // namespace plugshift
