#!/usr/bin/python3
"""The hot keys end to end, pressed as a person would with xdotool on a private X server (Xvfb)
with a window manager (openbox), a tray host and the accessibility bus: selected text captured
from a real editor (mousepad) and a real terminal (xterm), shown in the toast, filed by the dev
backend six seconds later; Undo, a replacing capture, a program that ignores copy, a key another
program holds, and quick entry. Run inside dbus-run-session so the session bus is private.

    dbus-run-session -- /usr/bin/python3 hotkeys_end_to_end.py --bin build/bin
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_end_to_end as e2e  # noqa: E402  (the shared harness: display, backend, AT-SPI)
from desktop_end_to_end import Failure, find, find_text, press, wait_for, xdotool  # noqa: E402

UNDO_WINDOW = 6.0
NOTES = "Buy stamps and post the parcel\nCall the plumber on Friday\n"


def key(*keys):
    xdotool("key", "--clearmodifiers", *keys)


def focus(window):
    xdotool("windowactivate", "--sync", window)
    wait_for("the window in front", lambda: xdotool("getactivewindow") == window)


def start_window(session, name, command, window_class):
    session.start(name, command)
    return wait_for(name + "'s window", lambda: (xdotool("search", "--onlyvisible", "--class",
                                                         window_class).split() or [None])[0])


def entries(backend):
    return [entry["body"] for entry in backend.entries()]


def toast_says(pattern):
    return wait_for("the toast " + pattern, lambda: find_text(pattern), limit=15)


def captured(backend, count, seconds=UNDO_WINDOW + 20):
    """Waits for the backend to hold `count` captures and gives the newest."""
    return wait_for("%d capture(s) at the backend" % count,
                    lambda: len(entries(backend)) >= count and entries(backend)[-1],
                    limit=seconds)


def stays(backend, count):
    """The backend still holds `count` captures once the undo window has passed."""
    time.sleep(UNDO_WINDOW + 1.5)
    if len(entries(backend)) != count:
        raise Failure("expected %d captures, got %r" % (count, entries(backend)))


def check(body, content, app, title):
    expected = {"content": content, "source_type": "text_capture", "tags": ["desktop"],
                "source_app": app, "title": title}
    actual = {name: body.get(name) for name in expected}
    if actual != expected:
        raise Failure("expected %r, got %r" % (expected, actual))


def editor_captures(session, backend, folder):
    notes = os.path.join(folder, "notes.txt")
    with open(notes, "w") as file:
        file.write(NOTES)
    editor = start_window(session, "mousepad", ["mousepad", notes], "mousepad")
    focus(editor)

    # With NumLock on, the key still fires; the whole text is filed six seconds later.
    key("Num_Lock")
    key("ctrl+a")
    key("ctrl+alt+c")
    key("Num_Lock")
    toast_says(r"^Captured from Mousepad$")
    # Mousepad's title is the file's path followed by " - Mousepad", which is taken off.
    check(captured(backend, 1), NOTES.strip(), "Mousepad", notes)

    # Undo sends nothing.
    key("ctrl+alt+c")
    toast_says(r"^Captured from Mousepad$")
    press("Undo")
    stays(backend, 1)

    # A second capture within the window replaces the first: only the first line is filed.
    key("ctrl+alt+c")
    toast_says(r"^Captured from Mousepad$")
    key("ctrl+Home", "shift+End")
    key("ctrl+alt+c")
    check(captured(backend, 2), "Buy stamps and post the parcel", "Mousepad", notes)
    stays(backend, 2)
    return editor


def terminal_capture(session, backend):
    terminal = start_window(session, "xterm", ["xterm", "-geometry", "60x10+0+0", "-e", "sh",
                                               "-c", "echo terminal words here; exec cat"],
                            "xterm")
    focus(terminal)
    # Dragging over the first line selects it and xterm owns the primary selection; the line may
    # not be drawn yet on a busy machine, so drag until it is selected.
    def select_first_line():
        xdotool("mousemove", "--window", terminal, "3", "6", "mousedown", "1", "mousemove",
                "--window", terminal, "200", "8", "mouseup", "1")
        return selection("primary", "UTF8_STRING").strip() == b"terminal words here"
    wait_for("the terminal's selection", select_first_line)
    key("ctrl+alt+c")
    toast_says(r"^Captured from XTerm$")
    body = captured(backend, 3)
    if body.get("content") != "terminal words here" or body.get("source_app") != "XTerm":
        raise Failure("unexpected terminal capture %r" % body)


def ignored_copy(session, backend, folder):
    image = os.path.join(folder, "picture.png")
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                             "desktop", "ui", "icons", "app.svg"), image)
    session.start("xclip", ["xclip", "-selection", "clipboard", "-t", "image/svg+xml", "-i",
                            image])
    wait_for("the clipboard", lambda: clipboard("TARGETS"))
    before = (clipboard("TARGETS"), clipboard("image/svg+xml"))
    window = start_window(session, "xmessage", ["xmessage", "-geometry", "+300+300",
                                                "nothing to copy here"], "xmessage")
    focus(window)
    key("ctrl+alt+c")
    open_menu_for(r"^Xmessage didn't respond to Copy — try selecting again\.$")
    after = (clipboard("TARGETS"), clipboard("image/svg+xml"))
    if after != before:
        raise Failure("the clipboard changed: %r became %r" % (before, after))


def selection(name, target):
    result = subprocess.run(["xclip", "-o", "-selection", name, "-t", target],
                            capture_output=True, timeout=10)
    return result.stdout if result.returncode == 0 else b""


def clipboard(target):
    return selection("clipboard", target)


def open_menu_for(pattern):
    e2e.run_cli(OPTIONS, ENVIRONMENT, "open")
    return wait_for("the menu line " + pattern, lambda: find_text(pattern))


def close_menu():
    xdotool("mousemove", "640", "700", "click", "1")
    wait_for("the menu to close", lambda: not find("Quit", "push button"))


def quick_entry(backend, editor):
    focus(editor)
    key("ctrl+alt+t")
    field = wait_for("the quick-entry box", lambda: find("What’s on your mind?", "text"))
    for thought in ("water the plants", "call Ana", "book the car"):
        wait_for("the box to have the focus", lambda: xdotool("getactivewindow") != editor)
        xdotool("type", "--delay", "20", thought)
        key("Return")
        wait_for('"Sent to docket ✓"', lambda: find_text(r"^Sent to docket ✓$"))
        wait_for("the box to clear", lambda: field.queryText().characterCount == 0)
    backend.fail_ingest(3)
    xdotool("type", "--delay", "20", "offline thought")
    key("Return")
    wait_for("the saved line", lambda: find_text(r"^Saved — will send when it can \(server 503\)$"))
    key("Escape")
    wait_for("the editor in front again", lambda: xdotool("getactivewindow") == editor)
    titles = [body.get("title") or body.get("content") for body in entries(backend)]
    for thought in ("water the plants", "call Ana", "book the car"):
        if not any(thought in (title or "") for title in titles):
            raise Failure("%r was not filed: %r" % (thought, titles))


GRABBER = r"""
import ctypes, signal, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                       ctypes.c_int, ctypes.c_int, ctypes.c_int]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
display = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(display)
for letter in "ct":
    code = x.XKeysymToKeycode(display, ord(letter))
    x.XGrabKey(display, code, 0x4 | 0x8, root, 0, 1, 1)  # Control+Alt, asynchronous
x.XSync(display, 0)
print("grabbed", flush=True)
signal.sigwait([signal.SIGTERM])
"""


def hold_keys(session):
    """Another program that holds Ctrl+Alt+C and Ctrl+Alt+T."""
    holder = session.start("holder", [sys.executable, "-c", GRABBER])
    wait_for("the other program's grab", lambda: "grabbed" in session.log("holder"))
    return holder


def ended_inside_the_window(session, backend, editor, app):
    """SIGTERM inside the undo window keeps the selection in the outbox; the next start sends it,
    once."""
    count = len(entries(backend))
    focus(editor)
    # A line not captured before: the same text within ten minutes files once.
    key("ctrl+End", "Up", "shift+End")
    key("ctrl+alt+c")
    toast_says(r"^Captured from Mousepad$")
    if session.stop(app, e2e.LIMIT) != 0:
        raise Failure("the app exited with %s:\n%s" % (app.returncode, session.log("app")))
    if len(entries(backend)) != count:
        raise Failure("the selection was sent although the app ended inside the window")
    session.start("app again", [os.path.join(OPTIONS.bin, e2e.APP_NAME)], env=ENVIRONMENT)
    # The next start flushes the outbox: the kept selection (and the quick task saved offline).
    kept = lambda: [body for body in entries(backend)[count:]
                    if body.get("content") == "Call the plumber on Friday"]
    wait_for("the kept selection at the backend", kept)
    time.sleep(2)
    if len(kept()) != 1:
        raise Failure("the kept selection was sent %d times" % len(kept()))


def start_desktop(session, programs):
    """Xvfb, openbox, the accessibility bus and a dev backend; gives the backend and the app's
    environment (its own folders, plain-file secrets, that backend, accessible widgets)."""
    e2e.start_display(session)
    session.start("openbox", ["openbox"])
    wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK" in subprocess.run(
        ["xprop", "-root"], capture_output=True, text=True).stdout)
    session.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    backend = e2e.Backend(e2e.start_backend(session, os.path.join(programs, "tarvo-devbackend")))
    folder = session.folder
    environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                       XDG_DATA_HOME=os.path.join(folder, "data"), XDG_RUNTIME_DIR=folder,
                       TARVO_SECRET_STORE="file", TARVO_API_BASE=backend.base,
                       TARVO_LOG="stderr", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                       QT_ACCESSIBILITY="1")
    return backend, environment


def sign_in(programs, environment):
    """Signs the demo user in with the command line and answers the AI question, so the app
    starts with a device token and no consent panel."""
    signin = subprocess.run([os.path.join(programs, "tarvo-capture"), "signin", "--email",
                             e2e.EMAIL, "--password-stdin"], input=e2e.PASSWORD, text=True,
                            env=environment, capture_output=True, timeout=e2e.LIMIT)
    if signin.returncode != 0:
        raise Failure("sign-in failed: %r" % signin)
    subprocess.run([os.path.join(programs, "tarvo-capture"), "consent", "grant"],
                   env=environment, capture_output=True, timeout=e2e.LIMIT)


def main():
    global OPTIONS, ENVIRONMENT
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    OPTIONS = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="tarvo-keys-e2e-")
    os.chmod(folder, 0o700)
    session = e2e.Session(folder)
    try:
        backend, ENVIRONMENT = start_desktop(session, OPTIONS.bin)
        # Another program holds both keys when the app starts.
        holder = hold_keys(session)
        sign_in(OPTIONS.bin, ENVIRONMENT)
        e2e.start_tray(session)
        app = session.start("app", [os.path.join(OPTIONS.bin, e2e.APP_NAME)], env=ENVIRONMENT)
        wait_for("the app", e2e.application)
        open_menu_for(r"^Couldn’t register Ctrl\+Alt\+C — another app may have it\.$")
        session.stop(holder)
        press("Capture selected text", "check box")
        press("Capture selected text", "check box")
        press("Quick task to docket", "check box")
        press("Quick task to docket", "check box")
        wait_for("the line to go", lambda: not find_text(r"^Couldn’t register"))
        close_menu()

        editor = editor_captures(session, backend, folder)
        terminal_capture(session, backend)
        ignored_copy(session, backend, folder)
        close_menu()
        quick_entry(backend, editor)
        ended_inside_the_window(session, backend, editor, app)
        print("1 passed, 0 failed")
        return 0
    except Failure as failure:
        e2e.report(failure, session, folder)
        return 1
    finally:
        session.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
