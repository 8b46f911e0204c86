#!/usr/bin/python3
"""Baseline for the read-script benchmark: the same 33 commands the read script
sends, each written and its reply read until the closing OK/NO line, with plain
blocking pyserial calls. Prints the median of the runs and each run's time in
milliseconds, separated by blanks; then, on a second line, the context switches
(voluntary and involuntary) the process made per run.

With "once" instead of the number of runs it makes one read on the freshly
opened port, without a warm-up, and prints its time in milliseconds: a paced
line then carries exactly the bytes of that read."""
import resource
import statistics
import sys
import time

import serial

COMMANDS = ["ECHO=0", "REV?", "SER?", "PI?", "PS?", "PTY?", "TA?", "TP?", "TATIME?", "MS?", "DI?",
            "MODE?", "TEXT?", "DPS?", "DPSS?", "PARSE?"] + ["AF%d?" % i for i in range(1, 8)] + \
           ["PHASE?", "CT?", "DATE?", "TIME?", "ISDST?", "OFFSET?", "PILOT?", "DRTS?", "SYNC?", "DST?"]


def read_all(port):
    for cmd in COMMANDS:
        port.write(cmd.encode("ascii") + b"\r\n")
        reply = b""
        while not (reply.endswith(b"\r\nOK\r\n") or reply.endswith(b"\r\nNO\r\n")):
            chunk = port.read(max(1, port.in_waiting))
            if not chunk:
                raise SystemExit("no reply to " + cmd)
            reply += chunk


def main():
    path = sys.argv[1]
    assert len(COMMANDS) == 33
    if sys.argv[2] == "once":
        with serial.Serial(path, timeout=5) as port:
            start = time.perf_counter()
            read_all(port)
            print("%.3f" % ((time.perf_counter() - start) * 1000.0))
        return
    runs = int(sys.argv[2])
    with serial.Serial(path, timeout=5) as port:
        read_all(port)  # warm-up
        times = []
        before = resource.getrusage(resource.RUSAGE_SELF)
        for _ in range(runs):
            start = time.perf_counter()
            read_all(port)
            times.append((time.perf_counter() - start) * 1000.0)
        after = resource.getrusage(resource.RUSAGE_SELF)
    print("%.3f" % statistics.median(times), " ".join("%.3f" % t for t in times))
    switches = (after.ru_nvcsw + after.ru_nivcsw) - (before.ru_nvcsw + before.ru_nivcsw)
    print("%.1f" % (switches / runs))


if __name__ == "__main__":
    main()
