#!/usr/bin/python3
"""The app natively on Wayland, in a real compositor (wayland_harness.py: headless sway as an
unprivileged user): with no portal its hot-key rows say how to bind the keys, not that another app
has them; a screenshot taken with grim into the watched folder is filed; text selected in mousepad
(through the accessibility bus) is captured by `--capture-selection` and filed once the undo window
has passed, named after the program the accessibility bus says is active; a PRIMARY selection owned
by a program without accessibility (wl-copy) is read through the compositor's data-control
protocol; and `--diagnose` tells what this session offers. A picture of the screen and the
diagnosis are kept in e2e-pictures/."""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import LIMIT, expect, expect_fields, find, find_text, press, shown, wait_for  # noqa
from screenshots_end_to_end import check_screenshot  # noqa: E402
from wayland_harness import main, primary_selection, swaymsg  # noqa: E402

import pyatspi  # noqa: E402

UNDO_WINDOW = 6.0
NOTES = "Buy stamps and post the parcel\nCall the plumber on Friday\n"
WITHOUT_ACCESSIBILITY = "A line copied by a program that has no accessibility"


def honest_rows(session):
    """No portal and no X11: the rows say how to bind the keys in the desktop's settings."""
    wait_for("the menu window", lambda: find("Quit", "push button"), limit=LIMIT + 10)
    shown(r"tarvo-capture-desktop --capture-selection")
    blamed = find_text(r"another app may have it")
    expect(not blamed, "a row blames another app: %r" % (blamed and blamed.name))


def screenshot_sent(session, shots):
    press("Send new screenshots to stash", "check box")
    shown(r"^Watching Screenshots$")
    path = os.path.join(shots, "Screenshot from sway.png")
    taken = session.run("grim", path)
    expect(taken.returncode == 0, "grim failed: " + taken.stderr)
    check_screenshot(session.filed(1), path)


def accessible_app(name):
    desktop = pyatspi.Registry.getDesktop(0)
    apps = (desktop.getChildAtIndex(index) for index in range(desktop.childCount))
    return next((app for app in apps if app is not None and app.name == name), None)


def editor_text_view():
    app = accessible_app("mousepad")
    return app and pyatspi.findDescendant(
        app, lambda node: node is not None and node.getRoleName() == "text")


def editor_active():
    app = accessible_app("mousepad")
    return app and any(app.getChildAtIndex(index).getState().contains(pyatspi.STATE_ACTIVE)
                       for index in range(app.childCount))


def captures_logged(session, kind):
    return len(re.findall(kind, session.log("app")))


def capture_selection(session, toast):
    """`--capture-selection` from a second start, as a key bound in the desktop's settings runs it,
    until the toast shows; the moment it was started (the undo window starts later)."""
    started = time.monotonic()
    second = session.start("second", [session.program("tarvo-capture-desktop"),
                                      "--capture-selection"], env=session.app_environment())
    expect(second.wait(LIMIT) == 0, "the second start failed:\n" + session.log("second"))
    shown(toast, limit=15)
    return started


def select_in_editor(session):
    """mousepad on Wayland, active, with its first line selected through accessibility; the file
    and the line."""
    notes = os.path.join(session.folder, "notes.txt")
    with open(notes, "w") as file:
        file.write(NOTES)
    session.start("mousepad", ["mousepad", notes], env=dict(session.environment,
                                                             GDK_BACKEND="wayland"))
    view = wait_for("mousepad's text on the accessibility bus", editor_text_view)
    swaymsg(session, "[app_id=mousepad] focus")
    wait_for("mousepad's window active", editor_active)
    first_line = NOTES.splitlines()[0]
    view.queryText().addSelection(0, len(first_line))
    wait_for("mousepad's selection as PRIMARY", lambda: primary_selection(session) == first_line)
    return notes, first_line


def editor_selection(session):
    notes, first_line = select_in_editor(session)
    started = capture_selection(session, r"^Captured from Mousepad$")
    body = session.filed(2, limit=UNDO_WINDOW + LIMIT)
    waited = time.monotonic() - started
    expect(waited >= UNDO_WINDOW - 0.5, "filed %.1f s after the command, inside the undo window" %
           waited)
    print("filed %.1f s after --capture-selection" % waited)
    # Named as its title spells it; the title is the file's path, with " - Mousepad" taken off.
    expect_fields(body, content=first_line, title=notes, source_app="Mousepad",
                  source_type="text_capture", tags=["desktop"])
    expect(captures_logged(session, r"accessibility read \d+ chars from Mousepad") == 1 and
           captures_logged(session, r"read the primary selection") == 0,
           "not read through accessibility:\n" + session.log("app")[-2000:])


def primary_without_accessibility(session):
    """The focus on an empty workspace and PRIMARY owned by wl-copy: read through data-control."""
    swaymsg(session, "workspace", "2")
    wait_for("mousepad's window inactive", lambda: not editor_active())
    session.start("wl-copy", ["wl-copy", "--primary", "--foreground", WITHOUT_ACCESSIBILITY],
                  env=session.environment)
    wait_for("wl-copy's PRIMARY", lambda: primary_selection(session) == WITHOUT_ACCESSIBILITY)
    capture_selection(session, r"^Captured$")
    body = session.filed(3, limit=UNDO_WINDOW + LIMIT)
    expect_fields(body, content=WITHOUT_ACCESSIBILITY, source_type="text_capture")
    expect("source_app" not in body and "title" not in body, "credited to a program: %r" % body)
    expect(captures_logged(session, r"read the primary selection") == 1,
           "not read from the primary selection:\n" + session.log("app")[-2000:])


def diagnosed(session):
    swaymsg(session, "workspace", "1")
    run = session.run(session.program("tarvo-capture-desktop"), "--diagnose",
                      env=session.app_environment())
    expect(run.returncode == 0, "--diagnose exited with %s:\n%s" % (run.returncode, run.stderr))
    with open(os.path.join(session.pictures, "wayland-diagnose.txt"), "w") as file:
        file.write(run.stdout)
    lines = dict(line.partition(": ")[::2] for line in run.stdout.splitlines())
    expect(lines.get("Session", "").startswith('Wayland (Qt\'s platform is "wayland"), desktop '
                                               "sway"), "the session line: %r" % run.stdout)
    expect(lines.get("Selected text") ==
           "AT-SPI bus found through org.a11y.Bus on the session bus; PRIMARY through "
           "data-control (wlr data-control v2); no copy under Wayland",
           "the selected-text line: %r" % run.stdout)
    picture = session.run("grim", os.path.join(session.pictures, "wayland-screen.png"))
    expect(picture.returncode == 0, "grim failed: " + picture.stderr)


def scenario(session):
    session.set_up(XDG_CURRENT_DESKTOP="sway")
    shots = os.path.join(session.home, "Pictures", "Screenshots")  # GNOME's screenshot folder
    os.makedirs(shots)
    session.sign_in_with_cli("decline")
    app = session.start_app()
    honest_rows(session)
    screenshot_sent(session, shots)
    editor_selection(session)
    primary_without_accessibility(session)
    diagnosed(session)
    session.expect_clean_exit(app, terminate=True)


if __name__ == "__main__":
    sys.exit(main(scenario))
