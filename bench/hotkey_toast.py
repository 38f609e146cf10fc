#!/usr/bin/python3
"""Hot key to toast: the time from the selection hot key's press until the toast is on screen,
median of 20, on a fresh Xvfb with openbox: AT-SPI (mousepad on the accessibility bus, which
finds its focus itself), AT-SPI walk (a Qt text box, whose tree the app walks), PRIMARY
(mousepad kept off it) and the synthetic copy (the Qt text box off the bus, whose PRIMARY another
program has taken). The key is pressed through XTEST and the toast's mapping watched over one X
connection of this process, so no helper program's start is measured.
Not a test; goals: under 100 ms without the clipboard, under 300 ms with the copy.

    /usr/bin/python3 bench/hotkey_toast.py --bin build/bin [--runs 20]
"""

import argparse
import ctypes
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "desktop", "e2e"))
import harness as e2e  # noqa: E402  the end-to-end tests' session helpers
from harness import press, wait_for, xdotool  # noqa: E402


class XWindowAttributes(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("x", "y", "width", "height", "border_width",
                                                   "depth")] + [
        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("c_class", ctypes.c_int),
        ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class X:
    VIEWABLE = 2

    def __init__(self):
        self.lib = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.xtest = ctypes.cdll.LoadLibrary("libXtst.so.6")
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.POINTER(XWindowAttributes)]
        self.lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtest.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                 ctypes.c_ulong]
        self.display = self.lib.XOpenDisplay(None)

    def press(self, *keysyms):
        codes = [self.lib.XKeysymToKeycode(self.display, keysym) for keysym in keysyms]
        for code in codes:
            self.xtest.XTestFakeKeyEvent(self.display, code, 1, 0)
        for code in reversed(codes):
            self.xtest.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.lib.XSync(self.display, 0)

    def viewable(self, window):
        attributes = XWindowAttributes()
        self.lib.XGetWindowAttributes(self.display, window, ctypes.byref(attributes))
        return attributes.map_state == self.VIEWABLE


CONTROL_L, ALT_L, LETTER_C = 0xFFE3, 0xFFE9, ord("c")


def toast_window():
    found = xdotool("search", "--name", "^Captured$").split()
    return int(found[0]) if found else None


def measure(x, runs):
    """Presses the key `runs` times; gives the milliseconds until the toast was viewable."""
    times = []
    window = None
    for _ in range(runs + 1):
        if window is not None:
            wait_for("the toast to hide", lambda: not x.viewable(window))
        started = time.perf_counter()
        x.press(CONTROL_L, ALT_L, LETTER_C)
        if window is None:  # the first press builds the toast and is not counted
            window = wait_for("the toast", toast_window)
        else:
            while not x.viewable(window):
                if time.perf_counter() > started + 5:
                    raise e2e.Failure("no toast")
            times.append((time.perf_counter() - started) * 1000)
        press("Undo")
    return times


def prepare(session, options, path):
    folder = session.folder
    session.set_up()
    session.sign_in_with_cli("grant")
    session.start_app()
    if path in ("synthetic copy", "AT-SPI walk"):
        # A Qt text box: on the bus, its tree is walked (Qt offers no collection interface); off
        # it, it keeps its selection when another program takes PRIMARY, so only the copy
        # keystroke reads it.
        box = os.path.join(options.bin, "tarvo_test_text_box")
        if path == "AT-SPI walk":
            session.start("target", [box], env=session.environment)
        else:
            session.start("target", [box, "--off-bus"])
        target = wait_for("the text box",
                          lambda: e2e.visible_window("--class", "tarvo_test_text_box"))
        xdotool("windowactivate", "--sync", target)
        if path == "AT-SPI walk":
            return
        holder = subprocess.Popen(["xclip", "-selection", "primary", "-i"], stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        holder.communicate(b"another program's selection")
        return
    notes = os.path.join(folder, "notes.txt")
    with open(notes, "w") as file:
        file.write("A line to capture, again and again.\n")
    editor_environment = dict(os.environ)
    if path == "PRIMARY":
        editor_environment["NO_AT_BRIDGE"] = "1"
    session.start("mousepad", ["mousepad", notes], env=editor_environment)
    editor = wait_for("the editor", lambda: e2e.visible_window("--class", "mousepad"))
    xdotool("windowactivate", "--sync", editor)
    xdotool("key", "ctrl+a")

PATHS = ("AT-SPI", "AT-SPI walk", "PRIMARY", "synthetic copy")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--only", choices=PATHS, help="one path, on this session bus")
    options = parser.parse_args()
    if options.only is None:
        # Each path on a session bus of its own: the accessibility client keeps its first bus.
        for name in PATHS:
            subprocess.run(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                            "--bin", options.bin, "--runs", str(options.runs), "--only", name],
                           check=True, stderr=subprocess.DEVNULL)
        return 0
    session = e2e.Session(tempfile.mkdtemp(prefix="tarvo-bench-keys-"), options.bin)
    try:
        prepare(session, options, options.only)
        times = measure(X(), options.runs)
        if options.only == "synthetic copy" and "copy produced" not in session.log("app"):
            raise e2e.Failure("the copy path did not run")
        if options.only.startswith("AT-SPI") and not re.search(r"accessibility read [1-9]",
                                                                session.log("app")):
            raise e2e.Failure("the accessibility path did not run")
    except e2e.Failure:
        print(session.log("app")[-3000:], file=sys.stderr)
        raise
    finally:
        session.close()
    print("%-15s median %6.1f ms   min %6.1f   max %6.1f   (n=%d)"
          % (options.only, statistics.median(times), min(times), max(times), len(times)),
          flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
