#pragma once

// Hot keys for the model's tests: the test presses them by id, and decides which combinations
// "another program" holds.

#include <desktop/platform/global_hotkey.hpp>

#include <map>
#include <set>

namespace tarvo::desktop::fake {

class FakeHotkeyService final : public HotkeyService {
public:
    // Combination and letter pairs that registrations are refused for.
    std::set<std::pair<HotkeyCombo, char>> takenByOthers;
    // The registered combination of each live key, by id.
    std::map<std::uint32_t, HotkeyCombo> registered;

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
        bool registerCombo(HotkeyCombo combo) override {
            service_.registered.erase(id_);
            if (service_.takenByOthers.contains({combo, letter_})) {
                return false;
            }
            service_.registered[id_] = combo;
            return true;
        }

    private:
        FakeHotkeyService& service_;
        std::uint32_t id_;
        char letter_;
    };

    std::map<std::uint32_t, std::function<void()>> keys_;
};

} // namespace tarvo::desktop::fake
