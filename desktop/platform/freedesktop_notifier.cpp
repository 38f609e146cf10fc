#include <desktop/platform/freedesktop_notifier.hpp>

#include <desktop/platform/desktop_log.hpp>

#include <capturekit/platform/application_info.hpp>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace tarvo::desktop {

namespace {

constexpr auto service = "org.freedesktop.Notifications";
constexpr auto path = "/org/freedesktop/Notifications";
// The server's default time before the notification goes.
constexpr int defaultTimeout = -1;

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QObject* parent) : QObject(parent) {}

void FreedesktopNotifier::notify(const std::string& summary, const std::string& body) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    const QString appID = QString::fromStdString(capturekit::application::identifier());
    auto message = QDBusMessage::createMethodCall(QLatin1String(service), QLatin1String(path),
                                                  QLatin1String(service), QStringLiteral("Notify"));
    message << QStringLiteral("tarvo Capture") << lastID_ << appID
            << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList()
            << QVariantMap{{QStringLiteral("desktop-entry"), appID}} << defaultTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<std::uint32_t> reply = *call;
                if (reply.isError()) {
                    desktopLog(LogCategory::app)
                        .info("No notification shown: " + reply.error().message().toStdString());
                } else {
                    lastID_ = reply.value();
                }
                call->deleteLater();
            });
}

} // namespace tarvo::desktop
