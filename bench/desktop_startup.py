#!/usr/bin/python3
"""Start-up and idle figures of the tray app beside a bare Qt tray program (bench_bare_tray), each
on a fresh Xvfb with openbox and trayer: the time from start until the icon is in the tray, then
the resident memory and the wake-ups (context switches of all its threads) over an idle minute.
Not a test; scripts/bench-desktop builds both programs and runs this.

    dbus-run-session -- /usr/bin/python3 bench/desktop_startup.py --bin build/bin [--idle 60]
"""

import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "desktop", "e2e"))
import desktop_end_to_end as e2e  # noqa: E402  the test's session helpers


def threads_switches(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, task)) as status:
            for line in status:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
    return total


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def measure(name, command, environment, idle, settle):
    folder = tempfile.mkdtemp(prefix="tarvo-bench-")
    session = e2e.Session(folder)
    try:
        e2e.start_display(session)
        session.start("openbox", ["openbox"])
        e2e.wait_for("the window manager", lambda: e2e.xdotool("search", "--class", "openbox")
                     or True)
        e2e.start_tray(session)
        started = time.monotonic()
        program = session.start(name, command, env=dict(environment, XDG_RUNTIME_DIR=folder,
                                                        DISPLAY=os.environ["DISPLAY"]))
        while e2e.tray_width() <= 1:
            if program.poll() is not None:
                raise e2e.Failure(name + " ended:\n" + session.log(name))
            time.sleep(0.002)
        shown = time.monotonic() - started
        time.sleep(settle)
        before = threads_switches(program.pid)
        time.sleep(idle)
        wakeups = threads_switches(program.pid) - before
        return {"name": name, "shown_ms": shown * 1000, "rss_kib": resident_kib(program.pid),
                "wakeups": wakeups, "threads": len(os.listdir("/proc/%d/task" % program.pid))}
    finally:
        session.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--idle", type=float, default=60.0, help="idle seconds measured")
    parser.add_argument("--settle", type=float, default=5.0, help="seconds before idling counts")
    options = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="tarvo-bench-backend-")
    backend_session = e2e.Session(folder)
    try:
        base = e2e.start_backend(backend_session, os.path.join(options.bin, "tarvo-devbackend"))
        environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                           XDG_DATA_HOME=os.path.join(folder, "data"), TARVO_SECRET_STORE="file",
                           TARVO_API_BASE=base)
        results = [measure(name, [os.path.join(options.bin, program)], environment, options.idle,
                           options.settle)
                   for name, program in (("bare Qt tray", "bench_bare_tray"),
                                         ("tarvo-capture-desktop", "tarvo-capture-desktop"))]
    finally:
        backend_session.close()

    print("%-24s %12s %10s %8s %20s" % ("program", "icon shown", "RSS", "threads",
                                         "wake-ups in %gs" % options.idle))
    for result in results:
        print("%-24s %9.0f ms %6.1f MiB %8d %20d" % (
            result["name"], result["shown_ms"], result["rss_kib"] / 1024, result["threads"],
            result["wakeups"]))
    bare, app = results
    print("RSS of the app: %.2f × the bare program's" % (app["rss_kib"] / bare["rss_kib"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
