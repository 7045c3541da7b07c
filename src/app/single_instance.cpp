#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <utility>

namespace plugshift {

namespace {

// How long a later start waits for the first one to take its knock; it ends either way.
constexpr int kKnockTimeoutMs = 1000;

}  // namespace

SingleInstance::SingleInstance(QString name, QString fallbackFolder, QObject* parent)
    : QObject(parent), name_(std::move(name)), fallbackFolder_(std::move(fallbackFolder)) {}

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::folder() const {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? fallbackFolder_ : runtime;
}

QString SingleInstance::lockPath() const {
    return QDir(folder()).filePath(name_ + QStringLiteral(".lock"));
}

QString SingleInstance::serverPath() const {
    return QDir(folder()).filePath(name_);
}

SingleInstance::Outcome SingleInstance::acquire() {
    if (lockFd_ >= 0) {
        return Outcome::First;
    }
    QDir().mkpath(folder());
    const QByteArray path = QFile::encodeName(lockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Outcome::Failed;
    }
    // The lock is on the open file, not the process, so a second object in the same process is
    // refused too; the system drops it when the process ends however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        if (!taken) {
            return Outcome::Failed;
        }
        QLocalSocket knock;
        knock.connectToServer(serverPath());
        knock.waitForConnected(kKnockTimeoutMs);
        return Outcome::AlreadyRuns;
    }
    lockFd_ = fd;
    listen();
    return Outcome::First;
}

void SingleInstance::listen() {
    server_ = new QLocalServer(this);
    // A socket left behind by a copy that crashed; the lock says nobody listens on it.
    QLocalServer::removeServer(serverPath());
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            socket->deleteLater();
            emit raiseRequested();
        }
    });
    // Without the socket the instance still runs alone; it only cannot be raised by a knock.
    server_->listen(serverPath());
}

void SingleInstance::release() {
    if (server_ != nullptr) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

}  // namespace plugshift
