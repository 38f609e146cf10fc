#include <desktop/model/text_selection_capture.hpp>

#include <desktop/model/window_title.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/text.hpp>

#include <array>
#include <string>

namespace tarvo::desktop::TextSelectionCapture {

using namespace capturekit;

namespace {

const Logger& logger() {
    static const Logger log(application::identifier(), "selection");
    return log;
}

std::optional<std::string> appName(const std::optional<ActiveWindow>& app) {
    if (!app || app->name.empty()) {
        return std::nullopt;
    }
    return text::validUTF8(app->name);
}

Result makeResult(std::string text, std::string_view method,
                  const std::optional<ActiveWindow>& app) {
    Result result;
    result.text = std::move(text);
    result.method = std::string(method);
    result.sourceApp = appName(app);
    if (app && !app->identifier.empty()) {
        result.sourceBundleID = text::validUTF8(app->identifier);
    }
    if (app) {
        result.windowTitle = focusedWindowTitle(app->title, result.sourceApp);
    }
    return result;
}

// The first of the ways that read a selection without the clipboard to give some text.
std::optional<std::string> readWithoutClipboard(const SelectionSteps& steps,
                                                const std::optional<ActiveWindow>& app) {
    if (auto text = text::trimmedOptional(steps.selectedText.accessibleSelection(app))) {
        return text;
    }
    if (app) {
        return text::trimmedOptional(steps.selectedText.primarySelection(*app));
    }
    return std::nullopt;
}

void waitForModifiers(const SelectionSteps& steps) {
    if (!steps.modifiers.anyHeld()) {
        return;
    }
    logger().debug("waited for hotkey modifiers to clear");
    for (auto waited = std::chrono::milliseconds(0); waited < modifierWait;
         waited += modifierPoll) {
        steps.sleeper.sleep(modifierPoll, {});
        if (!steps.modifiers.anyHeld()) {
            return;
        }
    }
    // Still held after the wait: the copy must not be read as the hot key itself.
    steps.modifiers.releaseHeld();
}

std::expected<Result, Failure> copyFallback(const SelectionSteps& steps,
                                            const std::optional<ActiveWindow>& app) {
    const auto name = appName(app);
    const auto keystroke = copyKeystroke(app);
    if (!keystroke) {
        return std::unexpected(Failure{Failure::Kind::noSelection, name});
    }
    waitForModifiers(steps);
    auto saved = steps.clipboard.snapshot();
    const auto countBefore = steps.clipboard.changeCount();
    const CopyResult copied = steps.copy.copy(*keystroke, copyWait);
    if (std::holds_alternative<CannotSynthesise>(copied)) {
        logger().error("cannot synthesise keystroke — not trusted?");
        return std::unexpected(Failure{Failure::Kind::notTrusted, std::nullopt});
    }
    if (std::holds_alternative<CopyTimedOut>(copied)) {
        logger().info("copy: pasteboard never changed");
        // A copy that lands after the wait still changed the clipboard; one that never came left
        // it exactly as it was, every format included.
        if (steps.clipboard.changeCount() != countBefore) {
            steps.clipboard.restore(std::move(saved));
        }
        return std::unexpected(Failure{Failure::Kind::copyTimedOut, name});
    }
    steps.clipboard.restore(std::move(saved));
    const auto& copiedText = std::get<std::string>(copied);
    logger().info("copy produced " + std::to_string(text::characterCount(copiedText)) + " chars");
    auto trimmed = text::trimmedNonEmpty(text::validUTF8(copiedText));
    if (!trimmed) {
        return std::unexpected(Failure{Failure::Kind::noSelection, name});
    }
    return makeResult(std::move(*trimmed), "copy", app);
}

} // namespace

std::string Failure::message(HotkeyCombo combo) const {
    switch (kind) {
    case Kind::noSelection:
        return "No text selected in " + app.value_or("the active app") + ".";
    case Kind::copyTimedOut:
        return app.value_or("That app") + " didn't respond to Copy — try selecting again.";
    case Kind::notTrusted:
        return "Grant Accessibility, then press " + shortcutText(combo, 'C') + " again.";
    }
    return {};
}

std::expected<Result, Failure> capture(const SelectionSteps& steps,
                                       const std::optional<ActiveWindow>& frontmost) {
    if (!steps.copy.canSynthesise()) {
        return std::unexpected(Failure{Failure::Kind::notTrusted, std::nullopt});
    }
    const std::string nameForLog = appName(frontmost).value_or("?");
    if (auto text = readWithoutClipboard(steps, frontmost)) {
        text = text::validUTF8(*text);
        logger().info("accessibility read " + std::to_string(text::characterCount(*text)) +
                      " chars from " + nameForLog);
        return makeResult(std::move(*text), "accessibility", frontmost);
    }
    logger().info("accessibility read nothing from " + nameForLog + "; trying copy");
    return copyFallback(steps, frontmost);
}

std::optional<std::string> focusedWindowTitle(std::string_view title,
                                              std::optional<std::string_view> appName) {
    const auto trimmed = titleWithoutApplication(title, appName, {" — ", " - ", " – "});
    if (!trimmed) {
        return std::nullopt;
    }
    const std::string lower = text::lowercased(*trimmed);
    for (const std::string_view placeholder :
         {"untitled", "new tab", "new document", "untitled document"}) {
        if (lower == placeholder) {
            return std::nullopt;
        }
    }
    return text::characterPrefix(*trimmed, maxWindowTitleCharacters);
}

std::optional<CopyKeystroke> copyKeystroke(const std::optional<ActiveWindow>& app) {
    if (!app) {
        return CopyKeystroke::controlC;
    }
    const std::string programClass = text::lowercased(app->name);
    const std::string instance = text::lowercased(app->identifier);
    const auto isOneOf = [&](auto&& names) {
        for (const std::string_view name : names) {
            if (programClass == name || instance == name) {
                return true;
            }
        }
        return false;
    };
    // These send Control+Shift+C to the program as an interrupt, like Control+C.
    constexpr std::array<std::string_view, 8> interruptingTerminals{
        "xterm", "uxterm", "urxvt", "rxvt", "st", "st-256color", "aterm", "eterm"};
    constexpr std::array<std::string_view, 24> copyingTerminals{"gnome-terminal",
                                                                "gnome-terminal-server",
                                                                "konsole",
                                                                "xfce4-terminal",
                                                                "tilix",
                                                                "terminator",
                                                                "alacritty",
                                                                "kitty",
                                                                "org.wezfurlong.wezterm",
                                                                "wezterm",
                                                                "foot",
                                                                "lxterminal",
                                                                "mate-terminal",
                                                                "qterminal",
                                                                "terminology",
                                                                "guake",
                                                                "tilda",
                                                                "sakura",
                                                                "deepin-terminal",
                                                                "kgx",
                                                                "org.gnome.console",
                                                                "org.gnome.ptyxis",
                                                                "ptyxis",
                                                                "cool-retro-term"};
    if (isOneOf(interruptingTerminals)) {
        return std::nullopt;
    }
    return isOneOf(copyingTerminals) ? CopyKeystroke::controlShiftC : CopyKeystroke::controlC;
}

} // namespace tarvo::desktop::TextSelectionCapture
