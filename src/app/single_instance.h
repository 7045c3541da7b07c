#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace plugshift {

// Makes sure only one copy of the application runs: the first holds an exclusive lock on a file
// named after the instance name and listens on a local socket of the same name; a later copy
// finds the lock taken, knocks on the socket so the first one comes to the front, and ends.
// Both live in $XDG_RUNTIME_DIR, or in the fallback folder when that is not set.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        First,        // this process holds the lock
        AlreadyRuns,  // another process (or object) holds it and has been asked to come forward
        Failed,       // the lock file cannot be made
    };

    explicit SingleInstance(QString name, QString fallbackFolder, QObject* parent = nullptr);
    // Releases the lock.
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome acquire();
    void release();

    QString lockPath() const;
    QString serverPath() const;

signals:
    // Another start knocked: the running instance should bring its window to the front.
    void raiseRequested();

private:
    QString folder() const;
    void listen();

    QString name_;
    QString fallbackFolder_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

}  // namespace plugshift
