#pragma once

// The hot keys of a session that lets no program set global keys (a Wayland desktop without the
// shortcuts portal): every registration says so, and no key ever fires.

#include <desktop/platform/global_hotkey.hpp>

namespace tarvo::desktop {

class UnsupportedHotkeyService final : public HotkeyService {
public:
    std::unique_ptr<GlobalHotkey> makeHotkey(std::uint32_t, char, std::function<void()>) override {
        return std::make_unique<Key>();
    }

private:
    class Key final : public GlobalHotkey {
    public:
        HotkeyRegistration registerCombo(HotkeyModifiers) override {
            return HotkeyRegistration::unsupported;
        }
    };
};

} // namespace tarvo::desktop
