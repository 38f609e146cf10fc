#include <desktop/platform/wayland/portal_hotkey_service.hpp>

#include <desktop/platform/desktop_log.hpp>

#include <QTimer>

#include <algorithm>

namespace tarvo::desktop {

class PortalHotkeyService::Key final : public GlobalHotkey {
public:
    Key(PortalHotkeyService& service, std::uint32_t id, std::function<void()> action)
        : service_(service), id_(id), action_(std::move(action)) {}
    ~Key() override { service_.keyDropped(id_); }

    HotkeyRegistration registerCombo(HotkeyModifiers modifiers) override {
        // Keys the desktop is not offered (the undo key) are never bound.
        if (service_.shortcut(id_) == nullptr) {
            return HotkeyRegistration::unsupported;
        }
        service_.keyRegistered(id_, action_, modifiers);
        return HotkeyRegistration::byDesktop;
    }

private:
    PortalHotkeyService& service_;
    std::uint32_t id_;
    std::function<void()> action_;
};

PortalHotkeyService::PortalHotkeyService(QDBusConnection bus, const QString& appId,
                                         std::vector<DesktopShortcut> shortcuts,
                                         std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent), portal_(std::move(bus), appId, limit), shortcuts_(std::move(shortcuts)) {
    connect(&portal_, &GlobalShortcutsPortal::changed, this, [this] {
        bindWhenReady();
        if (changed_) {
            changed_();
        }
    });
    connect(&portal_, &GlobalShortcutsPortal::activated, this, &PortalHotkeyService::run);
    portal_.start();
}

PortalHotkeyService::~PortalHotkeyService() = default;

QString PortalHotkeyService::preferredTrigger(HotkeyModifiers modifiers, char letter) {
    QStringList parts;
    if (modifiers.control) {
        parts << QStringLiteral("CTRL");
    }
    if (modifiers.alt) {
        parts << QStringLiteral("ALT");
    }
    if (modifiers.super) {
        parts << QStringLiteral("LOGO");
    }
    parts << QString(QChar::fromLatin1(letter)).toLower();
    return parts.join(QLatin1Char('+'));
}

std::unique_ptr<GlobalHotkey> PortalHotkeyService::makeHotkey(std::uint32_t id, char,
                                                              std::function<void()> action) {
    return std::make_unique<Key>(*this, id, std::move(action));
}

const DesktopShortcut* PortalHotkeyService::shortcut(std::uint32_t id) const {
    const auto found = std::ranges::find(shortcuts_, id, &DesktopShortcut::id);
    return found == shortcuts_.end() ? nullptr : &*found;
}

void PortalHotkeyService::keyRegistered(std::uint32_t id, std::function<void()> action,
                                        HotkeyModifiers modifiers) {
    live_[id] = std::move(action);
    const bool newProposal = proposed_ && *proposed_ != modifiers;
    proposed_ = modifiers;
    // A session binds once: a new proposal needs a new session, and matters only while the
    // desktop has left a key unassigned.
    const bool someUnassigned = std::ranges::any_of(shortcuts_, [this](const auto& offered) {
        return !portal_.triggers().contains(QString::fromStdString(offered.name));
    });
    if (newProposal && someUnassigned && portal_.state() == GlobalShortcutsPortal::State::bound) {
        desktopLog(LogCategory::hotkeys).notice("Proposing the new keys in a new session.");
        portal_.restart();
        return;
    }
    bindWhenReady();
}

void PortalHotkeyService::keyDropped(std::uint32_t id) {
    live_.erase(id);
}

void PortalHotkeyService::bindWhenReady() {
    if (portal_.state() != GlobalShortcutsPortal::State::ready || live_.empty() || !proposed_) {
        return;
    }
    PortalShortcuts offered;
    for (const auto& key : shortcuts_) {
        offered.append(
            {QString::fromStdString(key.name),
             {{QStringLiteral("description"), QString::fromStdString(key.description)},
              {QStringLiteral("preferred_trigger"), preferredTrigger(*proposed_, key.letter)}}});
    }
    portal_.bind(offered);
}

// Queued, so the key's action runs after the portal's signal has been handled.
void PortalHotkeyService::run(const QString& name, const QString& activationToken) {
    const auto found = std::ranges::find(shortcuts_, name.toStdString(), &DesktopShortcut::name);
    if (found == shortcuts_.end() || !live_.contains(found->id)) {
        return;
    }
    // Qt's Wayland windows hand this token to the compositor when they next ask for the focus.
    if (!activationToken.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    }
    QTimer::singleShot(0, this, [this, id = found->id] {
        if (const auto live = live_.find(id); live != live_.end()) {
            live->second();
        }
    });
}

DesktopKeys::State PortalHotkeyService::keysState() const {
    using Portal = GlobalShortcutsPortal::State;
    using Keys = DesktopKeys::State;
    switch (portal_.state()) {
    case Portal::ready:
        // With every key switched off nothing is bound: what the desktop kept is all there is.
        return live_.empty() ? Keys::bound : Keys::asking;
    case Portal::starting:
    case Portal::binding:
        return Keys::asking;
    case Portal::bound:
        return Keys::bound;
    case Portal::cancelled:
        return Keys::cancelled;
    case Portal::failed:
        return Keys::failed;
    case Portal::noAnswer:
        return Keys::noAnswer;
    case Portal::gone:
        return Keys::gone;
    case Portal::absent:
        break;
    }
    return Keys::unavailable;
}

std::optional<DesktopKeys> PortalHotkeyService::desktopKeys() const {
    DesktopKeys keys;
    keys.state = keysState();
    keys.canConfigure = portal_.canConfigure();
    keys.version = portal_.version();
    const auto triggers = portal_.triggers();
    for (const auto& key : shortcuts_) {
        if (const auto trigger = triggers.find(QString::fromStdString(key.name));
            trigger != triggers.end()) {
            keys.triggers[key.id] = trigger->toStdString();
        }
    }
    return keys;
}

void PortalHotkeyService::setDesktopKeysChanged(std::function<void()> changed) {
    changed_ = std::move(changed);
}

void PortalHotkeyService::configureDesktopKeys() {
    portal_.configure();
}

} // namespace tarvo::desktop
