#pragma once

// One grabbed key of X11HotkeyService. Holding the key down fires its action once: the key
// repeats that follow, in either of X11's forms (repeated presses, or release-press pairs with one
// time stamp), are not presses.

#include <desktop/platform/global_hotkey.hpp>

#include <cstdint>
#include <functional>
#include <optional>

namespace tarvo::desktop {

class X11HotkeyService;

class X11GlobalHotkey final : public GlobalHotkey {
public:
    X11GlobalHotkey(X11HotkeyService& service, std::uint32_t id, char letter,
                    std::function<void()> action);
    ~X11GlobalHotkey() override;

    HotkeyRegistration registerCombo(HotkeyModifiers held) override;

    std::uint32_t id() const { return id_; }
    bool matches(unsigned int keycode, unsigned int modifiers) const;
    bool holdsKeycode(unsigned int keycode) const { return grab_ && grab_->keycode == keycode; }
    // Key events of the grab, with the server's time stamps in milliseconds.
    void pressed(std::uint32_t time);
    void released(std::uint32_t time);

private:
    struct Grab {
        unsigned int keycode;
        unsigned int modifiers;
    };
    void release();

    X11HotkeyService& service_;
    std::uint32_t id_;
    char letter_;
    std::function<void()> action_;
    std::optional<Grab> grab_;
    bool down_ = false;
    std::uint32_t lastEventTime_ = 0;
    std::optional<std::uint32_t> lastReleaseTime_;
};

} // namespace tarvo::desktop
