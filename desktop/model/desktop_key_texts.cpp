#include <desktop/model/desktop_key_texts.hpp>

namespace tarvo::desktop::DesktopKeyTexts {

namespace {

using State = DesktopKeys::State;

const std::string commands = "tarvo-capture-desktop --capture-selection\n"
                             "tarvo-capture-desktop --quick-entry";

std::string why(State state) {
    switch (state) {
    case State::cancelled:
        return "The desktop’s question about the keys was cancelled.";
    case State::failed:
        return "Your desktop couldn’t set the keys.";
    case State::noAnswer:
        return "Your desktop’s shortcut service didn’t answer.";
    case State::gone:
        return "Your desktop’s shortcut service stopped; the keys work again when it’s back.";
    case State::unavailable:
    case State::asking:
    case State::bound:
        break;
    }
    return "This desktop doesn’t let apps set global keys.";
}

} // namespace

std::optional<std::string> assignedKey(const DesktopKeys& keys, std::uint32_t id) {
    if (keys.state != State::bound) {
        return std::nullopt;
    }
    const auto trigger = keys.triggers.find(id);
    if (trigger == keys.triggers.end()) {
        return std::nullopt;
    }
    return trigger->second;
}

std::optional<std::string> keyLine(const DesktopKeys& keys, std::uint32_t id) {
    switch (keys.state) {
    case State::asking:
        return "Asking your desktop for a key…";
    case State::bound:
        if (const auto key = assignedKey(keys, id)) {
            return *key + " — set in your desktop’s settings";
        }
        return "No key assigned yet — assign one in your desktop’s keyboard settings.";
    default:
        return std::nullopt;
    }
}

std::optional<std::string> note(const std::optional<DesktopKeys>& keys, bool sessionSetsNoKeys) {
    const bool working =
        keys ? keys->state == State::asking || keys->state == State::bound : !sessionSetsNoKeys;
    if (working) {
        return std::nullopt;
    }
    return why(keys ? keys->state : State::unavailable) +
           " Bind these commands to keys in your desktop’s keyboard settings instead:\n" + commands;
}

std::string proposalHint() {
    return "Proposed to your desktop for keys it hasn’t assigned yet; your desktop decides.";
}

} // namespace tarvo::desktop::DesktopKeyTexts
