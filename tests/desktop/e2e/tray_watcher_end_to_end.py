"""A D-Bus tray that appears after the app and leaves again (harness.py, no XEmbed tray): a fake
StatusNotifierWatcher started once the app has fallen back to its menu window gets the app's
StatusNotifierItem without a restart and the window goes; the item's title is "tarvo Capture" and
its Activate opens the menu, as a panel's click does; when the watcher ends, the window is back."""

import os
import re
import subprocess
import sys

from harness import LIMIT, expect, main, menu_is_up, visible_window, wait_for

FAKES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fakes")


def item_call(service, *call):
    run = subprocess.run(["gdbus", "call", "--session", "--dest", service, "--object-path",
                          "/StatusNotifierItem", "--method", *call], capture_output=True,
                         text=True, timeout=30)
    expect(run.returncode == 0, "the item did not answer %r: %s" % (call, run.stderr))
    return run.stdout


def scenario(session, options):
    session.set_up()
    app = session.start_app()
    wait_for("the menu window", menu_is_up, limit=LIMIT + 10)
    wait_for("the normal window", lambda: visible_window("--name", "^tarvo Capture$"))

    watcher = session.start("watcher", ["/usr/bin/python3",
                                        os.path.join(FAKES, "status_notifier_watcher.py")])
    registered = wait_for("the item", lambda: re.search(r"^item (\S+) /StatusNotifierItem$",
                                                         session.log("watcher"), re.M))
    service = registered.group(1)
    wait_for("the menu window to go", lambda: not menu_is_up())
    title = item_call(service, "org.freedesktop.DBus.Properties.Get",
                      "org.kde.StatusNotifierItem", "Title")
    expect("'tarvo Capture'" in title, "the item's title is %r" % title)
    pixmaps = item_call(service, "org.freedesktop.DBus.Properties.Get",
                        "org.kde.StatusNotifierItem", "IconPixmap")
    expect("16, 16," in pixmaps, "the item has no 16×16 icon: %r" % pixmaps[:200])

    item_call(service, "org.kde.StatusNotifierItem.Activate", "0", "0")
    wait_for("the menu from the panel's click", menu_is_up)
    item_call(service, "org.kde.StatusNotifierItem.Activate", "0", "0")
    wait_for("the menu closed by a second click", lambda: not menu_is_up())

    session.stop(watcher)
    wait_for("the menu window back", menu_is_up)
    wait_for("the normal window back", lambda: visible_window("--name", "^tarvo Capture$"))
    session.expect_clean_exit(app, terminate=True)


if __name__ == "__main__":
    sys.exit(main(scenario))
