#include <desktop/platform/wayland/global_shortcuts_portal.hpp>

#include <desktop/platform/desktop_log.hpp>
#include <desktop/platform/wayland/portal_request.hpp>

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace tarvo::desktop {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

const capturekit::Logger& log() {
    return desktopLog(LogCategory::hotkeys);
}

// The session handle comes typed `s` from some portals and `o` from others.
QString sessionHandle(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

PortalShortcuts shortcutsIn(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) {
        return {};
    }
    return qdbus_cast<PortalShortcuts>(value.value<QDBusArgument>());
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

GlobalShortcutsPortal::GlobalShortcutsPortal(QDBusConnection bus, QString appId,
                                             std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), appId_(std::move(appId)), limit_(limit),
      watcher_(PortalRequest::service, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    bus_.connect(PortalRequest::service, PortalRequest::path, shortcutsInterface,
                 QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    bus_.connect(PortalRequest::service, PortalRequest::path, shortcutsInterface,
                 QStringLiteral("ShortcutsChanged"), this, SLOT(onShortcutsChanged(QDBusMessage)));
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (owner.isEmpty()) {
                    portalLeft();
                } else {
                    log().notice("The desktop portal is on the bus; asking for the keys again.");
                    start();
                }
            });
}

void GlobalShortcutsPortal::start() {
    delete conversation_;
    conversation_ = new QObject(this);
    session_.clear();
    triggers_.clear();
    version_ = 0;
    setState(State::starting);
    registerApp();
}

void GlobalShortcutsPortal::restart() {
    closeSession();
    start();
}

QDBusMessage GlobalShortcutsPortal::portalCall(const QString& method) const {
    return QDBusMessage::createMethodCall(PortalRequest::service, PortalRequest::path,
                                          shortcutsInterface, method);
}

// Before any other call: portals that know the app by its .desktop file (not by a sandbox) ask
// for it first, and refuse shortcuts to an app they cannot name. Older portals have no registry;
// their error changes nothing.
void GlobalShortcutsPortal::registerApp() {
    auto call = QDBusMessage::createMethodCall(
        PortalRequest::service, PortalRequest::path,
        QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    call << appId_ << QVariantMap();
    callWithinLimit(call, [this](const QDBusPendingCall& finished) {
        if (finished.isError()) {
            log().info("The portal registry said " + finished.error().name().toStdString() +
                       "; going on without it.");
        }
        readVersion();
    });
}

void GlobalShortcutsPortal::callWithinLimit(const QDBusMessage& call,
                                            std::function<void(const QDBusPendingCall&)> done) {
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(call, int(limit_.count())), conversation_);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                done(*finished);
            });
}

void GlobalShortcutsPortal::readVersion() {
    auto call = QDBusMessage::createMethodCall(PortalRequest::service, PortalRequest::path,
                                               QStringLiteral("org.freedesktop.DBus.Properties"),
                                               QStringLiteral("Get"));
    call << shortcutsInterface << QStringLiteral("version");
    callWithinLimit(call, [this](const QDBusPendingCall& finished) {
        const QDBusPendingReply<QDBusVariant> reply = finished;
        if (reply.isError() && reply.error().type() == QDBusError::NoReply) {
            log().error("The desktop portal didn’t answer.");
            setState(State::noAnswer);
            return;
        }
        version_ = reply.isError() ? 0 : reply.value().variant().toUInt();
        if (version_ == 0) {
            log().notice(
                "The desktop portal has no global shortcuts (" +
                (reply.isError() ? reply.error().name().toStdString() : std::string("version 0")) +
                ").");
            setState(State::absent);
            return;
        }
        createSession();
    });
}

void GlobalShortcutsPortal::request(const QString& method, QList<QVariant> arguments,
                                    QVariantMap options,
                                    std::function<void(const PortalResponse&)> done) {
    const QString token = PortalRequest::newToken();
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = portalCall(method);
    arguments.append(options);
    call.setArguments(arguments);
    PortalRequest::send(bus_, token, call, limit_, conversation_, std::move(done));
}

bool GlobalShortcutsPortal::carryOn(const PortalResponse& response) {
    using Outcome = PortalResponse::Outcome;
    switch (response.outcome) {
    case Outcome::success:
        return true;
    case Outcome::cancelled:
        setState(State::cancelled);
        return false;
    case Outcome::noAnswer:
        log().error("The desktop portal didn’t answer in time.");
        setState(State::noAnswer);
        return false;
    case Outcome::callFailed:
        log().error("The desktop portal refused the call: " + response.error.toStdString() + ".");
        break;
    case Outcome::failed:
        break;
    }
    setState(State::failed);
    return false;
}

void GlobalShortcutsPortal::createSession() {
    const QVariantMap options{{QStringLiteral("session_handle_token"), PortalRequest::newToken()}};
    request(QStringLiteral("CreateSession"), {}, options, [this](const PortalResponse& response) {
        if (!carryOn(response)) {
            return;
        }
        session_ = sessionHandle(response.results.value(QStringLiteral("session_handle")));
        if (session_.isEmpty()) {
            setState(State::failed);
            return;
        }
        listShortcuts();
    });
}

void GlobalShortcutsPortal::listShortcuts() {
    request(QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(session_))}, {},
            [this](const PortalResponse& response) {
                if (!carryOn(response)) {
                    return;
                }
                takeTriggers(shortcutsIn(response.results.value(QStringLiteral("shortcuts"))));
                setState(State::ready);
            });
}

void GlobalShortcutsPortal::bind(const PortalShortcuts& shortcuts) {
    if (state_ != State::ready) {
        return;
    }
    setState(State::binding);
    request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
        {}, [this](const PortalResponse& response) {
            if (!carryOn(response)) {
                return;
            }
            takeTriggers(shortcutsIn(response.results.value(QStringLiteral("shortcuts"))));
            setState(State::bound);
        });
}

void GlobalShortcutsPortal::configure() {
    if (!canConfigure()) {
        return;
    }
    auto call = portalCall(QStringLiteral("ConfigureShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(session_)) << QString() << QVariantMap();
    callWithinLimit(call, [](const QDBusPendingCall& done) {
        if (done.isError()) {
            log().error("The desktop’s shortcut settings didn’t open: " +
                        done.error().name().toStdString() + ".");
        }
    });
}

void GlobalShortcutsPortal::closeSession() {
    if (session_.isEmpty()) {
        return;
    }
    bus_.asyncCall(QDBusMessage::createMethodCall(PortalRequest::service, session_,
                                                  QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")));
    session_.clear();
}

void GlobalShortcutsPortal::portalLeft() {
    delete conversation_;
    conversation_ = nullptr;
    session_.clear();
    if (state_ != State::absent) {
        log().notice("The desktop portal left the bus; the keys are off until it returns.");
        setState(State::gone);
    }
}

void GlobalShortcutsPortal::onActivated(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    // Only shortcuts this session bound are the app's to act on.
    if (arguments.size() < 4 || state_ != State::bound || sessionHandle(arguments[0]) != session_) {
        return;
    }
    const auto options = qdbus_cast<QVariantMap>(arguments[3]);
    emit activated(arguments[1].toString(),
                   options.value(QStringLiteral("activation_token")).toString());
}

void GlobalShortcutsPortal::onShortcutsChanged(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    if (arguments.size() < 2 || sessionHandle(arguments[0]) != session_ || session_.isEmpty()) {
        return;
    }
    takeTriggers(shortcutsIn(arguments[1]));
    emit changed();
}

void GlobalShortcutsPortal::takeTriggers(const PortalShortcuts& shortcuts) {
    triggers_.clear();
    for (const auto& shortcut : shortcuts) {
        const QString trigger =
            shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        if (!trigger.isEmpty()) {
            triggers_.insert(shortcut.id, trigger);
        }
    }
}

void GlobalShortcutsPortal::setState(State state) {
    state_ = state;
    emit changed();
}

} // namespace tarvo::desktop
