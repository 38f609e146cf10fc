#pragma once

// One request to the desktop portal: the call returns a request object at once and the answer
// comes later as that object's Response signal. The object's path is known before the call (the
// caller's bus name and a token of its own), so the answer is listened for first: a fast portal
// could otherwise answer before anyone listens.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <chrono>
#include <functional>

namespace tarvo::desktop {

struct PortalResponse {
    enum class Outcome {
        success,
        cancelled, // the person said no
        failed,    // the portal gave up
        callFailed,
        // No answer within the limit. A later answer is still handed over.
        noAnswer,
    };
    Outcome outcome = Outcome::failed;
    QVariantMap results;
    QString error; // the D-Bus error of a failed call
};

class PortalRequest : public QObject {
    Q_OBJECT
public:
    static inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");

    using Done = std::function<void(const PortalResponse&)>;

    // Listens for the answer, then sends `call` (whose options must already hold `token` as
    // "handle_token"). `done` runs on the main thread: once with the answer, or with noAnswer
    // after `limit` and again should the answer come later. The request goes with `owner`.
    static PortalRequest* send(QDBusConnection bus, const QString& token, const QDBusMessage& call,
                               std::chrono::milliseconds limit, QObject* owner, Done done);

    // A token for a request or a session that no other of this process's requests uses.
    static QString newToken();
    // The request object a call with `token` will return on `bus`.
    static QString requestPath(const QDBusConnection& bus, const QString& token);

private slots:
    void answer(uint code, const QVariantMap& results);

private:
    PortalRequest(QDBusConnection bus, Done done, QObject* owner);
    bool listen(const QString& requestPath);
    void stopListening();
    void finish(const PortalResponse& response);

    QDBusConnection bus_;
    Done done_;
    QString listening_;
    QTimer limit_;
    bool toldNoAnswer_ = false;
    bool finished_ = false;
};

} // namespace tarvo::desktop
