#!/usr/bin/python3
"""Start-up and idle cost of the window, against the simulated encoder.

    bench/startup.py [BUILD_DIR] [--idle SECONDS]

Prints, from one run of kvxc --port <kvxsim> --connect:
  - the time from starting the process to the main window's first paint,
  - the resident memory once the read of the encoder is complete,
  - the CPU used while connected and idle (default over 30 s), in % of one core.
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
TARGET_IDLE_CPU = 0.5


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


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--idle", type=float, default=30.0, help="seconds of idle measurement")
    args = parser.parse_args()

    if not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY"):
        if not shutil.which("xvfb-run"):
            raise SystemExit("startup: no display and no xvfb-run")
        os.execvp("xvfb-run", ["xvfb-run", "-a", sys.executable] + sys.argv)

    kvxc = os.path.join(args.build, "src/app/kvxc")
    kvxsim = os.path.join(args.build, "tools/kvxsim/kvxsim")
    for program in (kvxc, kvxsim):
        if not os.access(program, os.X_OK):
            raise SystemExit(f"startup: {program} is not built")

    with tempfile.TemporaryDirectory(prefix="kvx-startup-") as tmp:
        sim = subprocess.Popen([kvxsim], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        window = None
        try:
            port = sim.stdout.readline().decode().strip()
            if not port:
                raise SystemExit("startup: kvxsim did not start")
            runtime = os.path.join(tmp, "runtime")
            os.mkdir(runtime, 0o700)
            env = dict(os.environ, KVX_LOG="debug", KVX_CONFIG_DIR=os.path.join(tmp, "conf"),
                       XDG_RUNTIME_DIR=runtime, XDG_DATA_HOME=os.path.join(tmp, "data"))
            lines = queue.Queue()
            seen = []
            start = time.monotonic()
            window = subprocess.Popen([kvxc, "--port", port, "--connect"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            threading.Thread(target=lines_with_times, args=(window.stderr, lines), daemon=True).start()

            painted = wait_for(lines, "first paint", start + 20, seen)
            wait_for(lines, "read complete", start + 30, seen)
            rss = resident_mb(window.pid)

            # Connected and idle: the clock refresh every 2 s is all that runs.
            cpu0, t0 = cpu_seconds(window.pid), time.monotonic()
            time.sleep(args.idle)
            cpu1, t1 = cpu_seconds(window.pid), time.monotonic()
            idle_cpu = 100.0 * (cpu1 - cpu0) / (t1 - t0)
        finally:
            if window and window.poll() is None:
                window.send_signal(signal.SIGTERM)
                window.wait(10)
            sim.terminate()
            sim.wait(10)

    paint_ms = 1000.0 * (painted - start)

    def row(name, value, unit, target, ok):
        print(f"{name:<34} {value:8.1f} {unit:<4} (target {target}) {'ok' if ok else 'OVER'}")

    row("start to first paint", paint_ms, "ms", f"<= {TARGET_PAINT_MS} ms", paint_ms <= TARGET_PAINT_MS)
    row("resident memory after the read", rss, "MB", f"<= {TARGET_RSS_MB} MB", rss <= TARGET_RSS_MB)
    row(f"CPU connected and idle ({args.idle:.0f} s)", idle_cpu, "%", f"<= {TARGET_IDLE_CPU} % of a core",
        idle_cpu <= TARGET_IDLE_CPU)


if __name__ == "__main__":
    main()
