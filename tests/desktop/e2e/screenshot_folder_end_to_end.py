#!/usr/bin/python3
"""GNOME's screenshot folder end to end (harness.py): on a GNOME session whose person has never
taken a screenshot there is no Pictures/Screenshots yet. The app watches it all the same; GNOME's
first screenshot makes the folder and saves into it at once, and that screenshot is sent."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import *  # noqa: E402,F403  the shared harness
from screenshots_end_to_end import check_screenshot, save  # noqa: E402


def scenario(session, options):
    home = os.path.join(session.folder, "home")
    pictures = os.path.join(home, "Pictures")
    shots = os.path.join(pictures, "Screenshots")
    os.makedirs(pictures)
    session.set_up(HOME=home, XDG_CURRENT_DESKTOP="ubuntu:GNOME")
    session.sign_in_with_cli("decline")
    start_tray(session)
    session.start_app()

    open_menu()
    press("Send new screenshots to stash", "check box")
    shown(r"^Watching Screenshots \(the folder isn’t there yet\)$")
    close_menu()
    expect(not os.path.exists(shots), "something made the screenshot folder early")

    os.mkdir(shots)
    open_menu()
    shown(r"^Watching Screenshots$")
    close_menu()
    path = save(shots, "Screenshot from 2026-12-07 09-41-12.png", 90)
    check_screenshot(session.filed(1), path)
    session.holds(1, after=2)  # sent once


if __name__ == "__main__":
    sys.exit(main(scenario))
