#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <map>

#include "desktop/console_link.h"
#include "desktop/console_message.h"

class QLocalServer;
class QLocalSocket;

namespace plugshift {

// The tool's end of the console protocol: a local socket on which consoles connect and send
// request lines. A console's handle is the WPARAM of the first request on its connection (unless
// another open connection holds that number already) and stands for that console until the
// connection closes.
//
// Each request goes to the handler on a later turn of the event loop, strictly one at a time in the
// order they came: a handler may open modal windows, and lines that arrive meanwhile wait for its
// answer. Its return value is sent back as the request's RESULT line. A line that is not a
// message is answered with ConsoleMessage::kIgnored; a line that grows beyond any message ends
// its connection.
class ConsoleServer : public QObject, public ConsoleLink {
    Q_OBJECT
public:
    using Handler = std::function<int64_t(const ConsoleMessage& request)>;

    explicit ConsoleServer(QObject* parent = nullptr);
    ~ConsoleServer() override;

    // Listens at the full path of the socket; one left behind by a process that ended is replaced.
    bool listen(const QString& path);
    void close();
    QString path() const;

    void setHandler(Handler handler) { handler_ = std::move(handler); }

    bool isWindow(int64_t handle) const override;
    bool post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) override;
    // The process id.
    int64_t ownHandle() const override;

private:
    struct Pending {
        QPointer<QLocalSocket> socket;
        ConsoleMessage message;
        bool valid = false;
    };

    void accept();
    void read(QLocalSocket* socket);
    void dispatchNext();
    QLocalSocket* socketOf(int64_t handle) const;
    static void write(QLocalSocket* socket, const ConsoleMessage& message);

    QLocalServer* server_ = nullptr;
    Handler handler_;
    // Console handles of the open connections.
    std::map<QLocalSocket*, int64_t> handles_;
    std::deque<Pending> pending_;
    // A request is with the handler; the next waits for its answer.
    bool dispatching_ = false;
};

}  // namespace plugshift
