#!/usr/bin/python3
"""The app natively on Wayland with a desktop that assigns global keys itself (wayland_harness.py:
headless sway as an unprivileged user, plus a fake shortcuts portal front-end on the session bus):
the app names itself to the portal and binds exactly its two shortcuts, proposing its own keys;
the menu shows the keys the desktop assigned and opens the desktop's dialog; a panel's
StatusNotifierWatcher that appears five seconds after the app gets the app's item, whose Activate
opens the menu; the portal's "capture-selection" activation captures text selected in mousepad
(through the accessibility bus) and files it once the undo window has passed, while the README's
sway rule keeps the keyboard in mousepad; its "quick-entry" activation opens the box, which takes
the keyboard and sends a task; `--diagnose` names the portal and the keys it assigned."""

import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (LIMIT, expect, expect_fields, find, is_focused, menu_is_up, press,  # noqa
                     shown, wait_for)
from wayland_end_to_end import UNDO_WINDOW, select_in_editor  # noqa: E402
from wayland_harness import main, swaymsg  # noqa: E402

from gi.repository import Gio, GLib  # noqa: E402

# The README's rule that keeps sway from giving the toast and the confirm panel the keyboard.
NO_FOCUS = 'no_focus [app_id="^com\\.merrow\\.loft\\.mac$" title="^(Captured|Send to stash\\?) — "]'
FAKES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fakes")
APP_ID = "com.merrow.loft.mac"


def portal(method, *arguments):
    """A call to the fake portal's side door: its answer's first value."""
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    signature = "(" + "s" * len(arguments) + ")"
    answer = bus.call_sync("org.freedesktop.portal.Desktop", "/org/tarvo/test/FakePortal",
                           "org.tarvo.test.FakePortal", method,
                           GLib.Variant(signature, arguments) if arguments else None, None,
                           Gio.DBusCallFlags.NONE, int(LIMIT * 1000), None)
    return answer.unpack()[0] if answer.n_children() else None


def calls():
    return json.loads(portal("Calls"))


def methods():
    return [call["method"] for call in calls()]


def keys_bound(session):
    """Named first, then one session, its list and one binding of exactly the two shortcuts."""
    wait_for("the binding", lambda: "BindShortcuts" in methods())
    expect(methods() == ["Register", "CreateSession", "ListShortcuts", "BindShortcuts"],
           "the portal was asked %r" % methods())
    expect(calls()[0]["arguments"][0] == APP_ID, "registered as %r" % calls()[0])
    shortcuts = calls()[3]["arguments"][1]
    offered = {name: properties for name, properties in shortcuts}
    expect(offered == {
        "capture-selection": {"description": "Capture selected text",
                              "preferred_trigger": "CTRL+ALT+c"},
        "quick-entry": {"description": "Quick task to docket", "preferred_trigger": "CTRL+ALT+t"},
    }, "offered %r" % shortcuts)
    wait_for("the menu window", menu_is_up, limit=LIMIT + 10)
    shown(r"^Ctrl\+Alt\+C — set in your desktop’s settings$")
    shown(r"^Ctrl\+Alt\+T — set in your desktop’s settings$")
    shown(r"^Select text anywhere, press Ctrl\+Alt\+C\. ")
    picture(session, "wayland-portal-menu")
    press("Change keys in desktop settings…")
    wait_for("the desktop's dialog", lambda: "ConfigureShortcuts" in methods())


def picture(session, name):
    """A picture of the whole output, kept in e2e-pictures/ to be looked at."""
    taken = session.run("grim", os.path.join(session.pictures, name + ".png"))
    expect(taken.returncode == 0, "grim failed: " + taken.stderr)


def item_call(service, *call):
    run = subprocess.run(["gdbus", "call", "--session", "--dest", service, "--object-path",
                          "/StatusNotifierItem", "--method", *call], capture_output=True,
                         text=True, timeout=LIMIT)
    expect(run.returncode == 0, "the item did not answer %r: %s" % (call, run.stderr))
    return run.stdout


def late_tray(session, started):
    """A panel that starts five seconds after the app: its watcher gets the app's item."""
    time.sleep(max(0.0, started + 5 - time.monotonic()))  # the panel's own delay, not a wait
    session.start("watcher", ["/usr/bin/python3",
                              os.path.join(FAKES, "status_notifier_watcher.py")])
    line = wait_for("the item", lambda: next(
        (line for line in session.log("watcher").splitlines() if line.startswith("item ")), None))
    service = line.split()[1]
    wait_for("the menu window to go", lambda: not menu_is_up())
    item_call(service, "org.kde.StatusNotifierItem.Activate", "0", "0")
    wait_for("the menu from the panel's click", menu_is_up)
    item_call(service, "org.kde.StatusNotifierItem.Activate", "0", "0")
    wait_for("the menu closed by a second click", lambda: not menu_is_up())


def selection_by_portal(session):
    notes, line = select_in_editor(session)
    started = time.monotonic()  # the undo window starts later
    portal("Trigger", "capture-selection", "")
    shown(r"^Captured from Mousepad$", limit=15)
    picture(session, "wayland-toast")
    expect(focused_app(session) == "mousepad", "the toast took the keyboard from mousepad")
    body = session.filed(1, limit=UNDO_WINDOW + LIMIT)
    expect(time.monotonic() - started >= UNDO_WINDOW - 0.5, "filed inside the undo window")
    expect_fields(body, content=line, title=notes, source_app="Mousepad",
                  source_type="text_capture")


def quick_entry_by_portal(session):
    """The box takes the keyboard (the compositor gives a new window the focus), so a key typed
    on the seat reaches it."""
    portal("Trigger", "quick-entry", "an-activation-token")
    field = wait_for("the quick-entry box", lambda: find("What’s on your mind?", "text"))
    wait_for("the box focused", lambda: is_focused(field))
    picture(session, "wayland-quick-entry")
    field.queryEditableText().setTextContents("water the plants")
    typed = session.run("wtype", "-k", "Return")
    expect(typed.returncode == 0, "wtype failed: " + typed.stderr)
    shown(r"^Sent to docket ✓$")
    expect(any("water the plants" in (body.get("title") or body.get("content") or "")
               for body in session.bodies()), "the task was not filed")


def focused_app(session):
    nodes = [json.loads(swaymsg(session, "-t", "get_tree"))]
    while nodes:
        node = nodes.pop()
        if node.get("focused"):
            return node.get("app_id")
        nodes += node.get("nodes", []) + node.get("floating_nodes", [])
    return None


def diagnosed(session):
    """--diagnose names the portal's version and the keys the desktop kept, binding nothing."""
    binds = methods().count("BindShortcuts")
    run = session.run(session.program("tarvo-capture-desktop"), "--diagnose",
                      env=session.app_environment())
    expect(run.returncode == 0, "--diagnose exited with %s:\n%s" % (run.returncode, run.stderr))
    with open(os.path.join(session.pictures, "wayland-portal-diagnose.txt"), "w") as file:
        file.write(run.stdout)
    expect("Hot keys: shortcuts portal version 2 (capture-selection: Ctrl+Alt+C, quick-entry: "
           "Ctrl+Alt+T)\n" in run.stdout, "the hot-key line: %r" % run.stdout)
    expect(methods().count("BindShortcuts") == binds, "--diagnose bound keys")


def scenario(session):
    session.set_up(sway_rules=[NO_FOCUS], XDG_CURRENT_DESKTOP="sway")
    session.start("portal", ["/usr/bin/python3",
                             os.path.join(FAKES, "global_shortcuts_portal.py"), "--version", "2"])
    wait_for("the portal", lambda: "ready" in session.log("portal"))
    session.sign_in_with_cli("decline")
    started = time.monotonic()
    app = session.start_app()
    keys_bound(session)
    late_tray(session, started)
    selection_by_portal(session)
    quick_entry_by_portal(session)
    diagnosed(session)
    session.expect_clean_exit(app, terminate=True)


if __name__ == "__main__":
    sys.exit(main(scenario))
