#include <desktop/platform/instance_channel.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/instance_socket.hpp>
#include <capturekit/platform/log.hpp>

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvo::desktop {

using namespace capturekit;
using namespace std::chrono_literals;

namespace {

const Logger& log() {
    static const Logger logger(application::identifier(), "instance");
    return logger;
}

// The longest request a later start sends; anything longer is not ours.
constexpr qint64 maxRequestBytes = 64 * 1024;

} // namespace

InstanceChannel::InstanceChannel(std::filesystem::path socket, InstanceChannelLimits limits,
                                 QObject* parent)
    : QObject(parent), socket_(std::move(socket)), limits_(limits) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
    watchdog_.setInterval(limits_.relistenInterval);
    connect(&watchdog_, &QTimer::timeout, this, &InstanceChannel::listenAgainIfStopped);
}

InstanceChannel::~InstanceChannel() {
    server_.close();
}

InstanceChannel::Role InstanceChannel::claim(const QStringList& arguments) {
    lock_ = std::make_unique<FileLock>(instance::lockPath(socket_), 0ms);
    if (lock_->isHeld()) {
        listen();
        watchdog_.start();
        return Role::primary;
    }
    if (lock_->outcome() == FileLock::Outcome::unusable) {
        log().error("The instance lock beside " + socket_.string() +
                    " cannot be used; running without the instance channel.");
        return Role::primary;
    }
    lock_.reset();
    std::vector<std::string> words;
    for (const auto& argument : arguments) {
        words.push_back(argument.toStdString());
    }
    // The running app may still be starting: it holds the lock before it listens.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const auto delivery = instance::sendArguments(socket_, words, std::max(left, 1ms));
        if (delivery == instance::Delivery::delivered) {
            return Role::handedOn;
        }
        if (left <= 0ms || delivery == instance::Delivery::noAnswer) {
            log().error("tarvo Capture is already running but did not answer on " +
                        socket_.string() + "; this start ends.");
            return Role::unanswered;
        }
        std::this_thread::sleep_for(50ms);
    }
}

bool InstanceChannel::listen() {
    std::error_code error;
    if (std::filesystem::remove(socket_, error)) {
        log().notice("Removed the instance socket " + socket_.string() +
                     " left by an earlier run.");
    }
    if (!server_.listen(QString::fromStdString(socket_.string()))) {
        // Said once for a run of failures: the watchdog tries again every second.
        if (!listenFailed_) {
            log().error("Cannot listen on " + socket_.string() + ": " +
                        server_.errorString().toStdString() +
                        "; later starts and tarvo-capture open cannot reach this app.");
        }
        listenFailed_ = true;
        return false;
    }
    if (listenFailed_) {
        log().notice("Listening on " + socket_.string() + " again.");
    }
    listenFailed_ = false;
    return true;
}

// The server closes itself, and removes its socket, when accepting a connection fails.
void InstanceChannel::listenAgainIfStopped() {
    if (server_.isListening()) {
        return;
    }
    if (!listenFailed_) {
        log().error("The instance socket stopped listening (" +
                    server_.errorString().toStdString() + "); listening again.");
    }
    listen();
}

void InstanceChannel::accept() {
    while (QLocalSocket* connection = server_.nextPendingConnection()) {
        take(connection);
    }
}

void InstanceChannel::take(QLocalSocket* connection) {
    if (connections_.size() >= limits_.maxConnections) {
        drop(connections_.front());
    }
    connections_.push_back(connection);
    connect(connection, &QLocalSocket::disconnected, this,
            [this, connection] { drop(connection); });
    connect(connection, &QLocalSocket::readyRead, this, [this, connection] { read(connection); });
    QTimer::singleShot(limits_.idleTimeout, connection, [this, connection] { drop(connection); });
}

// Each connection carries one request line; the answer tells the sender it was taken.
void InstanceChannel::read(QLocalSocket* connection) {
    if (!connection->canReadLine()) {
        if (connection->bytesAvailable() > maxRequestBytes) {
            drop(connection);
        }
        return;
    }
    const auto request =
        instance::decodeRequest(connection->readLine(maxRequestBytes).toStdString());
    if (!request) {
        log().notice("Ignored a request on the instance socket that is not ours.");
        drop(connection);
        return;
    }
    connection->write("ok\n");
    connection->disconnectFromServer();
    QStringList arguments;
    for (const auto& word : *request) {
        arguments.push_back(QString::fromStdString(word));
    }
    emit argumentsReceived(arguments);
}

// Closes the connection at once and forgets it; its object goes when the event loop comes round.
void InstanceChannel::drop(QLocalSocket* connection) {
    const auto found = std::ranges::find(connections_, connection);
    if (found == connections_.end()) {
        return;
    }
    connections_.erase(found);
    connection->disconnect(this);
    connection->abort();
    connection->deleteLater();
}

} // namespace tarvo::desktop
