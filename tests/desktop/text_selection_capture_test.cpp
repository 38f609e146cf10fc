#include <desktop/model/text_selection_capture.hpp>
#include <desktop/platform/fake/fake_selection_steps.hpp>

#include "support/recording_sleeper.hpp"

#include <gtest/gtest.h>

#include <numeric>

namespace tarvo::desktop {
namespace {

using namespace fake;

using namespace std::chrono_literals;

class TextSelectionCaptureTest : public testing::Test {
protected:
    FakeSelectedText selected;
    FakeClipboard clipboard;
    FakeModifierState modifiers;
    tarvo::test::RecordingSleeper sleeper;
    InlineCaptureThread thread;
    FakeTerminalProbe terminals;
    SelectionSteps steps{selected, clipboard, clipboard, modifiers, sleeper, thread, terminals};
    ActiveWindow editor{.id = 0x1400007,
                        .name = "Mousepad",
                        .identifier = "mousepad",
                        .pid = 4242,
                        .title = "notes.txt - Mousepad"};

    std::chrono::milliseconds slept() const {
        return std::accumulate(sleeper.pauses.begin(), sleeper.pauses.end(), 0ms);
    }
    auto capture(std::optional<ActiveWindow> app) {
        return TextSelectionCapture::capture(steps, app);
    }
    std::string failureText(std::optional<ActiveWindow> app) {
        auto result = capture(std::move(app));
        return result ? "captured" : result.error().message(HotkeyCombo::controlOption);
    }
};

TEST_F(TextSelectionCaptureTest, ReadsTheSelectionWithoutTheClipboardWhenItCan) {
    selected.accessible = "  the focused text's selection \n";
    auto result = capture(editor);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result,
              (TextSelectionCapture::Result{"the focused text's selection", "accessibility",
                                            "Mousepad", "mousepad", "notes.txt"}));

    selected.accessible = " ";
    selected.primary = "primary text";
    result = capture(editor);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "primary text");
    EXPECT_EQ(result->method, "accessibility");
    EXPECT_EQ(clipboard.keystrokes, 0);
}

TEST_F(TextSelectionCaptureTest, CopiesAndPutsEveryClipboardFormatBack) {
    const std::vector<ClipboardItem> before{
        ClipboardItem{{{"text/plain", "earlier"}, {"image/png", std::string("\x89PNG\0\x01", 6)}}}};
    clipboard.items = before;
    clipboard.answer = std::string(1024 * 1024, 'x') + "  ";
    auto result = capture(editor);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->method, "copy");
    EXPECT_EQ(result->text.size(), 1024U * 1024U);
    EXPECT_EQ(clipboard.items, before);
    EXPECT_EQ(clipboard.keystrokes, 1);

    // An empty clipboard stays empty.
    clipboard.items.clear();
    clipboard.answer = "copied";
    result = capture(editor);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "copied");
    EXPECT_TRUE(clipboard.items.empty());
}

TEST_F(TextSelectionCaptureTest, SaysWhatWentWrong) {
    const ActiveWindow stranger{.id = 2, .name = "", .identifier = "", .pid = 77, .title = ""};
    clipboard.items = {ClipboardItem{{{"text/plain", "kept"}}}};
    EXPECT_EQ(failureText(editor), "Mousepad didn't respond to Copy — try selecting again.");
    EXPECT_EQ(failureText(stranger), "That app didn't respond to Copy — try selecting again.");
    EXPECT_EQ(clipboard.restores, 0);
    EXPECT_EQ(clipboard.items, (std::vector{ClipboardItem{{{"text/plain", "kept"}}}}));

    clipboard.answer = " \n\t ";
    EXPECT_EQ(failureText(editor), "No text selected in Mousepad.");
    EXPECT_EQ(failureText(stranger), "No text selected in the active app.");

    // What is missing, in words a person can act on; accessibility is tried first all the same.
    clipboard.synthesis = Synthesis::noXTest;
    EXPECT_EQ(failureText(editor),
              "Can’t send Copy to Mousepad: the X server has no XTEST extension.");
    selected.busOn = false;
    EXPECT_EQ(failureText(editor), "Can’t read selected text: turn on the accessibility bus "
                                   "(AT-SPI); the X server has no XTEST extension.");
    clipboard.synthesis = Synthesis::noDisplay;
    EXPECT_EQ(failureText(editor), "Can’t read selected text: there is no X display.");
    selected.busOn = true;
    selected.accessible = "read without the keystroke";
    EXPECT_EQ(capture(editor)->text, "read without the keystroke");
    selected.accessible.reset();
    selected.primary = "from the primary selection";
    EXPECT_EQ(capture(editor)->text, "from the primary selection");
    EXPECT_EQ(clipboard.keystrokes, 4);
}

TEST_F(TextSelectionCaptureTest,
       UnderWaylandAccessibilityIsTheOnlyWayAndTheMessageSaysWhereItWorks) {
    clipboard.synthesis = Synthesis::waylandSession;
    clipboard.answer = "never copied";
    selected.accessible = "read through accessibility";
    // The frontmost program is unknown to a Wayland client: any active window's focus is read.
    EXPECT_EQ(capture(std::nullopt)->text, "read through accessibility");
    selected.accessible.reset();
    EXPECT_EQ(failureText(std::nullopt),
              "No selected text found in the active app. Under Wayland selected text is read "
              "through accessibility: GTK and Qt apps, Firefox, Chromium and LibreOffice work; "
              "terminals and other apps don’t.");
    selected.busOn = false;
    EXPECT_EQ(failureText(editor), "Can’t read selected text: turn on the accessibility bus "
                                   "(AT-SPI). Under Wayland it is the only way to read a "
                                   "selection (GTK and Qt apps, Firefox, Chromium, LibreOffice).");
    EXPECT_EQ(clipboard.keystrokes, 0);
    EXPECT_TRUE(clipboard.items.empty());
}

TEST_F(TextSelectionCaptureTest, WithoutAFrontmostWindowAccessibilityNamesTheProgram) {
    clipboard.synthesis = Synthesis::waylandSession;
    selected.active = ActiveWindow{.id = 0,
                                   .name = "Mousepad",
                                   .identifier = "",
                                   .pid = 4242,
                                   .title = "notes.txt - Mousepad"};
    selected.accessible = "read through accessibility";
    EXPECT_EQ(*capture(std::nullopt),
              (TextSelectionCapture::Result{"read through accessibility", "accessibility",
                                            "Mousepad", std::nullopt, "notes.txt"}));

    // Nothing selected there: the primary selection is read for that program, and a failure
    // names it.
    selected.accessible = "";
    selected.primary = " selected in the editor ";
    auto result = capture(std::nullopt);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "selected in the editor");
    EXPECT_EQ(result->sourceApp, "Mousepad");
    EXPECT_EQ(selected.primaryAskedFor.back(), selected.active);
    selected.primary.reset();
    EXPECT_EQ(failureText(std::nullopt),
              "No selected text found in Mousepad. Under Wayland selected text is read through "
              "accessibility: GTK and Qt apps, Firefox, Chromium and LibreOffice work; terminals "
              "and other apps don’t.");

    // No window is active anywhere: the primary selection is still read, from no named program.
    selected.active.reset();
    selected.primary = "owned by a program without accessibility";
    result = capture(std::nullopt);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "owned by a program without accessibility");
    EXPECT_EQ(result->sourceApp, std::nullopt);
    EXPECT_EQ(result->windowTitle, std::nullopt);
    EXPECT_EQ(selected.primaryAskedFor.back(), std::nullopt);

    // The window the session says is in front comes before accessibility's.
    selected.active =
        ActiveWindow{.id = 0, .name = "Other", .identifier = "", .pid = 1, .title = ""};
    EXPECT_EQ(capture(editor)->sourceApp, "Mousepad");
    EXPECT_EQ(selected.primaryAskedFor.back(), editor);
    EXPECT_EQ(clipboard.keystrokes, 0);
}

TEST_F(TextSelectionCaptureTest, APasswordFieldGivesNothingAtAll) {
    selected.role = AccessibleFocus::Role::passwordText;
    selected.accessible = "●●●●●●●";
    selected.primary = "hunter2";
    clipboard.answer = "hunter2";
    EXPECT_EQ(failureText(editor), "Nothing captured from a password field.");
    EXPECT_TRUE(selected.primaryAskedFor.empty());
    EXPECT_EQ(clipboard.keystrokes, 0);
    EXPECT_TRUE(clipboard.items.empty());
}

TEST_F(TextSelectionCaptureTest, OnlyAProgramKnownNotToBeATerminalGetsTheKeystroke) {
    clipboard.answer = "ls -la";
    const auto keystrokeSent = [&](const std::optional<ActiveWindow>& app) {
        const int before = clipboard.keystrokes;
        static_cast<void>(capture(app));
        return clipboard.keystrokes > before;
    };
    // A terminal by the role of its focused element, whatever it is called.
    selected.role = AccessibleFocus::Role::terminal;
    ActiveWindow renamed{.name = "Notes", .identifier = "notes", .pid = 300, .title = ""};
    EXPECT_FALSE(keystrokeSent(renamed));
    EXPECT_EQ(failureText(renamed), "No text selected in Notes.");
    // Its primary selection is still read.
    selected.primary = "echo from the terminal";
    EXPECT_EQ(capture(renamed)->text, "echo from the terminal");
    selected.primary.reset();

    // Without accessibility: by name, else by its process.
    selected.role.reset();
    EXPECT_FALSE(keystrokeSent(
        ActiveWindow{.name = "Yakuake", .identifier = "yakuake", .pid = 5, .title = ""}));
    EXPECT_FALSE(
        keystrokeSent(ActiveWindow{.name = "XTerm", .identifier = "xterm", .pid = 6, .title = ""}));
    terminals.holds = true;
    EXPECT_FALSE(keystrokeSent(renamed));
    terminals.holds = std::nullopt; // another user's process, or gone: unsure
    EXPECT_FALSE(keystrokeSent(renamed));
    EXPECT_FALSE(keystrokeSent(std::nullopt));
    terminals.holds = false;
    EXPECT_TRUE(keystrokeSent(renamed));

    // An editor with a terminal open in a panel, its text focused.
    terminals.holds = true;
    selected.role = AccessibleFocus::Role::other;
    EXPECT_TRUE(keystrokeSent(renamed));
    renamed.pid = 0; // the focus found may be another program's
    EXPECT_FALSE(keystrokeSent(renamed));
}

TEST_F(TextSelectionCaptureTest, ReleasesModifiersStillHeldAfterASecondAndCopiesAnyway) {
    clipboard.answer = "copied";
    modifiers.heldForLooks = 1000;
    ASSERT_TRUE(capture(editor));
    EXPECT_TRUE(modifiers.releasedByUs);
    EXPECT_EQ(slept(), 1005ms);
    EXPECT_EQ(clipboard.keystrokes, 1);

    modifiers.releasedByUs = false;
    modifiers.looks = 0;
    modifiers.heldForLooks = 3;
    sleeper.pauses.clear();
    ASSERT_TRUE(capture(editor));
    EXPECT_FALSE(modifiers.releasedByUs);
    EXPECT_EQ(slept(), 45ms);
}

TEST(FocusedWindowTitleTest, TakesTheProgramOffAndDropsPlaceholders) {
    using TextSelectionCapture::focusedWindowTitle;
    EXPECT_EQ(focusedWindowTitle("Plan — Mousepad", "Mousepad"), "Plan");
    EXPECT_EQ(focusedWindowTitle("Plan – Mousepad", "Mousepad"), "Plan");
    EXPECT_EQ(focusedWindowTitle("Plan | Mousepad", "Mousepad"), "Plan | Mousepad");
    EXPECT_EQ(focusedWindowTitle("  Untitled ", "Mousepad"), std::nullopt);
    EXPECT_EQ(focusedWindowTitle("Untitled Document - Mousepad", "Mousepad"), std::nullopt);
    EXPECT_EQ(focusedWindowTitle("NEW TAB", std::nullopt), std::nullopt);
    EXPECT_EQ(focusedWindowTitle(std::string(400, 'a'), std::nullopt), std::string(300, 'a'));
}

} // namespace
} // namespace tarvo::desktop
