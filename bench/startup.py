#!/usr/bin/python3
"""Start-up and idle cost of the window, against the simulated encoder.

    bench/startup.py [BUILD_DIR] [--idle SECONDS]

Prints, from one run of kvxc --port <kvxsim> --connect:
  - the time from starting the process to the main window's first paint,
  - the resident memory once the read of the encoder is complete,
  - while connected and idle (default over 60 s), beside an empty Qt window of
    the same size and style (bench/minimal_window) measured over the same
    seconds: the CPU used in % of one core and the wake-ups a second, with the
    wake-ups of each of kvxc's threads.
CPU time is the process's user plus system time and wake-ups its context
switches (voluntary and involuntary, summed over its threads), both read from
/proc. The machine's load average is printed with them: other work on the
machine shows in both columns alike.
Needs a display; without one it runs itself again under xvfb-run -a.
The window logs "first paint" and "read complete" with KVX_LOG=debug; the
times are taken when those lines arrive here.
"""

import argparse
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

TARGET_PAINT_MS = 300
TARGET_RSS_MB = 80
TARGET_IDLE_CPU = 0.3
TARGET_IDLE_WAKEUPS = 20


def lines_with_times(stream, out):
    for raw in iter(stream.readline, b""):
        out.put((time.monotonic(), raw.decode(errors="replace").rstrip("\n")))
    out.put((time.monotonic(), None))


def wait_for(lines, marker, deadline, seen):
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise SystemExit(f"startup: no \"{marker}\" in time; the program wrote:\n" + "\n".join(seen))
        try:
            at, line = lines.get(timeout=left)
        except queue.Empty:
            continue
        if line is None:
            raise SystemExit("startup: the program ended early; it wrote:\n" + "\n".join(seen))
        seen.append(line)
        if line.endswith(marker):
            return at


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_switches(pid):
    """Context switches of each thread: {"tid name": (voluntary, involuntary)}."""
    out = {}
    task = f"/proc/{pid}/task"
    for tid in os.listdir(task):
        try:
            with open(f"{task}/{tid}/comm") as f:
                name = f.read().strip()
            counts = {}
            with open(f"{task}/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        counts[line.split(":")[0]] = int(line.split()[1])
            out[f"{tid} {name}"] = (counts.get("voluntary_ctxt_switches", 0),
                                    counts.get("nonvoluntary_ctxt_switches", 0))
        except OSError:
            pass  # the thread ended meanwhile
    return out


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


class Sample:
    def __init__(self, pid):
        self.at = time.monotonic()
        self.cpu = cpu_seconds(pid)
        self.threads = thread_switches(pid)


def idle_figures(before, after):
    seconds = after.at - before.at
    cpu = 100.0 * (after.cpu - before.cpu) / seconds
    per_thread = {}
    for name, (voluntary, involuntary) in after.threads.items():
        was = before.threads.get(name, (0, 0))
        per_thread[name] = ((voluntary - was[0]) / seconds, (involuntary - was[1]) / seconds)
    return cpu, sum(v + i for v, i in per_thread.values()), per_thread


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idle measurement")
    args = parser.parse_args()

    if not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY"):
        if not shutil.which("xvfb-run"):
            raise SystemExit("startup: no display and no xvfb-run")
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable] + sys.argv)

    kvxc = os.path.join(args.build, "src/app/kvxc")
    kvxsim = os.path.join(args.build, "tools/kvxsim/kvxsim")
    minimal = os.path.join(args.build, "bench/minimal_window")
    for program in (kvxc, kvxsim, minimal):
        if not os.access(program, os.X_OK):
            raise SystemExit(f"startup: {program} is not built")

    with tempfile.TemporaryDirectory(prefix="kvx-startup-") as tmp:
        sim = subprocess.Popen([kvxsim], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        window = None
        yardstick = None
        try:
            port = sim.stdout.readline().decode().strip()
            if not port:
                raise SystemExit("startup: kvxsim did not start")
            runtime = os.path.join(tmp, "runtime")
            os.mkdir(runtime, 0o700)
            env = dict(os.environ, KVX_LOG="debug", KVX_CONFIG_DIR=os.path.join(tmp, "conf"),
                       XDG_RUNTIME_DIR=runtime, XDG_DATA_HOME=os.path.join(tmp, "data"),
                       XDG_STATE_HOME=os.path.join(tmp, "state"))
            lines = queue.Queue()
            seen = []
            start = time.monotonic()
            window = subprocess.Popen([kvxc, "--port", port, "--connect"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            threading.Thread(target=lines_with_times, args=(window.stderr, lines), daemon=True).start()

            painted = wait_for(lines, "first paint", start + 20, seen)
            wait_for(lines, "read complete", start + 30, seen)
            rss = resident_mb(window.pid)

            # Connected and idle, beside the empty window, over the same seconds.
            yardstick = subprocess.Popen([minimal], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(2.0)
            load_before = os.getloadavg()
            before = Sample(window.pid), Sample(yardstick.pid)
            time.sleep(args.idle)
            after = Sample(window.pid), Sample(yardstick.pid)
            load_after = os.getloadavg()
            if window.poll() is not None:
                raise SystemExit("startup: the program ended while idle; it wrote:\n" + "\n".join(seen))
            kvxc_cpu, kvxc_wakeups, kvxc_threads = idle_figures(before[0], after[0])
            min_cpu, min_wakeups, _ = idle_figures(before[1], after[1])
        finally:
            for p in (window, yardstick):
                if p and p.poll() is None:
                    p.send_signal(signal.SIGTERM)
                    p.wait(10)
            sim.terminate()
            sim.wait(10)

    paint_ms = 1000.0 * (painted - start)

    def row(name, value, unit, target, ok):
        print(f"{name:<34} {value:8.1f} {unit:<4} (target {target}) {'ok' if ok else 'OVER'}")

    row("start to first paint", paint_ms, "ms", f"<= {TARGET_PAINT_MS} ms", paint_ms <= TARGET_PAINT_MS)
    row("resident memory after the read", rss, "MB", f"<= {TARGET_RSS_MB} MB", rss <= TARGET_RSS_MB)
    print()
    print(f"connected and idle over {args.idle:.0f} s       kvxc   empty Qt window   target")
    print(f"  CPU, % of one core             {kvxc_cpu:8.2f}   {min_cpu:8.2f}          <= {TARGET_IDLE_CPU} "
          f"{'ok' if kvxc_cpu <= TARGET_IDLE_CPU else 'OVER'}")
    print(f"  wake-ups a second              {kvxc_wakeups:8.1f}   {min_wakeups:8.1f}          "
          f"<= {TARGET_IDLE_WAKEUPS} {'ok' if kvxc_wakeups <= TARGET_IDLE_WAKEUPS else 'OVER'}")
    print(f"  load average (1 min) before {load_before[0]:.2f}, after {load_after[0]:.2f}")
    print("  kvxc's wake-ups a second by thread (voluntary + involuntary):")
    for name, (voluntary, involuntary) in sorted(kvxc_threads.items(), key=lambda item: -sum(item[1])):
        print(f"    {voluntary + involuntary:8.2f} = {voluntary:6.2f} + {involuntary:5.2f}  {name}")


if __name__ == "__main__":
    main()
