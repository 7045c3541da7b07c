#include "app/console_server.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

namespace plugshift {

ConsoleServer::ConsoleServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &ConsoleServer::accept);
}

ConsoleServer::~ConsoleServer() {
    close();
}

bool ConsoleServer::listen(const QString& path) {
    server_->close();
    // Only the instance that holds the lock gets here, so nobody else uses the socket.
    QLocalServer::removeServer(path);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    return server_->listen(path);
}

void ConsoleServer::close() {
    server_->close();
    for (auto& [socket, handle] : handles_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    handles_.clear();
}

QString ConsoleServer::path() const {
    return server_->fullServerName();
}

void ConsoleServer::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        handles_[socket] = 0;
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            handles_.erase(socket);
            socket->deleteLater();
        });
    }
}

void ConsoleServer::read(QLocalSocket* socket) {
    if (handles_.find(socket) == handles_.end()) {
        return;  // already gone
    }
    while (socket->canReadLine()) {
        const QByteArray raw = socket->readLine(ConsoleMessage::kMaxLineLength + 2);
        if (!raw.endsWith('\n')) {
            socket->abort();  // no message is that long: not a console
            return;
        }
        Pending pending{socket, {}, false};
        if (auto message = ConsoleMessage::parse(raw.trimmed().toStdString())) {
            pending.message = *message;
            pending.valid = true;
            int64_t& handle = handles_[socket];
            if (handle == 0 && message->wParam > 0 && socketOf(message->wParam) == nullptr) {
                handle = message->wParam;
            }
        }
        pending_.push_back(pending);
        QMetaObject::invokeMethod(this, &ConsoleServer::dispatchNext, Qt::QueuedConnection);
    }
    if (socket->bytesAvailable() > qint64(ConsoleMessage::kMaxLineLength) + 1) {
        socket->abort();
    }
}

void ConsoleServer::dispatchNext() {
    // A handler that shows a modal box runs the event loop, and with it this dispatch for the
    // next line: that line waits until the box is answered and its own request is answered.
    if (dispatching_ || pending_.empty()) {
        return;
    }
    dispatching_ = true;
    const Pending request = pending_.front();
    pending_.pop_front();
    int64_t answer = ConsoleMessage::kIgnored;
    if (request.valid && handler_) {
        answer = handler_(request.message);
    }
    if (request.socket != nullptr) {
        write(request.socket, ConsoleMessage::result(answer));
    }
    dispatching_ = false;
    if (!pending_.empty()) {
        QMetaObject::invokeMethod(this, &ConsoleServer::dispatchNext, Qt::QueuedConnection);
    }
}

QLocalSocket* ConsoleServer::socketOf(int64_t handle) const {
    for (const auto& [socket, owned] : handles_) {
        if (owned == handle && socket->state() == QLocalSocket::ConnectedState) {
            return socket;
        }
    }
    return nullptr;
}

bool ConsoleServer::isWindow(int64_t handle) const {
    return handle > 0 && socketOf(handle) != nullptr;
}

bool ConsoleServer::post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) {
    QLocalSocket* socket = handle > 0 ? socketOf(handle) : nullptr;
    if (socket == nullptr) {
        return false;
    }
    const std::string line = ConsoleMessage{name, wParam, lParam}.line();
    // Handed to the socket's buffer; it goes out as the event loop runs, nobody waits for it.
    const qint64 written = socket->write(line.data(), qint64(line.size()));
    socket->flush();
    return written == qint64(line.size());
}

int64_t ConsoleServer::ownHandle() const {
    return QCoreApplication::applicationPid();
}

void ConsoleServer::write(QLocalSocket* socket, const ConsoleMessage& message) {
    if (socket->state() != QLocalSocket::ConnectedState) {
        return;
    }
    const std::string line = message.line();
    socket->write(line.data(), qint64(line.size()));
    socket->flush();
}

}  // namespace plugshift
