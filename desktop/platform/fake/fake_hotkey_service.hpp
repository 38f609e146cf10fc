#pragma once

// Hot keys for the model's tests: the test presses them by id, and decides which combinations
// "another program" holds.

#include <desktop/platform/global_hotkey.hpp>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace tarvo::desktop::fake {

class FakeHotkeyService final : public HotkeyService {
public:
    // Modifiers and letter pairs that registrations are refused for.
    std::vector<std::pair<HotkeyModifiers, char>> takenByOthers;
    // A session that lets no program set global keys.
    bool unsupported = false;
    // The registered modifiers of each live key, by id.
    std::map<std::uint32_t, HotkeyModifiers> registered;

    // Fires the key as a press would; false when it is not registered.
    bool press(std::uint32_t id) {
        const auto key = keys_.find(id);
        if (key == keys_.end() || !registered.contains(id)) {
            return false;
        }
        key->second();
        return true;
    }

    std::unique_ptr<GlobalHotkey> makeHotkey(std::uint32_t id, char letter,
                                             std::function<void()> action) override {
        keys_[id] = std::move(action);
        return std::make_unique<Key>(*this, id, letter);
    }

private:
    class Key final : public GlobalHotkey {
    public:
        Key(FakeHotkeyService& service, std::uint32_t id, char letter)
            : service_(service), id_(id), letter_(letter) {}
        ~Key() override { service_.registered.erase(id_); }
        HotkeyRegistration registerCombo(HotkeyModifiers modifiers) override {
            service_.registered.erase(id_);
            if (service_.unsupported) {
                return HotkeyRegistration::unsupported;
            }
            if (std::ranges::find(service_.takenByOthers, std::pair(modifiers, letter_)) !=
                service_.takenByOthers.end()) {
                return HotkeyRegistration::taken;
            }
            service_.registered[id_] = modifiers;
            return HotkeyRegistration::registered;
        }

    private:
        FakeHotkeyService& service_;
        std::uint32_t id_;
        char letter_;
    };

    std::map<std::uint32_t, std::function<void()>> keys_;
};

} // namespace tarvo::desktop::fake
