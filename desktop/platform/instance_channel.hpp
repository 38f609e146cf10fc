#pragma once

// One app per session. The first start takes the instance lock, which it holds for its whole
// life, and listens on the instance socket; a later start finds the lock taken, hands its
// arguments to the running app and ends. A socket file left by an app that crashed is removed,
// since its lock went with it.
//
// The channel stays up whatever comes in: a connection that sends nothing is closed after a
// short while, at most a few are kept open at once (the oldest goes first), and when the server
// stops listening (it does on any failure to accept, running out of file descriptors included) it
// listens again.

#include <capturekit/platform/file_lock.hpp>

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>

namespace tarvo::desktop {

struct InstanceChannelLimits {
    // A request is one short line sent at once; a connection quiet for this long is closed.
    std::chrono::milliseconds idleTimeout{3000};
    // Connections open at once; a new one beyond them closes the oldest.
    std::size_t maxConnections = 16;
    // How soon a server that stopped listening tries again.
    std::chrono::milliseconds relistenInterval{1000};
};

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,   // this process is the session's app and listens
        handedOn,  // the running app took the arguments; this process should end
        unanswered // another app holds the lock but did not take the arguments
    };

    explicit InstanceChannel(std::filesystem::path socket, InstanceChannelLimits limits = {},
                             QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Becomes the session's app, or hands `arguments` to the one running.
    Role claim(const QStringList& arguments);

    // The connections open now.
    std::size_t connectionCount() const { return connections_.size(); }

signals:
    // A later start's arguments, or the command line's request.
    void argumentsReceived(const QStringList& arguments);

private:
    bool listen();
    void listenAgainIfStopped();
    void accept();
    void take(QLocalSocket* connection);
    void read(QLocalSocket* connection);
    void drop(QLocalSocket* connection);

    std::filesystem::path socket_;
    InstanceChannelLimits limits_;
    std::unique_ptr<capturekit::FileLock> lock_;
    QLocalServer server_;
    QTimer watchdog_;
    bool listenFailed_ = false;
    std::deque<QLocalSocket*> connections_; // oldest first
};

} // namespace tarvo::desktop
