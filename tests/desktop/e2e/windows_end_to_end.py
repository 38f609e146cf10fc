#!/usr/bin/python3
"""Every window as a person meets it (harness.py), on a 1920×1080 screen at scale 2, or with
--small-screen on 1024×600 at scale 1: the menu, its sign-in form, the consent panel and About lie
inside the screen with their frames; the sign-in form is worked with the keyboard and keeps what
was typed when the menu closes; Escape leaves the consent undecided; a second start opens the menu;
a sign-in at the command line shows in the running app; the selection key pressed signed out
reaches the desktop's notifications. Pictures of each window are kept in e2e-pictures/ beside
the programs' folder."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import *  # noqa: E402,F403  the shared harness

# org.freedesktop.Notifications as a desktop runs it, writing each notification to a file.
NOTIFICATIONS = r"""
import sys
from gi.repository import Gio, GLib
NODE = Gio.DBusNodeInfo.new_for_xml('''<node><interface name="org.freedesktop.Notifications">
<method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/>
<arg type="as"/><arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method>
<method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
<arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>''')
def call(connection, sender, path, interface, method, arguments, invocation):
    if method == "Notify":
        with open(sys.argv[1], "a") as out:
            out.write("%s|%s|%s\n" % (arguments[0], arguments[3], arguments[4]))
        invocation.return_value(GLib.Variant("(u)", (7,)))
    else:
        invocation.return_value(GLib.Variant("(ssss)", ("fake", "tarvo", "1", "1.2")))
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.register_object("/org/freedesktop/Notifications", NODE.interfaces[0], call)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.Notifications", 0, None, None)
print("serving", flush=True)
GLib.MainLoop().run()
"""


def screen_size():
    return [int(number) for number in xdotool("getdisplaygeometry").split()]


def inside_screen(what, window):
    frame = frame_place(window)
    width, height = screen_size()
    expect(frame["X"] >= 0 and frame["Y"] >= 0 and frame["X"] + frame["WIDTH"] <= width and
           frame["Y"] + frame["HEIGHT"] <= height,
           "%s runs off the %d×%d screen: %r" % (what, width, height, frame))


def picture(session, options, name):
    folder = os.path.join(os.path.dirname(os.path.abspath(options.bin)), "e2e-pictures",
                          "small-screen" if options.small_screen else "scale-2")
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")],
                   capture_output=True, timeout=30)


def notified_outside_the_menu(session):
    notes = os.path.join(session.folder, "notifications.txt")
    server = session.start("notifications", [sys.executable, "-c", NOTIFICATIONS, notes])
    wait_for("the notification service", lambda: "serving" in session.log("notifications"))
    key("ctrl+alt+c")
    wait_for("the notification", lambda: os.path.exists(notes) and
             "|tarvo Capture|Sign in first (menu bar icon)." in open(notes).read())
    session.stop(server)


def told_as_windows_and_separators():
    """A screen reader hears the app's windows as windows and its separators as separators."""
    root = application()
    roles = [root.getChildAtIndex(index).getRoleName() for index in range(root.childCount)
             if showing(root.getChildAtIndex(index))]
    expect(roles and "filler" not in roles, "the app's windows are told as %r" % roles)
    expect(find_where(lambda node: node.getRoleName() == "separator"),
           "the menu's separators are not told as separators")


def sign_in_form(session, options):
    open_menu()
    menu = visible_window("--name", "^tarvo Capture$")
    inside_screen("the menu", menu)
    picture(session, options, "menu")
    told_as_windows_and_separators()
    press("Sign in to tarvo…")
    email = wait_for("the e-mail field to have the focus",
                     lambda: (field := find("Email", "text")) and is_focused(field) and field)
    xdotool("type", "--delay", "20", EMAIL)
    key("Return")  # Enter moves on to the password
    wait_for("the password field to have the focus",
             lambda: (field := find("Password", "password text")) and is_focused(field))
    inside_screen("the menu with the sign-in form", menu)
    picture(session, options, "sign-in")
    close_menu()
    open_menu()
    typed = email.queryText().getText(0, -1)
    expect(typed == EMAIL, "the sign-in form forgot what was typed: %r" % typed)
    close_menu()


def consent_left_undecided(session, options):
    open_menu()
    press("AI is off until you decide.")
    wait_for("the consent panel", lambda: find("Turn it on", "push button"))
    turn_on = wait_for("Turn it on to have the focus",
                       lambda: (button := find("Turn it on", "push button")) and
                       is_focused(button) and button)
    expect(turn_on, "the first focus is not on Turn it on")
    inside_screen("the consent panel", visible_window("--name", "^tarvo Capture$"))
    picture(session, options, "consent")
    key("Escape")
    wait_for("the panel to go", lambda: not find("Turn it on", "push button"))
    answer = session.cli("consent", "status").stdout
    expect("not decided" in answer, "Escape recorded a decision: %r" % answer)


def about(session, options):
    open_menu()
    press("About tarvo Capture")
    window = wait_for("About", lambda: visible_window("--name", "^About tarvo Capture$"))
    inside_screen("About", window)
    picture(session, options, "about")
    focus(window)
    key("Escape")
    wait_for("About to go", lambda: not visible_window("--name", "^About tarvo Capture$"))


def second_start_and_command_line(session):
    second = session.start("second start", [session.program(APP_NAME)], env=session.environment)
    expect(second.wait(LIMIT) == 0, "the second start did not hand over")
    wait_for("the menu after a second start", menu_is_up)
    close_menu()
    session.sign_in_with_cli("decline")
    open_menu()
    shown("^" + re.escape(EMAIL) + "$")
    wait_for("Sign out", lambda: find("Sign out", "push button"))
    expect(find("Signed in"), "the account's symbol is not told in words")
    close_menu()


def scenario(session, options):
    if options.small_screen:
        session.set_up(screen="1024x600")
    else:
        session.set_up(screen="1920x1080", QT_SCALE_FACTOR="2")
    start_tray(session)
    app = session.start_app()
    notified_outside_the_menu(session)
    sign_in_form(session, options)
    consent_left_undecided(session, options)
    about(session, options)
    second_start_and_command_line(session)
    session.expect_clean_exit(app, terminate=True)


if __name__ == "__main__":
    sys.exit(main(scenario, "--small-screen"))
