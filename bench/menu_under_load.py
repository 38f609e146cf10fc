#!/usr/bin/python3
"""How the tray app answers while ten thousand screenshots land at once: the app is started under
Xvfb with capture switched on, 10,000 small PNGs are written into the watched folder, and
`tarvo-capture-desktop --show-menu` is timed again and again while the app takes them in (the
instance channel answers on the app's main thread, so each figure is how long the app made a
person wait). Then the app is started again over the 10,000 handled files and timed until its
menu answers.

    dbus-run-session -- /usr/bin/python3 bench/menu_under_load.py --bin build/bin [--files N]
"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "desktop", "e2e"))
from harness import *  # noqa: E402,F403
from screenshots_end_to_end import png  # noqa: E402

FILES = int(sys.argv[sys.argv.index("--files") + 1]) if "--files" in sys.argv else 10000
if "--files" in sys.argv:
    del sys.argv[sys.argv.index("--files"):sys.argv.index("--files") + 2]


def show_menu(session):
    started = time.monotonic()
    subprocess.run([session.program(APP_NAME), "--show-menu"], env=session.environment,
                   capture_output=True, timeout=120)
    return time.monotonic() - started


def restart(session, app, name):
    """Ends the app and starts it again: the time until its menu answers."""
    session.stop(app)
    started = time.monotonic()
    session.start_app(name)
    show_menu(session)
    return time.monotonic() - started


def scenario(session, options):
    home = os.path.join(session.folder, "home")
    shots = os.path.join(home, "Pictures", "Screenshots")
    os.makedirs(shots)
    session.set_up(HOME=home)
    session.sign_in_with_cli("decline")
    start_tray(session)
    app = session.start_app()
    restart_before = restart(session, app, "app before")
    app = session.processes[-1]
    open_menu()
    press("Send new screenshots to stash", "check box")
    shown(r"^Watching Screenshots$")
    close_menu()
    time.sleep(1)
    image = png(16, 12, 90)
    for index in range(FILES):
        with open(os.path.join(shots, "Screenshot %05d.png" % index), "wb") as file:
            file.write(image)
    waits, started = [], time.monotonic()
    while time.monotonic() - started < 90:
        waits.append(show_menu(session))
        time.sleep(0.2)
    print("while %d screenshots arrive: --show-menu answered %d times, median %.3f s, "
          "slowest %.3f s" % (FILES, len(waits), statistics.median(waits), max(waits)))
    sent = len(session.bodies())
    restart_after = restart(session, app, "app again")
    print("restart over %d handled files (%d sent): menu answered after %.2f s, "
          "%.2f s with none handled (the peer)" % (FILES, sent, restart_after, restart_before))


if __name__ == "__main__":
    sys.exit(main(scenario))
