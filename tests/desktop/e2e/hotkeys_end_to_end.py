#!/usr/bin/python3
"""The hot keys end to end, pressed with xdotool (harness.py): selected text from a real editor
(mousepad) and terminal (xterm) shown in the toast and filed six seconds later; Undo by key and
by button, a replacing capture, a program that ignores copy, a key another program holds, quick
entry, and the app ended inside the undo window."""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import *  # noqa: E402,F403  the shared harness

UNDO_WINDOW = 6.0
NOTES = "Buy stamps and post the parcel\nCall the plumber on Friday\n"

# Another program that holds Ctrl+Alt+C and Ctrl+Alt+T (a root window's id fits in an int).
GRABBER = r"""
import ctypes, signal
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype, x.XKeysymToKeycode.restype = ctypes.c_void_p, ctypes.c_ubyte
display = ctypes.c_void_p(x.XOpenDisplay(None))
root = ctypes.c_ulong(x.XDefaultRootWindow(display))
for letter in "ct":  # Control+Alt, asynchronous
    x.XGrabKey(display, x.XKeysymToKeycode(display, ord(letter)), 0x4 | 0x8, root, 0, 1, 1)
x.XSync(display, 0)
print("grabbed", flush=True)
signal.sigwait([signal.SIGTERM])
"""


def capture(source):
    key("ctrl+alt+c")
    shown(r"^Captured from %s$" % source, limit=15)


def selection(name, target):
    return subprocess.run(["xclip", "-o", "-selection", name, "-t", target],  # empty if it fails
                          capture_output=True, timeout=10).stdout


def refused_keys(session):
    """Another program holds both keys when the app starts: the menu says so, and switching the
    keys off and on once it has let go registers them."""
    holder = session.start("holder", [sys.executable, "-c", GRABBER])
    wait_for("the other program's grab", lambda: "grabbed" in session.log("holder"))
    session.sign_in_with_cli("grant")
    start_tray(session)
    app = session.start_app()
    session.cli("open")
    shown(r"^Couldn’t register Ctrl\+Alt\+C — another app may have it\.$")
    session.stop(holder)
    for name in ["Capture selected text"] * 2 + ["Quick task to docket"] * 2:
        press(name, "check box")
    wait_for("the line to go", lambda: not find_text(r"^Couldn’t register"))
    close_menu()
    return app


def editor_captures(session):
    notes = os.path.join(session.folder, "notes.txt")
    with open(notes, "w") as file:
        file.write(NOTES)
    editor = start_window(session, "mousepad", ["mousepad", notes], "mousepad")

    # With NumLock on, the key still fires; the whole text is filed six seconds later.
    for keys in ("Num_Lock", "ctrl+a", "ctrl+alt+c", "Num_Lock"):
        key(keys)
    shown(r"^Captured from Mousepad$", limit=15)
    read_through_accessibility(session, "Mousepad", 1)
    # Mousepad's title is the file's path followed by " - Mousepad", which is taken off.
    note = dict(title=notes, source_app="Mousepad", source_type="text_capture", tags=["desktop"])
    expect_fields(session.filed(1), content=NOTES.strip(), **note)

    # Undo from the keyboard, as the toast says, sends nothing; the editor keeps the focus.
    capture("Mousepad")
    shown(r"^Press Ctrl\+Alt\+Z to undo$")
    alert = find_where(lambda node: node.getRoleName() == "alert")
    expect(alert and alert.name.startswith("Captured from Mousepad: "),
           "a screen reader does not hear the toast: %r" % (alert and alert.name))
    key("ctrl+alt+z")
    wait_for("the toast to go", lambda: not find_text(r"^Captured from"))
    expect(front_window_name().endswith(" - Mousepad"),
           "the undo took the focus from the editor to %r" % front_window_name())
    session.holds(1, after=UNDO_WINDOW + 1.5)

    # A second capture within the window replaces the first: only the first line is filed.
    capture("Mousepad")
    key("ctrl+Home", "shift+End")
    key("ctrl+alt+c")
    expect_fields(session.filed(2), content="Buy stamps and post the parcel", **note)
    session.holds(2, after=UNDO_WINDOW + 1.5)
    return editor


def read_through_accessibility(session, source, times):
    reads = len(re.findall(r"accessibility read \d+ chars from %s$" % re.escape(source),
                           session.log("app"), re.MULTILINE))
    expect(reads == times, "%d accessibility reads from %s, not %d:\n%s" % (
        reads, source, times, session.log("app")[-2000:]))


def walked_capture(session):
    """A toolkit on the accessibility bus without the collection interface (Qt): the focused text
    box is found by walking the window's tree. Undone, so nothing is filed."""
    count = len(session.bodies())
    start_window(session, "text box", [session.program("tarvo_test_text_box")],
                 "tarvo_test_text_box", env=session.environment)
    capture("tarvo_test_text_box")
    shown(r"^A line to capture, again and again\.$")
    read_through_accessibility(session, "tarvo_test_text_box", 1)
    press("Undo")
    wait_for("the toast to go", lambda: not find_text(r"^Captured from"))


def terminal_capture(session):
    terminal = start_window(session, "xterm", ["xterm", "-geometry", "60x10+0+0", "-e", "sh", "-c",
                                               "echo terminal words here; exec cat"], "xterm")
    # Dragging over the first line selects it and xterm owns the primary selection; the line may
    # not be drawn yet on a busy machine, so drag until it is selected.
    def select_first_line():
        xdotool("mousemove", "--window", terminal, "3", "6", "mousedown", "1", "mousemove",
                "--window", terminal, "200", "8", "mouseup", "1")
        return selection("primary", "UTF8_STRING").strip() == b"terminal words here"
    wait_for("the terminal's selection", select_first_line)
    capture("XTerm")
    expect_fields(session.filed(3), content="terminal words here", source_app="XTerm")


def ignored_copy(session):
    image = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "desktop",
                         "ui", "icons", "app.svg")
    session.start("xclip", ["xclip", "-selection", "clipboard", "-t", "image/svg+xml", "-i", image])
    clipboard = lambda: (selection("clipboard", "TARGETS"),  # noqa: E731
                         selection("clipboard", "image/svg+xml"))
    before = wait_for("the clipboard", lambda: clipboard()[0] and clipboard())
    # A program known not to be a terminal, off the accessibility bus, that ignores Copy.
    start_window(session, "ignoring copy",
                 [session.program("tarvo_test_text_box"), "--ignore-copy"], "tarvo_ignoring_copy")
    key("ctrl+alt+c")
    session.cli("open")
    shown(r"^tarvo_ignoring_copy didn't respond to Copy — try selecting again\.$")
    expect(clipboard() == before, "the clipboard changed: %r became %r" % (before, clipboard()))
    close_menu()


def quick_entry(session, editor):
    focus(editor)
    key("ctrl+alt+t")
    field = wait_for("the quick-entry box", lambda: find("What’s on your mind?", "text"))
    thoughts = ("water the plants", "call Ana", "book the car")
    for thought in thoughts:
        wait_for("the box to have the focus", lambda: xdotool("getactivewindow") != editor)
        xdotool("type", "--delay", "20", thought)
        key("Return")
        shown(r"^Sent to docket ✓$")
        wait_for("the box to clear", lambda: field.queryText().characterCount == 0)
    session.fault_ingest()
    xdotool("type", "--delay", "20", "offline thought")
    key("Return")
    shown(r"^Saved — will send when it can \(server 503\)$")
    key("Escape")
    wait_for("the editor in front again", lambda: xdotool("getactivewindow") == editor)
    titles = [body.get("title") or body.get("content") or "" for body in session.bodies()]
    for thought in thoughts:
        expect(any(thought in title for title in titles), "%r not filed: %r" % (thought, titles))


def ended_inside_the_window(session, editor, app):
    """Ended inside the undo window, the app sends the selection before it goes, and only once."""
    count = len(session.bodies())  # the selection is not sent before the window ends
    session.clear_faults()
    focus(editor)
    # A line not captured before: the same text within ten minutes files once.
    key("ctrl+End", "Up", "shift+End")
    capture("Mousepad")
    session.expect_clean_exit(app, terminate=True)
    sent = lambda: [body for body in session.bodies()[count:]  # noqa: E731
                    if body.get("content") == "Call the plumber on Friday"]
    expect(len(sent()) == 1, "sent %d times before the app ended" % len(sent()))
    session.start_app("app again")
    # The next start flushes the outbox (the quick task saved offline), and nothing more.
    wait_for("the offline thought at the backend",
             lambda: any(body.get("content") == "offline thought" for body in session.bodies()))
    time.sleep(2)
    expect(len(sent()) == 1, "the selection was sent %d times" % len(sent()))


def scenario(session, options):
    session.set_up()
    app = refused_keys(session)
    editor = editor_captures(session)
    walked_capture(session)
    terminal_capture(session)
    ignored_copy(session)
    quick_entry(session, editor)
    ended_inside_the_window(session, editor, app)


if __name__ == "__main__":
    sys.exit(main(scenario))
