#!/usr/bin/python3
"""Screenshots end to end, as a person takes them: on a private X server (Xvfb) with a window
manager (openbox), a tray host and the accessibility bus, against its own dev backend. Capture
is switched on in the tray menu, PNGs are saved into the screenshot folder and the dev backend
is asked what it filed; with "Ask before sending each one" the confirm panel is answered with
real key presses (Return, Escape, a typed name); a restart offers only what was never handled,
a SIGKILL in the middle of a send still files the screenshot once, and while the backend fails
the screenshot waits in the outbox for Try now. Run inside dbus-run-session so the session bus
is private.

    dbus-run-session -- /usr/bin/python3 screenshots_end_to_end.py --bin build/bin
"""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_end_to_end as e2e  # noqa: E402  (the shared harness: display, backend, AT-SPI)
from desktop_end_to_end import Failure, find, find_text, press, wait_for, xdotool  # noqa: E402


def png(width, height, shade):
    """A small RGBA PNG: a flat panel with a darker band, and a translucent corner."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b""
    for y in range(height):
        pixel = bytes((shade, 200, 255 - shade, 128 if y > height - 4 else 255))
        dark = bytes((30, 30, 30, 255))
        rows += b"\0" + b"".join(dark if 4 <= x < 12 and y % 6 < 3 else pixel
                                  for x in range(width))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def save(folder, name, shade):
    """Writes the screenshot as screenshot tools do: the data, then the file closed."""
    path = os.path.join(folder, name)
    with open(path, "wb") as file:
        file.write(png(48, 36, shade))
    return path


def bodies(backend):
    return [entry["body"] for entry in backend.entries()]


def filed(backend, count):
    """Waits for the backend to hold `count` captures and gives the newest."""
    return wait_for("%d capture(s) at the backend" % count,
                    lambda: len(bodies(backend)) >= count and bodies(backend)[-1])


def key(*keys):
    xdotool("key", "--clearmodifiers", *keys)


def panel_window():
    return wait_for("the confirm panel", lambda: (xdotool(
        "search", "--onlyvisible", "--name", "^Send to stash\\?$").split() or [None])[0])


def close_menu():
    xdotool("mousemove", "200", "400", "click", "1")
    wait_for("the menu to close", lambda: not find("Quit", "push button"))


def check_screenshot(body, path):
    expected = {"source_app": "linux", "content": "", "tags": [], "ai_opt_out": True}
    actual = {name: body.get(name) for name in expected}
    if actual != expected:
        raise Failure("expected %r, got %r" % (expected, actual))
    if not body.get("source_ref", "").startswith(path + "|"):
        raise Failure("source_ref %r is not the fingerprint of %s" % (body.get("source_ref"), path))
    if not body.get("screenshot", "").startswith("data:image/jpeg;base64,/9j/"):
        raise Failure("the screenshot is not a JPEG data URI")
    if "destination" in body or not body.get("device"):
        raise Failure("unexpected destination or no device: %r" % sorted(body))


def sent_straight_away(backend, shots):
    e2e.open_menu()
    press("Send new screenshots to stash", "check box")
    wait_for("the watching line", lambda: find_text(r"^Watching Screenshots$"))
    close_menu()
    path = save(shots, "Screenshot from today.png", 90)
    check_screenshot(filed(backend, 1), path)


def confirmed_one_by_one(backend, shots):
    e2e.open_menu()
    press("Ask before sending each one", "check box")
    close_menu()
    paths = [save(shots, name, shade) for name, shade in
             (("one.png", 10), ("two.png", 120), ("three.png", 220))]
    # Each is reported once it has settled; the panel shows the first with the rest behind it.
    wait_for("two more", lambda: find_text(r"^2 more$"))
    wait_for("Send all 3", lambda: find("Send all 3", "push button"))
    panel = panel_window()
    wait_for("the panel to have the focus", lambda: xdotool("getactivewindow") == panel)

    key("Return")
    sent = filed(backend, 2)
    first = sent["source_ref"].rsplit("|", 2)[0]
    if first not in paths:
        raise Failure("sent %s, which was not saved" % first)
    wait_for("one more", lambda: find_text(r"^1 more$"))

    key("Escape")
    wait_for("the last one alone", lambda: not find_text(r"more$") and find("Send", "push button"))
    press("Use as someone's photo in rapport", "check box")
    wait_for("the name field", lambda: find("Their name", "text"))
    key("ctrl+a", "BackSpace")
    xdotool("type", "--delay", "20", "Ada Lovelace")
    wait_for("Set photo", lambda: find("Set photo", "push button"))
    key("Return")
    photo = filed(backend, 3)
    if (photo.get("destination"), photo.get("person_name"), photo.get("rapport_avatar")) != (
            "rapport", "Ada Lovelace", True):
        raise Failure("not sent as Ada Lovelace's photo: %r" % {
            name: photo.get(name) for name in ("destination", "person_name", "rapport_avatar")})
    wait_for("the panel to go", lambda: not find("Set photo", "push button") and
             not find_text(r"^Send to stash\?$"))


def skipped_together(backend, shots):
    for name, shade in (("four.png", 40), ("five.png", 160)):
        save(shots, name, shade)
    wait_for("Skip all", lambda: find("Skip all", "push button"))
    press("Skip all")
    wait_for("the panel to go", lambda: not find_text(r"^Send to stash\?$"))
    e2e.open_menu()
    wait_for("the skip line", lambda: find_text(r"^Skipped 2$"))
    close_menu()
    time.sleep(2)
    if len(bodies(backend)) != 3:
        raise Failure("skipped screenshots were sent: %d captures" % len(bodies(backend)))


def start_app(session, options, environment):
    app = session.start("app", [os.path.join(options.bin, e2e.APP_NAME)], env=environment)
    wait_for("the app", e2e.application)
    return app


def not_offered_again(session, app, options, environment, shots):
    """After a restart only the screenshot that was never handled is offered."""
    session.stop(app)
    wait_for("the app to go", lambda: e2e.application() is None)
    save(shots, "six.png", 250)
    app = start_app(session, options, environment)
    wait_for("six.png offered", lambda: find_text(r"^six\.png$"))
    if find_text(r"more$"):
        raise Failure("a handled screenshot was offered again")
    return app


def killed_while_sending(session, app, options, environment, backend):
    """SIGKILL while the reply is on its way (the backend has filed it): after the restart the
    screenshot is offered and sent again under its fingerprint, and it is filed once."""
    backend.call("POST", "/__dev/faults", {"path": "/functions/v1/capture-ingest",
                                           "phase": "after", "delay_ms": 20000})
    panel = panel_window()
    xdotool("windowactivate", "--sync", panel)
    key("Return")
    filed(backend, 4)
    app.send_signal(signal.SIGKILL)
    app.wait()
    backend.call("DELETE", "/__dev/faults")
    wait_for("the app to go", lambda: e2e.application() is None)
    app = start_app(session, options, environment)
    wait_for("six.png offered again", lambda: find_text(r"^six\.png$"))
    xdotool("windowactivate", "--sync", panel_window())
    key("Return")
    wait_for("the panel to go", lambda: not find_text(r"^Send to stash\?$"))
    e2e.open_menu()
    wait_for("the sent line", lambda: find_text(r"^Sent six\.png$"))
    close_menu()
    if len(bodies(backend)) != 4:
        raise Failure("six.png was filed %d times" % (len(bodies(backend)) - 3))
    return app


def queued_while_down(backend, shots):
    """With the backend failing the screenshot waits in the outbox until Try now."""
    backend.fail_ingest(3)
    save(shots, "seven.png", 70)
    panel = panel_window()
    xdotool("windowactivate", "--sync", panel)
    key("Return")
    e2e.open_menu()
    wait_for("the saved line",
             lambda: find_text(r"^Saved seven\.png to send later — server 503$"))
    wait_for("the outbox line", lambda: find_text(r"^1 waiting to send$"))
    press("Try now")
    wait_for("the delivery line", lambda: find_text(r"^Sent 1 capture that were waiting$"))
    close_menu()
    if not filed(backend, 5).get("source_ref", "").split("|")[0].endswith("/seven.png"):
        raise Failure("seven.png was not delivered")


def shown_texts():
    """The labels showing now, for a failure's report."""
    root = e2e.application()
    if root is None:
        return []
    import pyatspi
    found = []
    pyatspi.findAllDescendants(root, lambda node: node is not None and
                               node.getRoleName() == "label" and e2e.showing(node) and
                               found.append(node.name))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder of the built programs")
    options = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="tarvo-shots-e2e-")
    os.chmod(folder, 0o700)
    session = e2e.Session(folder)
    try:
        e2e.start_display(session)
        e2e.start_window_manager(session)
        session.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        backend = e2e.Backend(e2e.start_backend(session, os.path.join(options.bin,
                                                                      "tarvo-devbackend")))
        home = os.path.join(folder, "home")
        shots = os.path.join(home, "Pictures", "Screenshots")  # GNOME's screenshot folder
        os.makedirs(shots)
        environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                           XDG_DATA_HOME=os.path.join(folder, "data"), XDG_RUNTIME_DIR=folder,
                           TARVO_SECRET_STORE="file", TARVO_API_BASE=backend.base,
                           TARVO_LOG="stderr", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                           QT_ACCESSIBILITY="1")
        signin = subprocess.run([os.path.join(options.bin, "tarvo-capture"), "signin", "--email",
                                 e2e.EMAIL, "--password-stdin"], input=e2e.PASSWORD, text=True,
                                env=environment, capture_output=True, timeout=e2e.LIMIT)
        if signin.returncode != 0:
            raise Failure("sign-in failed: %r" % signin)
        e2e.run_cli(options, environment, "consent", "decline")
        e2e.start_tray(session)
        app = start_app(session, options, environment)

        sent_straight_away(backend, shots)
        confirmed_one_by_one(backend, shots)
        skipped_together(backend, shots)
        app = not_offered_again(session, app, options, environment, shots)
        app = killed_while_sending(session, app, options, environment, backend)
        queued_while_down(backend, shots)
        print("1 passed, 0 failed")
        return 0
    except Failure as failure:
        e2e.report("%s (showing: %r)" % (failure, shown_texts()), session, folder)
        return 1
    finally:
        session.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
