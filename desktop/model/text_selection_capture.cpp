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

using Role = AccessibleFocus::Role;

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
                                                const std::optional<AccessibleFocus>& focus,
                                                const std::optional<ActiveWindow>& app) {
    if (focus) {
        if (auto text = text::trimmedNonEmpty(focus->selection)) {
            return text;
        }
    }
    auto primary = text::trimmedOptional(steps.selectedText.primarySelection(app));
    if (primary) {
        logger().info("read the primary selection");
    }
    return primary;
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

// Why the keystroke cannot be sent, as the failure tells it, or none when it can.
std::optional<Failure::Missing> missingForCopy(const SelectionSteps& steps) {
    switch (steps.copy.canSynthesise()) {
    case Synthesis::available:
        return std::nullopt;
    case Synthesis::noDisplay:
        logger().error("cannot synthesise keystroke — no X display");
        return Failure::Missing::display;
    case Synthesis::noXTest:
        logger().error("cannot synthesise keystroke — the X server has no XTEST");
        return steps.selectedText.accessibilityOn() ? Failure::Missing::xtest
                                                    : Failure::Missing::xtestAndAccessibility;
    case Synthesis::waylandSession:
        break;
    }
    return Failure::Missing::display;
}

std::expected<Result, Failure> copyFallback(const SelectionSteps& steps,
                                            const std::optional<AccessibleFocus>& focus,
                                            const std::optional<ActiveWindow>& app) {
    const auto name = appName(app);
    // Before the terminal check: under Wayland the frontmost program is often unknown, and the
    // person is better told which programs can be read.
    if (steps.copy.canSynthesise() == Synthesis::waylandSession) {
        logger().info("no copy keystroke in a Wayland session");
        return std::unexpected(Failure{Failure::Kind::notTrusted, name,
                                       steps.selectedText.accessibilityOn()
                                           ? Failure::Missing::waylandCopy
                                           : Failure::Missing::waylandAccessibility});
    }
    if (!maySendCopyKeystroke(steps, focus, app)) {
        logger().info("no copy keystroke: the program is or may be a terminal");
        return std::unexpected(Failure{Failure::Kind::noSelection, name});
    }
    if (const auto missing = missingForCopy(steps)) {
        return std::unexpected(Failure{Failure::Kind::notTrusted, name, *missing});
    }
    waitForModifiers(steps);
    auto saved = steps.clipboard.snapshot();
    const auto countBefore = steps.clipboard.changeCount();
    const CopyResult copied = steps.copy.copy(copyWait);
    if (std::holds_alternative<CannotSynthesise>(copied)) {
        logger().error("cannot synthesise keystroke — the X server refused it");
        return std::unexpected(Failure{Failure::Kind::notTrusted, name, Failure::Missing::xtest});
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
    // Also when nothing was saved: an empty clipboard stays empty.
    steps.clipboard.restore(std::move(saved));
    const auto& copiedText = std::get<std::string>(copied);
    logger().info("copy produced " + std::to_string(text::characterCount(copiedText)) + " chars");
    auto trimmed = text::trimmedNonEmpty(text::validUTF8(copiedText));
    if (!trimmed) {
        return std::unexpected(Failure{Failure::Kind::noSelection, name});
    }
    return makeResult(std::move(*trimmed), "copy", app);
}

std::string missingMessage(Failure::Missing missing, const std::optional<std::string>& app) {
    switch (missing) {
    case Failure::Missing::display:
        return "Can’t read selected text: there is no X display.";
    case Failure::Missing::xtest:
        return "Can’t send Copy to " + app.value_or("this app") +
               ": the X server has no XTEST extension.";
    case Failure::Missing::xtestAndAccessibility:
        return "Can’t read selected text: turn on the accessibility bus (AT-SPI); the X server "
               "has no XTEST extension.";
    case Failure::Missing::waylandCopy:
        return "No selected text found in " + app.value_or("the active app") +
               ". Under Wayland selected text is read through accessibility: GTK and Qt apps, "
               "Firefox, Chromium and LibreOffice work; terminals and other apps don’t.";
    case Failure::Missing::waylandAccessibility:
        return "Can’t read selected text: turn on the accessibility bus (AT-SPI). Under Wayland "
               "it is the only way to read a selection (GTK and Qt apps, Firefox, Chromium, "
               "LibreOffice).";
    }
    return {};
}

} // namespace

std::string Failure::message(HotkeyCombo) const {
    switch (kind) {
    case Kind::noSelection:
        return "No text selected in " + app.value_or("the active app") + ".";
    case Kind::copyTimedOut:
        return app.value_or("That app") + " didn't respond to Copy — try selecting again.";
    case Kind::notTrusted:
        return missingMessage(missing, app);
    case Kind::passwordField:
        return "Nothing captured from a password field.";
    }
    return {};
}

std::expected<Result, Failure> capture(const SelectionSteps& steps,
                                       const std::optional<ActiveWindow>& frontmostApp) {
    // A Wayland client is not told which window is in front; accessibility may know.
    const auto frontmost = frontmostApp ? frontmostApp : steps.selectedText.activeWindow();
    const std::string nameForLog = appName(frontmost).value_or("?");
    const auto focus = steps.selectedText.accessibleFocus(frontmost);
    if (focus && focus->role == Role::passwordText) {
        logger().info("the focus in " + nameForLog + " is a password field; nothing read");
        return std::unexpected(Failure{Failure::Kind::passwordField, appName(frontmost)});
    }
    if (auto text = readWithoutClipboard(steps, focus, frontmost)) {
        text = text::validUTF8(*text);
        logger().info("accessibility read " + std::to_string(text::characterCount(*text)) +
                      " chars from " + nameForLog);
        return makeResult(std::move(*text), "accessibility", frontmost);
    }
    logger().info("accessibility read nothing from " + nameForLog + "; trying copy");
    return copyFallback(steps, focus, frontmost);
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

bool isKnownTerminal(const ActiveWindow& app) {
    const std::string programClass = text::lowercased(app.name);
    const std::string instance = text::lowercased(app.identifier);
    static constexpr std::array<std::string_view, 42> terminals{"xterm",
                                                                "uxterm",
                                                                "urxvt",
                                                                "rxvt",
                                                                "st",
                                                                "st-256color",
                                                                "aterm",
                                                                "eterm",
                                                                "mlterm",
                                                                "kterm",
                                                                "gnome-terminal",
                                                                "gnome-terminal-server",
                                                                "konsole",
                                                                "yakuake",
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
                                                                "cool-retro-term",
                                                                "ghostty",
                                                                "com.mitchellh.ghostty",
                                                                "tabby",
                                                                "blackbox",
                                                                "com.raggesilver.blackbox",
                                                                "roxterm",
                                                                "hyper"};
    for (const std::string_view name : terminals) {
        if (programClass == name || instance == name) {
            return true;
        }
    }
    return false;
}

bool maySendCopyKeystroke(const SelectionSteps& steps, const std::optional<AccessibleFocus>& focus,
                          const std::optional<ActiveWindow>& app) {
    if ((focus && focus->role == Role::terminal) || !app || isKnownTerminal(*app)) {
        return false;
    }
    // The focused element was found in the program's own tree (its process is known) and is no
    // terminal: the keystroke goes there.
    if (focus && app->pid > 0) {
        return true;
    }
    return steps.terminals.holdsTerminal(*app) == false;
}

} // namespace tarvo::desktop::TextSelectionCapture
