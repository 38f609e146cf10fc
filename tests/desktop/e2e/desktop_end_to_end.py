#!/usr/bin/python3
"""The tray app end to end, driven as a person would (harness.py): sign-in from the tray menu,
consent, a capture queued while the backend refuses it, sign-out, the menu brought forward and
Quit; with --no-tray, the menu as a normal window and a tray that appears later."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import *  # noqa: E402,F403  the shared harness


def with_tray(session):
    start_tray(session)
    # Asked for at start, the menu waits for the tray to place the icon and opens under it.
    app = session.start_app(arguments=["--show-menu"])
    wait_for("the menu asked for at start", menu_is_up)
    menu, tray = menu_place(), tray_place()
    offset = (menu["X"] + menu["WIDTH"] // 2) - (tray["X"] + tray["WIDTH"] // 2)
    expect(abs(offset) < menu["WIDTH"], "the menu at %r is not under the tray at %r" % (menu, tray))

    # The menu opens the sign-in form.
    press("Sign in to tarvo…")
    type_into("Email", EMAIL)
    type_into("Password", PASSWORD)
    press("Sign in")

    # Signing in sets the computer up and asks about AI.
    press("Turn it on")
    wait_for("the consent to be stored",
             lambda: session.cli("consent", "status").stdout.endswith("granted\n"))
    devices = session.call("GET", "/__dev/users/" + EMAIL + "/devices")
    expect([device["source"] for device in devices] == ["linux"],
           "expected one linux device, got %r" % devices)

    # A capture queued while the backend refuses is delivered by "Try now".
    session.fault_ingest()
    session.cli("task", "buy oat milk")
    session.clear_faults()
    expect(not session.bodies(), "the capture was filed although the backend refused it")
    open_menu()
    shown(r"^1 waiting to send$")
    press("Try now")
    shown(r"^Sent 1 capture that were waiting$")
    contents = [body.get("content") for body in session.bodies()]
    expect(contents == ["buy oat milk"], "expected the queued task filed once, got %r" % contents)

    # Signing out works from the same menu.
    press("Sign out")
    shown(r"^Signed out$")
    wait_for("the sign-in button again", lambda: find("Sign in to tarvo…", "push button"))

    # Clicking the tray icon closes the open menu (it does not open it again); "tarvo-capture
    # open" brings it forward, and so does a second start, which hands its action over and ends.
    close_menu(click_tray)
    session.cli("open")
    wait_for("the menu from tarvo-capture open", menu_is_up)
    close_menu(click_tray)
    second = session.start("second", [session.program(APP_NAME), "--show-menu"],
                           env=session.environment)
    expect(second.wait(LIMIT) == 0, "the second start failed:\n" + session.log("second"))
    wait_for("the menu from a second start", menu_is_up)

    # The menu's Quit ends the app cleanly.
    open_menu()
    press("Quit")
    session.expect_clean_exit(app)


def without_tray(session):
    app = session.start_app()
    # No tray: after its wait the app shows the menu as a normal window.
    wait_for("the menu window", menu_is_up, limit=LIMIT + 10)
    wait_for("the normal window", lambda: visible_window("--name", "^tarvo Capture$"))
    press("Sign in to tarvo…")
    wait_for("the sign-in form", lambda: find("Email", "text"))

    # A tray that appears later is adopted.
    start_tray(session)
    wait_for("the icon in the tray", lambda: tray_width() > 1)

    # SIGTERM reaches the quit path and the app ends cleanly.
    session.expect_clean_exit(app, terminate=True)


def scenario(session, options):
    session.set_up()
    (without_tray if options.no_tray else with_tray)(session)


if __name__ == "__main__":
    sys.exit(main(scenario, "--no-tray"))
