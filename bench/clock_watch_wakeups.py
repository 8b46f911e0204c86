#!/usr/bin/python3
"""What kvxctl clock --watch costs while it waits, against the simulated encoder.

    bench/clock_watch_wakeups.py [BUILD_DIR] [--seconds N]

Runs kvxsim and kvxctl clock --watch (a refresh every 2 s) for N seconds
(default 10) and counts, from /proc, the context switches of every thread
of kvxctl: each is a thread waking up. Between refreshes kvxctl has nothing
to do, so it should sleep; the budget is 10 wake-ups a second for the whole
program. Prints, side by side from the same run: the wake-ups a second
between refreshes (from 0.2 s after a refresh was printed to 0.2 s before
the next is due), the same for the main thread alone, and the wake-ups a
second over the whole run with the refreshes, each with its ratio to the
budget.
"""

import argparse
import glob
import os
import subprocess
import sys
import time

BUDGET_PER_S = 10.0
PERIOD_S = 2.0
MARGIN_S = 0.2


def switches(pid):
    """Context switches of each thread of the process: {tid: (name, count)}."""
    out = {}
    for status in glob.glob("/proc/%d/task/*/status" % pid):
        tid = status.split("/")[4]
        try:
            with open(status) as f:
                count = sum(int(l.split(":")[1]) for l in f if "ctxt_switches" in l)
            with open(status.replace("status", "comm")) as f:
                out[tid] = (f.read().strip(), count)
        except OSError:
            pass
    return out


def delta(before, after, tids=None):
    return sum(after[t][1] - before[t][1] for t in after if t in before and (tids is None or t in tids))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    ap.add_argument("--seconds", type=float, default=10.0)
    args = ap.parse_args()
    kvxsim = os.path.join(args.build, "tools", "kvxsim", "kvxsim")
    kvxctl = os.path.join(args.build, "tools", "kvxctl", "kvxctl")
    sim = subprocess.Popen([kvxsim], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = sim.stdout.readline().decode().strip()
    watch = subprocess.Popen([kvxctl, "--port", port, "clock", "--watch"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
    try:
        # The first refresh follows the read; measuring starts after it.
        while not watch.stdout.readline().startswith(b"Drift:"):
            pass
        start, first = time.monotonic(), switches(watch.pid)
        main_tid = str(watch.pid)
        between = main_between = 0
        measured = 0.0
        refreshes = 0
        while time.monotonic() - start < args.seconds:
            time.sleep(MARGIN_S)
            t0, a = time.monotonic(), switches(watch.pid)
            time.sleep(PERIOD_S - 2 * MARGIN_S)
            t1, b = time.monotonic(), switches(watch.pid)
            between += delta(a, b)
            main_between += delta(a, b, {main_tid})
            measured += t1 - t0
            while not watch.stdout.readline().startswith(b"Drift:"):
                pass
            refreshes += 1
        total_s, last = time.monotonic() - start, switches(watch.pid)
        overall = delta(first, last)
    finally:
        watch.terminate()
        sim.terminate()
        watch.wait()
        sim.wait()
    rate = between / measured
    main_rate = main_between / measured
    overall_rate = overall / total_s
    print("kvxctl clock --watch over %.1f s (%d refreshes, %.1f s between them measured):"
          % (total_s, refreshes, measured))
    print("  wake-ups between refreshes, all threads: %6.2f /s   %.3f of the budget of %.0f /s"
          % (rate, rate / BUDGET_PER_S, BUDGET_PER_S))
    print("  wake-ups between refreshes, main thread: %6.2f /s   %.3f of the budget"
          % (main_rate, main_rate / BUDGET_PER_S))
    print("  wake-ups overall, refreshes included:    %6.2f /s   %.3f of the budget"
          % (overall_rate, overall_rate / BUDGET_PER_S))
    print("  between refreshes / overall:             %.3f" % (rate / overall_rate if overall_rate else 0))
    return 0 if rate <= BUDGET_PER_S else 1


if __name__ == "__main__":
    sys.exit(main())
