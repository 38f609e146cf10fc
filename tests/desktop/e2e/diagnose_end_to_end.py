"""`tarvo-capture-desktop --diagnose` under Xvfb on a private session bus: what an X11 session
offers, the same with an accessibility bus and a StatusNotifierWatcher started, the same display
seen as XWayland, and a backend that cannot be reached. It always exits 0."""

import os
import subprocess

from harness import Session, expect, main, start_backend, start_display, wait_for

FAKES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fakes")


def diagnose(session, **environment):
    run = subprocess.run([session.program("tarvo-capture-desktop"), "--diagnose"],
                         env=dict(session.environment, **environment), capture_output=True,
                         text=True, timeout=60)
    expect(run.returncode == 0, "--diagnose exited with %s:\n%s" % (run.returncode, run.stderr))
    lines = {}
    for line in run.stdout.splitlines():
        topic, _, said = line.partition(": ")
        lines[topic] = said
    return lines


def expect_line(lines, topic, start):
    said = lines.get(topic, "")
    expect(said.startswith(start), "%s: expected %r…, got %r" % (topic, start, said))


def scenario(session, options):
    start_display(session)
    base = start_backend(session, session.program("tarvo-devbackend"))
    session.environment = dict(
        os.environ, XDG_CONFIG_HOME=session.folder + "/config", XDG_RUNTIME_DIR=session.folder,
        XDG_DATA_HOME=session.folder + "/data", TARVO_SECRET_STORE="file", TARVO_API_BASE=base,
        XDG_CURRENT_DESKTOP="openbox")
    session.environment.pop("WAYLAND_DISPLAY", None)
    session.environment.pop("AT_SPI_BUS_ADDRESS", None)

    bare = diagnose(session)
    expect_line(bare, "Session", 'X11 (Qt\'s platform is "xcb" and WAYLAND_DISPLAY is unset), '
                                 "desktop openbox")
    expect_line(bare, "Tray", "none — the menu opens as a window")
    expect_line(bare, "Hot keys", "X11 grab")
    expect_line(bare, "Selected text",
                "AT-SPI bus not found; PRIMARY over X11; copy (Ctrl+C through XTEST)")
    expect_line(bare, "Keyring", "not used — credentials are in a plain file")
    expect_line(bare, "Backend", base + " answers (HTTP ")
    expect_line(bare, "Outbox", "0 waiting")
    expect(bare.get("Screenshot folder"), "no screenshot folder line: %r" % bare)

    session.start("atspi", ["/usr/libexec/at-spi-bus-launcher"])
    watcher = session.start("watcher", ["/usr/bin/python3",
                                        os.path.join(FAKES, "status_notifier_watcher.py")])
    wait_for("the watcher", lambda: "watching" in session.log("watcher"))
    wait_for("the accessibility bus", lambda: subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], capture_output=True).returncode == 0)
    served = diagnose(session)
    expect_line(served, "Tray", "StatusNotifierItem")
    expect_line(served, "Selected text", "AT-SPI bus found through org.a11y.Bus on the session bus")

    xwayland = diagnose(session, WAYLAND_DISPLAY="wayland-tarvo-test",
                        TARVO_API_BASE="http://127.0.0.1:9")
    expect_line(xwayland, "Session", "XWayland")
    expect_line(xwayland, "Hot keys", "none — this desktop doesn’t let apps set global keys")
    expect_line(xwayland, "Selected text", "AT-SPI bus found through org.a11y.Bus on the session "
                                           "bus; PRIMARY over X11 (X11 windows only); no PRIMARY "
                                           "through data-control — the compositor offers neither "
                                           "ext-data-control-v1 nor wlr data-control v2; no copy")
    expect_line(xwayland, "Backend", "http://127.0.0.1:9 unreachable — ")
    session.stop(watcher)


if __name__ == "__main__":
    raise SystemExit(main(scenario))
