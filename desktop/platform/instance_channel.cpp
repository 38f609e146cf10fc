#include <desktop/platform/instance_channel.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/instance_socket.hpp>
#include <capturekit/platform/log.hpp>

#include <QLocalSocket>
#include <QPointer>

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

InstanceChannel::InstanceChannel(std::filesystem::path socket, QObject* parent)
    : QObject(parent), socket_(std::move(socket)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
}

InstanceChannel::~InstanceChannel() {
    server_.close();
}

InstanceChannel::Role InstanceChannel::claim(const QStringList& arguments) {
    lock_ = std::make_unique<FileLock>(instance::lockPath(socket_), 0ms);
    if (lock_->isHeld()) {
        listen();
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
        log().error("Cannot listen on " + socket_.string() + ": " +
                    server_.errorString().toStdString() +
                    "; later starts and tarvo-capture open cannot reach this app.");
        return false;
    }
    return true;
}

// Each connection carries one request line; the answer tells the sender it was taken.
void InstanceChannel::accept() {
    while (QLocalSocket* connection = server_.nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
            if (!connection->canReadLine()) {
                if (connection->bytesAvailable() > maxRequestBytes) {
                    connection->abort();
                }
                return;
            }
            const auto request =
                instance::decodeRequest(connection->readLine(maxRequestBytes).toStdString());
            if (!request) {
                log().notice("Ignored a request on the instance socket that is not ours.");
                connection->abort();
                return;
            }
            connection->write("ok\n");
            connection->disconnectFromServer();
            QStringList arguments;
            for (const auto& word : *request) {
                arguments.push_back(QString::fromStdString(word));
            }
            emit argumentsReceived(arguments);
        });
    }
}

} // namespace tarvo::desktop
