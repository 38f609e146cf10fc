#pragma once

// One app per session. The first start takes the instance lock, which it holds for its whole
// life, and listens on the instance socket; a later start finds the lock taken, hands its
// arguments to the running app and ends. A socket file left by an app that crashed is removed,
// since its lock went with it.

#include <capturekit/platform/file_lock.hpp>

#include <QLocalServer>
#include <QObject>
#include <QStringList>

#include <filesystem>
#include <memory>

namespace tarvo::desktop {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Role {
        primary,   // this process is the session's app and listens
        handedOn,  // the running app took the arguments; this process should end
        unanswered // another app holds the lock but did not take the arguments
    };

    explicit InstanceChannel(std::filesystem::path socket, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Becomes the session's app, or hands `arguments` to the one running.
    Role claim(const QStringList& arguments);

signals:
    // A later start's arguments, or the command line's request.
    void argumentsReceived(const QStringList& arguments);

private:
    bool listen();
    void accept();

    std::filesystem::path socket_;
    std::unique_ptr<capturekit::FileLock> lock_;
    QLocalServer server_;
};

} // namespace tarvo::desktop
