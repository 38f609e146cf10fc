"""The end-to-end runs' harness: Xvfb, openbox, trayer, the accessibility bus and a dev backend;
controls found by accessible name and pressed through AT-SPI, keys and clicks sent by xdotool;
every wait for a condition, with a generous limit. Each script runs on a private session bus:

    dbus-run-session -- /usr/bin/python3 tests/desktop/e2e/SCRIPT.py --bin build/bin
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

import pyatspi
from gi.repository import GLib

LIMIT = 60.0  # seconds for any one condition on a loaded machine
APP_NAME = "tarvo-capture-desktop"
EMAIL, PASSWORD = "demo@tarvo.test", "tarvo-demo"


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_fields(body, **expected):
    actual = {name: body.get(name) for name in expected}
    expect(actual == expected, "expected %r, got %r" % (expected, actual))


def wait_for(what, condition, limit=LIMIT):
    deadline = time.monotonic() + limit
    while not (value := condition()):
        expect(time.monotonic() <= deadline, "timed out waiting for " + what)
        time.sleep(0.1)
    return value


class Session:
    """One run: its folder and processes, its desktop and dev backend, the app's environment."""

    def __init__(self, folder, programs=None):
        self.folder, self.programs, self.processes = folder, programs, []

    def start(self, name, command, env=None, **options):
        with open(os.path.join(self.folder, name + ".log"), "wb") as log:
            self.processes.append(subprocess.Popen(
                command, env=env, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                **options))
        return self.processes[-1]

    def stop(self, process, limit=15):
        if process.poll() is None:
            process.terminate()
            try:
                return process.wait(limit)
            except subprocess.TimeoutExpired:
                process.kill()
        return process.wait()

    def close(self):
        for process in reversed(self.processes):
            self.stop(process, 5)

    def log(self, name):
        with open(os.path.join(self.folder, name + ".log"), "rb") as log:
            return log.read().decode("utf-8", "replace")

    def set_up(self, screen="1280x800", **environment):
        """The app gets its own folders, plain-file secrets, this backend and accessible widgets."""
        # The programs a run drives (mousepad) keep their settings in memory: a run that ended one
        # of them must not leave a "restore the previous session?" question for the next run.
        os.environ["GSETTINGS_BACKEND"] = "memory"
        start_display(self, screen)
        start_window_manager(self)
        self.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        self.base = start_backend(self, self.program("tarvo-devbackend"))
        self.environment = dict(
            os.environ, XDG_CONFIG_HOME=self.folder + "/config", XDG_RUNTIME_DIR=self.folder,
            XDG_DATA_HOME=self.folder + "/data", TARVO_SECRET_STORE="file",
            TARVO_API_BASE=self.base, TARVO_LOG="stderr",
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", **environment)

    def app_environment(self):
        """The app's environment; the command line, the backend and other programs get theirs."""
        return self.environment

    def program(self, name):
        return os.path.join(self.programs, name)

    def start_app(self, name="app", arguments=()):
        wait_for("the previous app to leave the accessibility bus", lambda: application() is None)
        app = self.start(name, [self.program(APP_NAME), *arguments], env=self.app_environment())
        wait_for("the app on the accessibility bus", application)
        return app

    def expect_clean_exit(self, app, terminate=False):
        status = self.stop(app, LIMIT) if terminate else app.wait(LIMIT)
        expect(status == 0, "the app exited with %s:\n%s" % (status, self.log("app")))

    def cli(self, *arguments, input=None):
        return subprocess.run([self.program("tarvo-capture"), *arguments], input=input, text=True,
                              env=self.environment, capture_output=True, timeout=LIMIT)

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as reply:
            text = reply.read().decode()
            return json.loads(text) if text else None

    def bodies(self):
        return [entry["body"] for entry in self.call("GET", "/__dev/users/%s/entries" % EMAIL)]

    def filed(self, count, limit=LIMIT):
        """Waits for `count` captures and gives the newest."""
        return wait_for("%d capture(s) at the backend" % count,
                        lambda: len(self.bodies()) >= count and self.bodies()[-1], limit)

    def holds(self, count, after=0):
        """Expects `count` captures, `after` seconds from now."""
        time.sleep(after)
        bodies = self.bodies()
        expect(len(bodies) == count, "expected %d captures, got %d: %r" % (
            count, len(bodies), [str(body)[:200] for body in bodies]))

    def fault_ingest(self, **fault):
        """Makes the capture endpoint misbehave; by default it refuses the next three."""
        fault = fault or {"status": 503, "count": 3}
        self.call("POST", "/__dev/faults", {"path": "/functions/v1/capture-ingest", **fault})

    def clear_faults(self):
        self.call("DELETE", "/__dev/faults")

    def sign_in_with_cli(self, consent):
        """So that the app starts with a device token and no question about AI."""
        for answer in (self.cli("signin", "--email", EMAIL, "--password-stdin", input=PASSWORD),
                       self.cli("consent", consent)):
            expect(answer.returncode == 0, "the command line failed: %r" % answer)


def start_display(session, screen="1280x800"):
    read_end, write_end = os.pipe()
    # -noreset: without it the server resets whenever its last client leaves (the readiness
    # probe, say), and refuses the clients that connect meanwhile.
    session.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0",
                           screen + "x24", "-nolisten", "tcp"], pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        number = pipe.readline()
    expect(number.endswith(b"\n"), "Xvfb did not start:\n" + session.log("xvfb"))
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    wait_for("the X server",
             lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0)


def start_window_manager(session):
    """openbox, once it manages the screen (it announces itself on the root window)."""
    manager = session.start("openbox", ["openbox"])
    wait_for("the window manager", lambda: manager.poll() is not None or "window id" in
             subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
                            text=True).stdout)
    expect(manager.poll() is None, "openbox ended:\n" + session.log("openbox"))


def start_tray(session):
    session.start("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                             "request", "--height", "24", "--SetDockType", "true"])
    # Its panel is mapped only once an icon docks; until then its windows are unmapped.
    return wait_for("the tray host", lambda: xdotool("search", "--class", "trayer"))


def start_backend(session, binary):
    process = session.start("backend", [binary, "--demo", "--port", "0", "--db",
                                        os.path.join(session.folder, "backend.sqlite3")])
    match = wait_for("the dev backend", lambda: process.poll() is not None or re.search(
        r"listening on (http://\S+)", session.log("backend")))
    expect(process.poll() is None, "the dev backend ended:\n" + session.log("backend"))
    return match.group(1)


def xdotool(*arguments):
    result = subprocess.run(["xdotool", *arguments], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else ""


def key(*keys):
    xdotool("key", "--clearmodifiers", *keys)


def visible_window(*search):
    return (xdotool("search", "--onlyvisible", *search).split() or [None])[0]


def start_window(session, name, command, window_class, env=None):
    """Starts a program and brings its window to the front."""
    session.start(name, command, env=env)
    window = wait_for(name + "'s window", lambda: visible_window("--class", window_class))
    focus(window)
    return window


def front_window_name():
    """The name of the window that has the keyboard (a program may own several windows)."""
    active = xdotool("getactivewindow")
    return xdotool("getwindowname", active) if active else ""


def focus(window):
    xdotool("windowactivate", "--sync", window)
    wait_for("the window in front", lambda: xdotool("getactivewindow") == window)


def window_place(window):
    """A window's X, Y, WIDTH and HEIGHT; empty without a window."""
    lines = xdotool("getwindowgeometry", "--shell", window).splitlines() if window else []
    return {key: int(value) for key, value in (line.split("=") for line in lines)}


def frame_place(window):
    """The window with the frame the window manager put around it (_NET_FRAME_EXTENTS)."""
    place = window_place(window)
    extents = subprocess.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], capture_output=True,
                             text=True).stdout
    numbers = [int(number) for number in re.findall(r"\d+", extents.partition("=")[2])]
    left, right, top, bottom = numbers if len(numbers) == 4 else (0, 0, 0, 0)
    return dict(X=place["X"] - left, Y=place["Y"] - top, WIDTH=place["WIDTH"] + left + right,
                HEIGHT=place["HEIGHT"] + top + bottom)


def tray_place():
    """The tray host's visible panel (mapped once an icon docks)."""
    return window_place(visible_window("--class", "trayer"))


def menu_place():
    return window_place(visible_window("--name", "^tarvo Capture$"))


def tray_width():
    return tray_place().get("WIDTH", 0)


def click_tray():
    if place := tray_place():
        xdotool("mousemove", str(place["X"] + place["WIDTH"] // 2),
                str(place["Y"] + place["HEIGHT"] // 2), "click", "1")


def menu_is_up():
    return bool(find("Quit", "push button"))


def set_menu(up, click):
    """Clicks (the tray icon, or away from the menu) until the menu is up or closed."""
    def reached():
        if menu_is_up() == up:
            return True
        click()
        time.sleep(0.5)  # give the menu its chance before clicking again
        return menu_is_up() == up
    wait_for("the menu to " + ("open" if up else "close"), reached)


def open_menu():
    set_menu(True, click_tray)


def close_menu(click=lambda: xdotool("mousemove", "640", "700", "click", "1")):
    set_menu(False, click)


# Accessibility: the app's tree, searched by accessible name and role.

def application():
    desktop = pyatspi.Registry.getDesktop(0)
    apps = (desktop.getChildAtIndex(index) for index in range(desktop.childCount))
    return next((app for app in apps if app is not None and app.name == APP_NAME), None)


def showing(accessible):
    try:
        return accessible.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # the widget went away while we looked
        return False


def find_where(test):
    """The first showing control that passes `test`, or None."""
    root = application()
    try:
        return root and pyatspi.findDescendant(
            root, lambda node: node is not None and test(node) and showing(node),
            breadth_first=True)
    except GLib.GError:  # a window went away while we walked the tree: look again
        return None


def is_focused(accessible):
    try:
        return accessible.getState().contains(pyatspi.STATE_FOCUSED)
    except Exception:  # the widget went away while we looked
        return False


def find(name, role=None):
    return find_where(lambda node: node.name == name and role in (None, node.getRoleName()))


def find_text(pattern):
    return find_where(lambda node: node.getRoleName() == "label" and
                      re.search(pattern, node.name or ""))


def shown(pattern, limit=LIMIT):
    return wait_for(pattern, lambda: find_text(pattern), limit)


def labels():
    root = application()
    return root and [node.name for node in pyatspi.findAllDescendants(
        root, lambda node: node is not None and node.getRoleName() == "label" and showing(node))]


def press(name, role="push button"):
    wait_for('"%s"' % name, lambda: find(name, role)).queryAction().doAction(0)


def type_into(name, text):
    field = wait_for('"%s"' % name, lambda: find(name, "text") or find(name, "password text"))
    field.queryEditableText().setTextContents(text)


def report(failure, session, names=("app", "app again", "backend", "openbox", "trayer")):
    print("FAILED: %s" % failure, file=sys.stderr)
    for name in names:
        if os.path.exists(os.path.join(session.folder, name + ".log")):
            print("--- %s log ---\n%s" % (name, session.log(name)[-4000:]), file=sys.stderr)
    print("--- showing ---\n%r" % labels(), file=sys.stderr)  # last: the app may be gone


def main(scenario, *flags):
    """Runs `scenario(session, options)` with --bin (the folder of the built programs) and the
    given flags; once more if the X server was lost, which is the machine's fault, not the app's."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    for flag in flags:
        parser.add_argument(flag, action="store_true")
    options = parser.parse_args()
    for attempt in (1, 2):
        with tempfile.TemporaryDirectory(prefix="tarvo-e2e-", ignore_cleanup_errors=True) as folder:
            session = Session(folder, options.bin)
            try:
                scenario(session, options)
                print("1 passed, 0 failed")
                return 0
            except Failure as failure:
                if attempt == 2 or not session.processes or session.processes[0].poll() is None:
                    report(failure, session)
                    return 1
                print("the X server ended under the test (%s); starting again" % failure,
                      file=sys.stderr)
            finally:
                session.close()
