#include <desktop/platform/wayland/portal_request.hpp>

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <atomic>

namespace tarvo::desktop {

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

PortalRequest::PortalRequest(QDBusConnection bus, Done done, QObject* owner)
    : QObject(owner), bus_(std::move(bus)), done_(std::move(done)) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        toldNoAnswer_ = true;
        done_({PortalResponse::Outcome::noAnswer, {}, {}});
    });
}

QString PortalRequest::newToken() {
    static std::atomic<unsigned> next{0};
    return QStringLiteral("tarvo%1").arg(++next);
}

QString PortalRequest::requestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return path + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

PortalRequest* PortalRequest::send(QDBusConnection bus, const QString& token,
                                   const QDBusMessage& call, std::chrono::milliseconds limit,
                                   QObject* owner, Done done) {
    auto* request = new PortalRequest(bus, std::move(done), owner);
    request->listen(requestPath(bus, token));
    request->limit_.start(limit);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request,
            [request](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    const bool silent = reply.error().type() == QDBusError::NoReply;
                    request->finish({silent ? PortalResponse::Outcome::noAnswer
                                            : PortalResponse::Outcome::callFailed,
                                     {},
                                     reply.error().name()});
                    return;
                }
                // Portals older than the predictable path give another object: listen there.
                const QString returned = reply.value().path();
                if (returned != request->listening_) {
                    request->stopListening();
                    request->listen(returned);
                }
            });
    return request;
}

bool PortalRequest::listen(const QString& requestPath) {
    listening_ = requestPath;
    return bus_.connect(service, requestPath, requestInterface, QStringLiteral("Response"), this,
                        SLOT(answer(uint, QVariantMap)));
}

void PortalRequest::stopListening() {
    bus_.disconnect(service, listening_, requestInterface, QStringLiteral("Response"), this,
                    SLOT(answer(uint, QVariantMap)));
}

void PortalRequest::answer(uint code, const QVariantMap& results) {
    using Outcome = PortalResponse::Outcome;
    const Outcome outcome = code == 0   ? Outcome::success
                            : code == 1 ? Outcome::cancelled
                                        : Outcome::failed;
    finish({outcome, results, {}});
}

void PortalRequest::finish(const PortalResponse& response) {
    if (finished_) {
        return;
    }
    finished_ = true;
    limit_.stop();
    stopListening();
    if (!(toldNoAnswer_ && response.outcome == PortalResponse::Outcome::noAnswer)) {
        done_(response);
    }
    deleteLater();
}

} // namespace tarvo::desktop
