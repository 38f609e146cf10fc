#pragma once

// The conversation with the desktop portal's global shortcuts: register the app's id where the
// portal asks for one, open a session, list what the desktop already assigned, bind the app's
// shortcuts once, and hear their activations and changes. A portal that leaves the bus is talked
// to again from the start when it returns.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>

namespace tarvo::desktop {

// One shortcut as the portal passes it: its id and its properties ("description",
// "preferred_trigger"; "trigger_description" from the desktop).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

class PortalRequest;
struct PortalResponse;

class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    enum class State {
        starting,
        absent, // no portal, or one without global shortcuts
        ready,  // a session is open; `triggers` holds what the desktop had assigned
        binding,
        bound,
        cancelled, // the person cancelled the desktop's question
        failed,
        noAnswer, // the portal did not answer in time; a late answer still counts
        gone,     // the portal left the bus
    };

    static constexpr std::chrono::milliseconds answerLimit{5000};

    // `appId` is the id of the app's installed .desktop file.
    GlobalShortcutsPortal(QDBusConnection bus, QString appId,
                          std::chrono::milliseconds limit = answerLimit, QObject* parent = nullptr);

    // Starts the conversation (again, from the start, when called again).
    void start();
    // Binds the shortcuts in a ready session. A session binds once: after that, `restart`.
    void bind(const PortalShortcuts& shortcuts);
    // Closes the session and starts again.
    void restart();
    // Opens the desktop's own dialog for the app's shortcuts (from version 2 of the portal).
    void configure();

    State state() const { return state_; }
    uint version() const { return version_; }
    bool canConfigure() const { return version_ >= 2 && !session_.isEmpty(); }
    // What the desktop assigned, by shortcut id; a shortcut it has not assigned is missing.
    QMap<QString, QString> triggers() const { return triggers_; }

signals:
    void changed();
    // A shortcut was pressed; `activationToken` lets a window it opens take the focus.
    void activated(const QString& id, const QString& activationToken);

private slots:
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    void registerApp();
    void readVersion();
    void createSession();
    void listShortcuts();
    void closeSession();
    void portalLeft();
    QDBusMessage portalCall(const QString& method) const;
    // An answer-or-error call that belongs to this start's conversation, given up after the limit.
    void callWithinLimit(const QDBusMessage& call,
                         std::function<void(const QDBusPendingCall&)> done);
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 std::function<void(const PortalResponse&)> done);
    // Handles the answers every request shares; false when the conversation cannot go on.
    bool carryOn(const PortalResponse& response);
    void takeTriggers(const PortalShortcuts& shortcuts);
    void setState(State state);

    QDBusConnection bus_;
    QString appId_;
    std::chrono::milliseconds limit_;
    QDBusServiceWatcher watcher_;
    State state_ = State::starting;
    uint version_ = 0;
    QString session_;
    QMap<QString, QString> triggers_;
    // Each start's requests belong to it: a restart drops the old ones' late answers.
    QObject* conversation_ = nullptr;
};

} // namespace tarvo::desktop

Q_DECLARE_METATYPE(tarvo::desktop::PortalShortcut)
