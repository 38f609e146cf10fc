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
    SelectionSteps steps{selected, clipboard, clipboard, modifiers, sleeper, thread};
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
    EXPECT_TRUE(clipboard.keystrokes.empty());
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
    EXPECT_EQ(clipboard.keystrokes, std::vector{CopyKeystroke::controlC});

    // An empty clipboard is left with the copied text.
    clipboard.items.clear();
    clipboard.answer = "copied";
    ASSERT_TRUE(capture(editor));
    EXPECT_EQ(clipboard.items, (std::vector{ClipboardItem{{{"text/plain", "copied"}}}}));
}

TEST_F(TextSelectionCaptureTest, SaysWhatWentWrong) {
    clipboard.items = {ClipboardItem{{{"text/plain", "kept"}}}};
    EXPECT_EQ(failureText(editor), "Mousepad didn't respond to Copy — try selecting again.");
    EXPECT_EQ(failureText(std::nullopt), "That app didn't respond to Copy — try selecting again.");
    EXPECT_EQ(clipboard.restores, 0);
    EXPECT_EQ(clipboard.items, (std::vector{ClipboardItem{{{"text/plain", "kept"}}}}));

    clipboard.answer = " \n\t ";
    EXPECT_EQ(failureText(editor), "No text selected in Mousepad.");
    EXPECT_EQ(failureText(std::nullopt), "No text selected in the active app.");

    clipboard.trusted = false;
    EXPECT_EQ(failureText(editor), "Grant Accessibility, then press Ctrl+Alt+C again.");
}

TEST_F(TextSelectionCaptureTest, NeverSendsAnInterruptToATerminal) {
    clipboard.answer = "ls -la";
    ActiveWindow konsole{.name = "konsole", .identifier = "konsole", .title = ""};
    ASSERT_TRUE(capture(konsole));
    EXPECT_EQ(clipboard.keystrokes, std::vector{CopyKeystroke::controlShiftC});

    ActiveWindow xterm{.name = "XTerm", .identifier = "xterm", .title = ""};
    EXPECT_EQ(failureText(xterm), "No text selected in XTerm.");
    EXPECT_EQ(clipboard.keystrokes.size(), 1U);
}

TEST_F(TextSelectionCaptureTest, ReleasesModifiersStillHeldAfterASecondAndCopiesAnyway) {
    clipboard.answer = "copied";
    modifiers.heldForLooks = 1000;
    ASSERT_TRUE(capture(editor));
    EXPECT_TRUE(modifiers.releasedByUs);
    EXPECT_EQ(slept(), 1005ms);
    EXPECT_EQ(clipboard.keystrokes.size(), 1U);

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
