#!/usr/bin/python3
"""The tray app end to end, driven as a person would: on a private X server (Xvfb) with a window
manager (openbox), a tray host (trayer, unless --no-tray) and the accessibility bus, against its
own dev backend. Controls are found by their accessible names and pressed through AT-SPI; the
tray icon is clicked with xdotool. Run inside dbus-run-session so the session bus is private.

    dbus-run-session -- /usr/bin/python3 desktop_end_to_end.py --bin build/bin [--no-tray]

Every wait is for a condition, with a generous limit for busy machines; every process started is
ended by its id.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

import pyatspi

LIMIT = 60.0  # seconds for any one condition on a loaded machine
APP_NAME = "tarvo-capture-desktop"
EMAIL, PASSWORD = "demo@tarvo.test", "tarvo-demo"


class Failure(Exception):
    pass


def wait_for(what, condition, limit=LIMIT):
    deadline = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


class Session:
    """The processes of one run, each ended by its id when the run ends."""

    def __init__(self, folder):
        self.folder = folder
        self.processes = []

    def start(self, name, command, env=None, **options):
        log = open(os.path.join(self.folder, name + ".log"), "wb")
        process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, **options)
        self.processes.append((name, process))
        return process

    def stop(self, process, limit=15):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(limit)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        return process.returncode

    def close(self):
        for _, process in reversed(self.processes):
            self.stop(process, 5)

    def log(self, name):
        with open(os.path.join(self.folder, name + ".log"), "rb") as log:
            return log.read().decode("utf-8", "replace")


def start_display(session):
    read_end, write_end = os.pipe()
    # -noreset: without it the server resets whenever its last client leaves (the readiness
    # probe, say), and refuses the clients that connect meanwhile.
    session.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0",
                           "1280x800x24", "-nolisten", "tcp"], pass_fds=(write_end,))
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                raise Failure("Xvfb did not start:\n" + session.log("xvfb"))
            number += chunk
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    wait_for("the X server", lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0)


def start_window_manager(session):
    """openbox, once it manages the screen (it announces itself on the root window)."""
    def managing():
        answer = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                capture_output=True, text=True).stdout
        return "window id" in answer
    manager = session.start("openbox", ["openbox"])
    try:
        wait_for("the window manager", lambda: manager.poll() is not None or managing())
    finally:
        if manager.poll() is not None:
            raise Failure("openbox ended:\n" + session.log("openbox"))


def start_tray(session):
    session.start("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                             "request", "--height", "24", "--SetDockType", "true"])
    # Its panel is mapped only once an icon docks; until then its windows are unmapped.
    return wait_for("the tray host", lambda: xdotool("search", "--class", "trayer"))


def tray_panel():
    """The tray host's visible panel window, or None."""
    windows = xdotool("search", "--onlyvisible", "--class", "trayer").split()
    return windows[0] if windows else None


def geometry(window):
    text = xdotool("getwindowgeometry", "--shell", window)
    return {key: int(value) for key, value in (line.split("=") for line in text.splitlines())}


def xdotool(*arguments):
    result = subprocess.run(["xdotool", *arguments], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else ""


def start_backend(session, binary):
    process = session.start("backend", [binary, "--demo", "--port", "0", "--db",
                                        os.path.join(session.folder, "backend.sqlite3")])
    match = wait_for("the dev backend", lambda: re.search(r"listening on (http://\S+)",
                                                          session.log("backend")))
    if process.poll() is not None:
        raise Failure("the dev backend ended:\n" + session.log("backend"))
    return match.group(1)


class Backend:
    def __init__(self, base):
        self.base = base

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as reply:
            text = reply.read().decode()
            return json.loads(text) if text else None

    def entries(self):
        return self.call("GET", "/__dev/users/" + EMAIL + "/entries")

    def fail_ingest(self, count):
        self.call("POST", "/__dev/faults", {"path": "/functions/v1/capture-ingest",
                                            "status": 503, "count": count})


# Accessibility: the app's tree, searched by accessible name and role.

def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        candidate = desktop.getChildAtIndex(index)
        if candidate is not None and candidate.name == APP_NAME:
            return candidate
    return None


def showing(accessible):
    try:
        return accessible.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # the widget went away while we looked
        return False


def find(name, role=None, root=None):
    """The first showing control with this name (and role), or None."""
    root = root or application()
    if root is None:
        return None
    found = pyatspi.findDescendant(
        root, lambda node: node is not None and node.name == name and
        (role is None or node.getRoleName() == role) and showing(node), breadth_first=True)
    return found


def find_text(pattern):
    root = application()
    if root is None:
        return None
    return pyatspi.findDescendant(
        root, lambda node: node is not None and node.getRoleName() == "label" and
        re.search(pattern, node.name or "") and showing(node), breadth_first=True)


def press(name, role="push button"):
    control = wait_for('"%s"' % name, lambda: find(name, role))
    control.queryAction().doAction(0)


def type_into(name, text):
    field = wait_for('the field "%s"' % name,
                     lambda: find(name, "text") or find(name, "password text"))
    field.queryEditableText().setTextContents(text)


def open_menu():
    """Clicks the tray icon until the menu is showing."""
    def menu_is_up():
        if find("Quit", "push button"):
            return True
        click_tray()
        time.sleep(0.5)  # give the menu its chance before clicking again
        return bool(find("Quit", "push button"))
    wait_for("the menu", menu_is_up)


def close_menu():
    """Clicks the tray icon, which closes the open menu (clicking elsewhere closes it only once
    the window manager has given it focus)."""
    def menu_is_gone():
        if not find("Quit", "push button"):
            return True
        click_tray()
        time.sleep(0.5)
        return not find("Quit", "push button")
    wait_for("the menu to close", menu_is_gone)


def click_tray():
    panel = tray_panel()
    if panel:
        place = geometry(panel)
        xdotool("mousemove", str(place["X"] + place["WIDTH"] // 2),
                str(place["Y"] + place["HEIGHT"] // 2), "click", "1")


def run_with_tray(options, session, environment, backend):
    start_tray(session)
    app = session.start("app", [os.path.join(options.bin, APP_NAME)], env=environment)
    wait_for("the app on the accessibility bus", application)

    # The tray icon opens the menu; sign in through the form.
    open_menu()
    press("Sign in to tarvo…")
    type_into("Email", EMAIL)
    type_into("Password", PASSWORD)
    press("Sign in")

    # Signing in sets the computer up and asks about AI.
    press("Turn it on")
    wait_for("the consent to be stored",
             lambda: run_cli(options, environment, "consent", "status").endswith("granted\n"))
    devices = backend.call("GET", "/__dev/users/" + EMAIL + "/devices")
    if len(devices) != 1 or devices[0]["source"] != "linux":
        raise Failure("expected one linux device, got %r" % devices)

    # A capture queued while the backend refuses is delivered by "Try now".
    backend.fail_ingest(3)
    run_cli(options, environment, "task", "buy oat milk")
    backend.call("DELETE", "/__dev/faults")
    if backend.entries():
        raise Failure("the capture was filed although the backend refused it")
    open_menu()
    wait_for('"1 waiting to send"', lambda: find_text(r"^1 waiting to send$"))
    press("Try now")
    wait_for("the delivery line", lambda: find_text(r"^Sent 1 capture that were waiting$"))
    contents = [entry["body"].get("content") for entry in backend.entries()]
    if contents != ["buy oat milk"]:
        raise Failure("expected the queued task filed once, got %r" % contents)

    # Signing out works from the same menu.
    press("Sign out")
    wait_for('"Signed out"', lambda: find_text(r"^Signed out$"))
    wait_for("the sign-in button again", lambda: find("Sign in to tarvo…", "push button"))

    # Clicking elsewhere closes the menu; "tarvo-capture open" brings it forward again, and so
    # does a second start, which hands its action over and ends at once.
    close_menu()
    run_cli(options, environment, "open")
    wait_for("the menu from tarvo-capture open", lambda: find("Quit", "push button"))
    close_menu()
    second = subprocess.run([os.path.join(options.bin, APP_NAME), "--show-menu"],
                            env=environment, timeout=LIMIT, capture_output=True)
    if second.returncode != 0:
        raise Failure("the second start failed: %r" % second)
    wait_for("the menu from a second start", lambda: find("Quit", "push button"))

    # The menu's Quit ends the app cleanly.
    open_menu()
    press("Quit")
    app.wait(LIMIT)
    if app.returncode != 0:
        raise Failure("the app exited with %s:\n%s" % (app.returncode, session.log("app")))


def run_without_tray(options, session, environment, backend):
    app = session.start("app", [os.path.join(options.bin, APP_NAME)], env=environment)
    wait_for("the app on the accessibility bus", application)
    # No tray: after its wait the app shows the menu as a normal window.
    wait_for("the menu window", lambda: find("Quit", "push button"), limit=LIMIT + 10)
    window = wait_for("the window", lambda: xdotool("search", "--onlyvisible", "--name",
                                                    "^tarvo Capture$"))
    if not window:
        raise Failure("no normal window named tarvo Capture")
    press("Sign in to tarvo…")
    wait_for("the sign-in form", lambda: find("Email", "text"))

    # A tray that appears later is adopted.
    start_tray(session)
    wait_for("the icon in the tray", lambda: tray_width() > 1)

    # SIGTERM reaches the quit path and the app ends cleanly.
    if session.stop(app, LIMIT) != 0:
        raise Failure("the app exited with %s:\n%s" % (app.returncode, session.log("app")))


def tray_width():
    panel = tray_panel()
    return geometry(panel)["WIDTH"] if panel else 0


def run_cli(options, environment, *arguments):
    result = subprocess.run([os.path.join(options.bin, "tarvo-capture"), *arguments],
                            env=environment, capture_output=True, text=True, timeout=LIMIT)
    return result.stdout


def report(failure, session, folder, logs=("app", "backend")):
    """Says what failed, with the end of each program's log that was written."""
    print("FAILED: %s" % failure, file=sys.stderr)
    for name in logs:
        if os.path.exists(os.path.join(folder, name + ".log")):
            print("--- %s log ---\n%s" % (name, session.log(name)[-4000:]), file=sys.stderr)


def run_once(options):
    """One run in a fresh session; None when the X server itself went away during it."""
    folder = tempfile.mkdtemp(prefix="tarvo-e2e-")
    os.chmod(folder, 0o700)
    session = Session(folder)
    try:
        start_display(session)
        start_window_manager(session)
        session.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        backend = Backend(start_backend(session, os.path.join(options.bin, "tarvo-devbackend")))
        environment = dict(os.environ,
                           XDG_CONFIG_HOME=os.path.join(folder, "config"),
                           XDG_DATA_HOME=os.path.join(folder, "data"),
                           XDG_RUNTIME_DIR=folder,
                           TARVO_SECRET_STORE="file",
                           TARVO_API_BASE=backend.base,
                           TARVO_LOG="stderr",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                           QT_ACCESSIBILITY="1")
        if options.no_tray:
            run_without_tray(options, session, environment, backend)
        else:
            run_with_tray(options, session, environment, backend)
        return 0
    except Failure as failure:
        if session.processes and session.processes[0][1].poll() is not None:
            print("the X server ended under the test (%s); starting again" % failure,
                  file=sys.stderr)
            return None
        report(failure, session, folder, ("app", "backend", "openbox", "trayer"))
        return 1
    finally:
        session.close()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    parser.add_argument("--no-tray", action="store_true")
    options = parser.parse_args()
    # A lost X server is the machine's fault, not the app's: that run is made once more.
    status = run_once(options)
    if status is None:
        status = run_once(options)
    if status == 0:
        print("1 passed, 0 failed")
    return 1 if status is None else status


if __name__ == "__main__":
    sys.exit(main())
