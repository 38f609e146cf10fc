#!/usr/bin/python3
"""Screenshots end to end (harness.py): PNGs saved into the screenshot folder are filed straight
away, or, with "Ask before sending each one", once the confirm panel is answered with real keys
(Return, Tab to Skip and Enter, a typed name) after a click gave it the keyboard — while someone
types in an editor, the arriving panel takes none of it; a restart offers only what was never
handled, a SIGKILL mid-send still files it once, and while the backend fails it waits in the outbox
for Try now."""

import os
import struct
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import *  # noqa: E402,F403  the shared harness


def png(width, height, shade):
    """A small RGBA PNG: a flat panel with a darker band, and a translucent corner."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    def pixel(x, y):
        if 4 <= x < 12 and y % 6 < 3:
            return (30, 30, 30, 255)
        return (shade, 200, 255 - shade, 128 if y > height - 4 else 255)
    rows = b"".join(b"\0" + bytes(value for x in range(width) for value in pixel(x, y))
                    for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def save(shots, name, shade):
    """Writes the screenshot as screenshot tools do: the data, then the file closed."""
    path = os.path.join(shots, name)
    with open(path, "wb") as file:
        file.write(png(48, 36, shade))
    return path


def panel_window():
    return wait_for("the confirm panel", lambda: visible_window("--name", "^Send to stash\\?$"))


def send_from_panel():
    focus(panel_window())
    key("Return")


def panel_gone():
    wait_for("the panel to go", lambda: not find_text(r"^Send to stash\?$"))


def check_screenshot(body, path):
    """Filed from this device to stash, as a JPEG, under the fingerprint of the file at `path`."""
    expect_fields(body, source_app="linux", content="", tags=[], ai_opt_out=True)
    expect(body.get("source_ref", "").startswith(path + "|") and body.get("device") and
           body.get("screenshot", "").startswith("data:image/jpeg;base64,/9j/") and
           "destination" not in body, "not a JPEG of %s to stash from this device: %r" %
           (path, {name: str(value)[:60] for name, value in body.items()}))


def sent_straight_away(session, shots):
    open_menu()
    press("Send new screenshots to stash", "check box")
    shown(r"^Watching Screenshots$")
    close_menu()
    path = save(shots, "Screenshot from today.png", 90)
    check_screenshot(session.filed(1), path)


def editor_text():
    """What mousepad's document holds, read through the accessibility bus."""
    desktop = pyatspi.Registry.getDesktop(0)
    for app in (desktop.getChildAtIndex(index) for index in range(desktop.childCount)):
        if app is not None and app.name == "mousepad":
            text = pyatspi.findDescendant(app, lambda node: node is not None and
                                          node.getRoleName() == "text")
            if text:
                return text.queryText().getText(0, -1)
    return ""


def click_panel():
    """Clicks the panel's heading, as a person would to answer it."""
    panel = panel_window()
    xdotool("mousemove", "--window", panel, "160", "14", "click", "1")
    wait_for("the panel to have the focus", lambda: xdotool("getactivewindow") == panel)


def focus_on(name):
    """Tabs backwards through the panel until the control has the keyboard focus."""
    def reached():
        control = find(name, "push button")
        if control and is_focused(control):
            return True
        key("shift+Tab")
        time.sleep(0.2)
        return False
    wait_for(name + " to have the focus", reached)


def confirmed_one_by_one(session, shots):
    open_menu()
    press("Ask before sending each one", "check box")
    close_menu()
    notes = os.path.join(session.folder, "notes.txt")
    open(notes, "w").close()
    start_window(session, "mousepad", ["mousepad", notes], "Mousepad")
    paths = [save(shots, name, shade) for name, shade in
             (("one.png", 10), ("two.png", 120), ("three.png", 220))]
    # Someone goes on typing while the screenshots arrive: space, words and Return are theirs.
    xdotool("type", "--delay", "80", "a note typed while the panel came up\n")
    # Each is reported once it has settled; the panel shows the first with the rest behind it.
    shown(r"^2 more$")
    wait_for("Send all 3", lambda: find("Send all 3", "push button"))
    wait_for("the typing to land", lambda: "panel came up" in editor_text())
    expect(front_window_name().endswith(" - Mousepad"),
           "the keyboard went from the editor to %r" % front_window_name())
    expect(not find("Their name", "text"), "a typed space ticked the rapport choice")
    session.holds(1, after=1)  # nothing sent by keys meant for the editor

    click_panel()
    key("Return")  # the focus starts on Send
    first = session.filed(2)["source_ref"].rsplit("|", 2)[0]
    expect(first in paths, "sent %s, which was not saved" % first)
    shown(r"^1 more$")

    focus_on("Skip")
    key("Return")  # Enter presses the focused button: Skip, not Send
    wait_for("the last one alone", lambda: not find_text(r"more$") and find("Send", "push button"))
    session.holds(2)
    press("Use as someone's photo in rapport", "check box")
    wait_for("the name field", lambda: find("Their name", "text"))
    key("ctrl+a", "BackSpace")
    xdotool("type", "--delay", "20", "Ada Lovelace")
    wait_for("Set photo", lambda: find("Set photo", "push button"))
    key("Return")
    expect_fields(session.filed(3), destination="rapport", person_name="Ada Lovelace",
                  rapport_avatar=True)
    wait_for("the panel to go", lambda: not find("Set photo", "push button"))
    panel_gone()


def skipped_together(session, shots):
    for name, shade in (("four.png", 40), ("five.png", 160)):
        save(shots, name, shade)
    press("Skip all")
    panel_gone()
    open_menu()
    shown(r"^Skipped 2$")
    close_menu()
    session.holds(3, after=2)  # the skipped ones are not sent


def not_offered_again(session, app, shots):
    """After a restart only the screenshot that was never handled is offered."""
    session.stop(app)
    save(shots, "six.png", 250)
    app = session.start_app()
    shown(r"^six\.png$")
    expect(not find_text(r"more$"), "a handled screenshot was offered again")
    return app


def killed_while_sending(session, app):
    """SIGKILL while the reply is on its way (the backend has filed it): after the restart the
    screenshot is offered and sent again under its fingerprint, and it is filed once."""
    session.fault_ingest(phase="after", delay_ms=20000)
    send_from_panel()
    session.filed(4)
    app.kill()
    app.wait()
    session.clear_faults()
    app = session.start_app()
    shown(r"^six\.png$")
    send_from_panel()
    panel_gone()
    open_menu()
    shown(r"^Sent six\.png$")
    close_menu()
    session.holds(4)  # six.png filed once


def queued_while_down(session, shots):
    """With the backend failing the screenshot waits in the outbox until Try now."""
    session.fault_ingest()
    save(shots, "seven.png", 70)
    send_from_panel()
    open_menu()
    shown(r"^Saved seven\.png to send later — server 503$")
    shown(r"^1 waiting to send$")
    press("Try now")
    shown(r"^Sent 1 capture that were waiting$")
    close_menu()
    expect(session.filed(5).get("source_ref", "").split("|")[0].endswith("/seven.png"),
           "seven.png was not delivered")


def scenario(session, options):
    home = os.path.join(session.folder, "home")
    shots = os.path.join(home, "Pictures", "Screenshots")  # GNOME's screenshot folder
    os.makedirs(shots)
    session.set_up(HOME=home)
    session.sign_in_with_cli("decline")
    start_tray(session)
    app = session.start_app()
    sent_straight_away(session, shots)
    confirmed_one_by_one(session, shots)
    skipped_together(session, shots)
    app = not_offered_again(session, app, shots)
    killed_while_sending(session, app)
    queued_while_down(session, shots)


if __name__ == "__main__":
    sys.exit(main(scenario))
