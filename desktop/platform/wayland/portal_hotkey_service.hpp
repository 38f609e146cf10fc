#pragma once

// Global keys on a desktop that assigns them itself, through its shortcuts portal: the app's keys
// are offered once per session with the combination the person chose as the proposal, and the
// desktop's answer (the keys it assigned, or why none) is what the menu shows. A key switched off
// stays bound in the session, which cannot unbind, but its presses are ignored.

#include <desktop/platform/global_hotkey.hpp>
#include <desktop/platform/wayland/global_shortcuts_portal.hpp>

#include <QObject>

#include <vector>

namespace tarvo::desktop {

class PortalHotkeyService final : public QObject, public HotkeyService {
    Q_OBJECT
public:
    // `shortcuts` are the keys the desktop is offered, all of them in every binding.
    PortalHotkeyService(QDBusConnection bus, const QString& appId,
                        std::vector<DesktopShortcut> shortcuts,
                        std::chrono::milliseconds limit = GlobalShortcutsPortal::answerLimit,
                        QObject* parent = nullptr);
    ~PortalHotkeyService() override;

    std::unique_ptr<GlobalHotkey> makeHotkey(std::uint32_t id, char letter,
                                             std::function<void()> action) override;
    std::optional<DesktopKeys> desktopKeys() const override;
    void setDesktopKeysChanged(std::function<void()> changed) override;
    void configureDesktopKeys() override;

    // A key in the shortcut format desktops read: "CTRL+ALT+c".
    static QString preferredTrigger(HotkeyModifiers modifiers, char letter);

private:
    class Key;

    const DesktopShortcut* shortcut(std::uint32_t id) const;
    void keyRegistered(std::uint32_t id, std::function<void()> action, HotkeyModifiers modifiers);
    void keyDropped(std::uint32_t id);
    void bindWhenReady();
    void run(const QString& name, const QString& activationToken);
    DesktopKeys::State keysState() const;

    GlobalShortcutsPortal portal_;
    std::vector<DesktopShortcut> shortcuts_;
    // The actions of the keys switched on, by id.
    std::map<std::uint32_t, std::function<void()>> live_;
    std::optional<HotkeyModifiers> proposed_;
    std::function<void()> changed_;
};

} // namespace tarvo::desktop
