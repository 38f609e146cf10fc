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
import harness as e2e  # noqa: E402  the end-to-end tests' session helpers


def threads_switches(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, task)) as status:
            for line in status:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
    return total


def memory_kib(pid):
    """Resident (RSS), proportional (PSS) and private (USS) memory, in KiB."""
    fields = {}
    with open("/proc/%d/smaps_rollup" % pid) as rollup:
        for line in rollup:
            parts = line.split()
            if len(parts) == 3 and parts[2] == "kB":
                fields[parts[0].rstrip(":")] = int(parts[1])
    return {"rss": fields.get("Rss", 0), "pss": fields.get("Pss", 0),
            "uss": fields.get("Private_Clean", 0) + fields.get("Private_Dirty", 0)}


def measure(name, command, environment, idle, settle):
    folder = tempfile.mkdtemp(prefix="tarvo-bench-")
    session = e2e.Session(folder)
    try:
        e2e.start_display(session)
        e2e.start_window_manager(session)
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
        return dict(memory_kib(program.pid), name=name, shown_ms=shown * 1000, wakeups=wakeups,
                    threads=len(os.listdir("/proc/%d/task" % program.pid)))
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

    print("%-22s %11s %10s %10s %10s %8s %16s" % ("program", "icon shown", "RSS", "PSS", "USS",
                                                   "threads", "wake-ups in %gs" % options.idle))
    for result in results:
        print("%-22s %8.0f ms %6.1f MiB %6.1f MiB %6.1f MiB %8d %16d" % (
            result["name"], result["shown_ms"], result["rss"] / 1024, result["pss"] / 1024,
            result["uss"] / 1024, result["threads"], result["wakeups"]))
    bare, app = results
    print("the app beside the bare program: RSS %.2f×, PSS %.2f×, USS %.2f×" % (
        app["rss"] / bare["rss"], app["pss"] / bare["pss"], app["uss"] / bare["uss"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
