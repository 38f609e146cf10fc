"""The Wayland end-to-end runs' harness: a real compositor (sway, headless) with a keyboard on its
seat, the accessibility bus and a dev backend, the app running natively on Wayland. sway refuses to
run as root, so a run started as root goes on as the user nobody, in a folder of its own that is
its runtime folder and home; the build tree must be readable by that user. harness.py's session,
backend and accessibility helpers do the rest. Each script runs on a private session bus:

    dbus-run-session -- /usr/bin/python3 tests/desktop/e2e/SCRIPT.py --bin build/bin
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import LIMIT, Failure, Session, expect, report, start_backend, wait_for  # noqa: E402

NOBODY = 65534
SCREEN = "1280x800"


class WaylandSession(Session):
    """A harness.py session whose desktop is sway; `pictures` collects what a run keeps."""

    def set_up(self, sway_rules=(), **environment):
        self.home = os.path.join(self.folder, "home")
        self.pictures = os.path.join(self.folder, "pictures")
        for folder in (self.home, self.pictures):
            os.makedirs(folder, exist_ok=True)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "SWAYSOCK"):
            os.environ.pop(name, None)
        # GSETTINGS_BACKEND: programs ended by a run leave no "restore the session?" question.
        os.environ.update(XDG_RUNTIME_DIR=self.folder, HOME=self.home, GSETTINGS_BACKEND="memory",
                          WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                          WLR_RENDERER="pixman")
        start_compositor(self, sway_rules)
        self.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        self.base = start_backend(self, self.program("tarvo-devbackend"))
        self.environment = dict(
            os.environ, XDG_CONFIG_HOME=self.folder + "/config", XDG_DATA_HOME=self.folder + "/data",
            TARVO_SECRET_STORE="file", TARVO_API_BASE=self.base, TARVO_LOG="stderr",
            QT_QPA_PLATFORM="wayland", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
            **environment)

    def app_environment(self):
        """Under AddressSanitizer the app's leaks are told from Qt's (tests/lsan.supp) only by the
        slow unwinder, which the backend and the command line are better without."""
        asan = self.environment.get("ASAN_OPTIONS")
        if asan is None:
            return self.environment
        return dict(self.environment, ASAN_OPTIONS=asan + ":fast_unwind_on_malloc=0")

    def run(self, *command, **options):
        """A short-lived program of the session (swaymsg, wl-paste, grim), by default with the
        session's environment; its result."""
        options.setdefault("env", getattr(self, "environment", os.environ))
        return subprocess.run(command, capture_output=True, text=True, timeout=LIMIT, **options)


def start_compositor(session, rules=()):
    """sway on a headless output with the given lines of configuration, once its display and IPC
    sockets are there, with a keyboard on its seat: without one no window is ever active."""
    config = os.path.join(session.home, "sway.conf")
    with open(config, "w") as file:
        file.write("output HEADLESS-1 resolution %s\n" % SCREEN)
        file.writelines(rule + "\n" for rule in rules)
    sway = session.start("sway", ["sway", "-c", config])
    def sockets():
        expect(sway.poll() is None, "sway ended:\n" + session.log("sway"))
        display = [path for path in glob.glob(os.path.join(session.folder, "wayland-*"))
                   if not path.endswith(".lock")]
        ipc = glob.glob(os.path.join(session.folder, "sway-ipc.*.sock"))
        return display and ipc and (os.path.basename(display[0]), ipc[0])
    display, ipc = wait_for("sway's sockets", sockets)
    os.environ.update(WAYLAND_DISPLAY=display, SWAYSOCK=ipc)
    session.start("keyboard", ["wtype", "-s", "3600000"])
    wait_for("a keyboard on the seat", lambda: '"keyboard"' in session.run(
        "swaymsg", "-r", "-t", "get_inputs").stdout)


def swaymsg(session, *command):
    result = session.run("swaymsg", *command)
    expect(result.returncode == 0, "swaymsg %r failed: %s%s" % (command, result.stdout,
                                                                   result.stderr))
    return result.stdout


def primary_selection(session):
    """The PRIMARY selection as any Wayland program reads it; empty when there is none."""
    return session.run("wl-paste", "--primary", "--no-newline").stdout


def main(scenario):
    """Runs `scenario(session)` with --bin (the folder of the built programs); as the user nobody
    when started as root. What the run kept in its pictures folder is copied to e2e-pictures/
    beside that folder."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    parser.add_argument("--inside", help=argparse.SUPPRESS)  # the run's folder, as its user
    options = parser.parse_args()
    programs = os.path.abspath(options.bin)
    if options.inside:
        return run_inside(scenario, options.inside, programs)
    folder = tempfile.mkdtemp(prefix="tarvo-wayland-e2e-")
    try:
        command = ["dbus-run-session", "--", sys.executable, os.path.abspath(sys.argv[0]),
                   "--bin", programs, "--inside", folder]
        if os.geteuid() == 0:
            os.chown(folder, NOBODY, NOBODY)
            command = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                       "--clear-groups"] + command
        os.chmod(folder, 0o700)
        status = subprocess.run(command).returncode
        keep_pictures(os.path.join(folder, "pictures"), programs)
        return status
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run_inside(scenario, folder, programs):
    session = WaylandSession(folder, programs)
    try:
        scenario(session)
        print("1 passed, 0 failed")
        return 0
    except Failure as failure:
        report(failure, session, ("app", "backend", "sway", "mousepad", "atspi"))
        return 1
    finally:
        session.close()


def keep_pictures(pictures, programs):
    if os.path.isdir(pictures):
        kept = os.path.join(os.path.dirname(programs), "e2e-pictures")
        os.makedirs(kept, exist_ok=True)
        for name in os.listdir(pictures):
            shutil.copyfile(os.path.join(pictures, name), os.path.join(kept, name))
