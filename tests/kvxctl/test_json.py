#!/usr/bin/python3
"""kvxctl's JSON, read by Python's json module and checked field by field.

    test_json.py KVXCTL KVXSIM

Every command's --format json output against the simulated encoder: its
schema, its fields and their types, null where the encoder's firmware knows
no value, the alternative frequencies as seven slots that go back through
set, text with quotes, backslashes and control bytes that reads back as the
same characters, and failures as one JSON object on standard error.
"""

import datetime
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KVXCTL, KVXSIM = sys.argv[1], sys.argv[2]
TMP = tempfile.mkdtemp(prefix="kvxctl-json-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


class Sim:
    """kvxsim on a pseudo-terminal, with its log."""

    count = 0
    running = []

    def __init__(self, *args, state=None):
        Sim.count += 1
        self.log_path = os.path.join(TMP, "log%d" % Sim.count)
        cmd = [KVXSIM, "--log", self.log_path] + list(args)
        if state is not None:
            path = os.path.join(TMP, "state%d" % Sim.count)
            with open(path, "w") as f:
                f.write(state)
            cmd += ["--state", path]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        Sim.running.append(self.proc)
        self.port = self.proc.stdout.readline().decode().strip()

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("latin-1").splitlines()
        except FileNotFoundError:
            return []

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def run(sim, *args, stdin=None):
    """kvxctl's exit code, standard output and error output."""
    cmd = [KVXCTL] + (["--port", sim.port] if sim else []) + list(args)
    p = subprocess.run(cmd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return p.returncode, p.stdout, p.stderr


def js(sim, *args):
    """kvxctl -j: exit code, the parsed standard output (None when empty), the parsed error object (None)."""
    code, out, err = run(sim, "-j", *args)
    doc = json.loads(out) if out else None
    error = json.loads(err) if err else None
    for d in (doc, error):
        check(d is None or d.get("schema") == 1, "%s: schema 1" % " ".join(args))
    check(out == b"" or out.endswith(b"\n"), "%s: output ends its line" % " ".join(args))
    return code, doc, error


def setting_keys():
    _, keys, _ = js(None, "help", "keys")
    return [k["key"] for k in keys["keys"] if not k["read_only"]]


def test_read():
    sim = Sim(state="PI=C201\nPS=RADIO 1 \nAF2=105\nAF5=204\nOFFSET=-05:30\nDI=9\nDST=1\nSYNC=2\n")
    code, doc, err = js(sim, "read")
    check(code == 0 and err is None, "read: exit 0, nothing on standard error")
    check(doc["HW"] == "KVX-1" and doc["SERIAL"] == "000001" and doc["PILOT"] == "LOCK", "read: facts")
    check(doc["FW"].startswith("01.03") and doc["firmware_level"] == 103, "read: firmware")
    check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", doc["CLOCK"]) is not None, "read: CLOCK in ISO 8601")
    check(doc["ISDST"] == 0, "read: ISDST a number")
    check(doc["PI"] == "C201" and doc["PS"] == "RADIO 1 " and doc["OFFSET"] == "-05:30", "read: texts")
    for key in setting_keys():
        if re.fullmatch(r"AF\d", key):
            check(key not in doc, "read: %s only among the slots" % key)
        else:
            check(key in doc, "read: %s present" % key)
    for key in ("PTY", "TA", "TATIME", "TP", "MS", "DI", "MODE", "DRTS", "DPSS", "PARSE", "PHASE", "CT", "DST", "SYNC"):
        check(type(doc[key]) is int, "read: %s a number" % key)
    check(doc["DI"] == 9 and doc["DI_bits"] == {"stereo": True, "artificial_head": False, "compressed": False,
                                                 "dynamic_pty": True}, "read: DI as bits")
    check(doc["DST"] == 1 and doc["SYNC"] == 2, "read: DST and SYNC")
    slots = doc["AF"]
    check([s["slot"] for s in slots] == list(range(1, 8)), "read: seven AF slots")
    check(slots[1] == {"slot": 2, "code": 105, "MHz": 98.0} and slots[4] == {"slot": 5, "code": 204, "MHz": 107.9},
          "read: AF2 and AF5 with code and MHz")
    check(slots[0] == {"slot": 1, "code": 0, "MHz": None}, "read: an empty slot")

    # The slots go back through set, as codes and as frequencies.
    for form in ("code", "MHz"):
        other = Sim()
        args = ["AF%d=%s" % (s["slot"], s[form] if s[form] is not None else 0) for s in slots]
        code, _, err = js(other, "set", *args)
        check(code == 0, "set %s: exit 0 (%s)" % (form, err))
        _, back, _ = js(other, "read")
        check(back["AF"] == slots, "AF slots round-trip through set as %s" % form)
        check([l for l in other.log() if "=" in l and l != "ECHO=0"] == ["AF2=105", "AF5=204"],
              "set %s: only AF2 and AF5 sent" % form)
        other.stop()

    # get: the same values by key, any letter case.
    code, doc, _ = js(sim, "get", "ps", "Af", "af5", "dst", "serial", "isdst", "di")
    check(code == 0 and list(doc) == ["schema", "PS", "AF", "AF5", "DST", "SERIAL", "ISDST", "DI", "DI_bits"],
          "get: keys in order, DI with its bits")
    check(doc["AF"] == slots and doc["AF5"] == slots[4] and doc["DST"] == 1, "get: values as read has them")
    sim.stop()

    old = Sim("--firmware", "01.02.992")
    code, doc, _ = js(old, "read")
    check(code == 0 and doc["ISDST"] is None and doc["DST"] is None and doc["SYNC"] is None,
          "read below firmware 01.03: ISDST, DST and SYNC null")
    check(doc["firmware_level"] == 102, "read below 01.03: its level")
    code, doc, _ = js(old, "get", "DST", "SYNC", "PTY")
    check(doc == {"schema": 1, "DST": None, "SYNC": None, "PTY": 0}, "get below 01.03: null")
    old.stop()


def test_escapes():
    # A TEXT holding a quote, a backslash, control bytes and a Latin-1 letter.
    raw = b'Q"\\\\B\x01\x1b\x7f\x9b\xe9'
    sim = Sim(b"--reply", b'TEXT?="' + raw + b'"')
    code, out, _ = run(sim, "-j", "read")
    check(code == 0, "escapes: exit 0")
    check(not re.search(rb"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]", out), "escapes: no control byte in the output")
    check(json.loads(out)["TEXT"] == 'Q"\\B\x01\x1b\x7f\x9b\xe9', "escapes: TEXT reads back as the same characters")
    sim.stop()

    # Written with set and read back.
    sim = Sim()
    code, _, err = js(sim, "set", 'PS=A"B\\C', 'TEXT=Café "x" \\n')
    check(code == 0, "escapes: set exit 0 (%s)" % err)
    check('PS=A"B\\C' in sim.log() and 'TEXT=Caf\xe9 "x" \\n' in sim.log(), "escapes: 8-bit text sent")
    _, doc, _ = js(sim, "read")
    check(doc["PS"] == 'A"B\\C' and doc["TEXT"] == 'Café "x" \\n', "escapes: set's texts read back")
    sim.stop()


def statuses(doc):
    return [(c["command"], c["status"]) for c in doc["commands"]]


def test_writes():
    sim = Sim("--refuse", "TP=")
    code, doc, err = js(sim, "set", "PS=NEW", "TA=1", "TP=1", "CT=0")
    check(code == 6, "set refused: exit 6")
    check(statuses(doc) == [("PS=NEW", "applied"), ("TA=1", "applied"), ("TP=1", "refused"), ("CT=0", "not sent")],
          "set refused: each command's status")
    check(doc["commands"][2]["reply"] == "\r\nNO\r\n" and doc["commands"][3]["reply"] is None, "set refused: replies")
    check(doc["applied"] == 2 and doc["complete"] is False and doc["verified"] is None, "set refused: summary")
    check(err["exit"] == 6 and err["error"] == "Save Failed! Negative Acknowledgement.", "set refused: error object")
    check("Not sent (1): CT=0." in err["messages"], "set refused: what was not sent")
    sim.stop()

    sim = Sim()
    path = os.path.join(TMP, "station.kvx")
    with open(path, "wb") as f:
        f.write(b"PI=C201\r\nPS=RDS\r\nMS=1\r\nDI=1\r\nCT=1\r\nAF1=105\r\n")
    code, doc, err = js(sim, "diff", path)
    check(code == 1 and err["exit"] == 1 and err["error"] is None, "diff differs: exit 1, no error")
    check(doc["same"] is False and [c["key"] for c in doc["changes"]] == ["PI", "AF1"], "diff: the changes by key")
    check(doc["changes"][0] == {"command": "PI=C201", "key": "PI", "encoder": "FFFF", "target": "C201"},
          "diff: PI with both values")
    check(doc["changes"][1]["target"] == {"slot": 1, "code": 105, "MHz": 98.0}, "diff: AF1 as a slot")
    code, doc, err = js(sim, "write", path)
    check(code == 0 and err["exit"] == 0 and err["error"] is None, "write: exit 0")
    check(err["messages"][0].startswith(path + ": no line for PTY, "), "write: the keys the file lacks named")
    check(statuses(doc) == [("PI=C201", "applied"), ("AF1=105", "applied")] and doc["verified"] is True,
          "write: applied and verified")
    check(all(c["reply"] == "\r\nOK\r\n" for c in doc["commands"]), "write: each reply")
    code, doc, err = js(sim, "diff", path)
    check(code == 0 and err["exit"] == 0 and doc == {"schema": 1, "same": True, "changes": []},
          "diff the same: exit 0")

    backup = os.path.join(TMP, "backup.kvx")
    code, doc, err = js(sim, "defaults", "--yes", "--backup", backup)
    check(code == 0 and doc["backup"] == backup and doc["PI"] == "FFFF", "defaults: the backup and the new settings")
    check(err["exit"] == 0 and any("saved to" in m for m in err["messages"]), "defaults: what it said, as JSON")
    with open(backup, "rb") as f:
        check(b"PI=C201\r\n" in f.read(), "defaults: the backup holds the old settings")

    code, doc, _ = js(sim, "send", "ECHO=0", "PI?", "XX?")
    check(code == 1 and [r["command"] for r in doc["replies"]] == ["ECHO=0", "PI?", "XX?"], "send: each command")
    check(doc["replies"][1]["reply"] == "\r\nFFFF\r\nOK\r\n" and doc["replies"][2]["accepted"] is False,
          "send: replies and refusal")
    sim.stop()


def test_clock():
    sim = Sim()
    # The encoder 30 s ahead of the computer.
    ahead = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(seconds=30)
    run(sim, "send", "ECHO=0", ahead.strftime("DATE=%d.%m.%y"), ahead.strftime("TIME=%H:%M:%S"))
    code, doc, err = js(sim, "clock")
    check(code == 0 and err is None, "clock: exit 0")
    check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", doc["encoder"]["utc"]) is not None, "clock: ISO 8601")
    check(doc["encoder"]["offset"] == "+00:00" and doc["encoder"]["isdst"] == 0 and doc["encoder"]["pilot"] == "LOCK",
          "clock: the encoder's offset, DST and pilot")
    check(type(doc["computer"]["dst"]) is bool and doc["computer"]["utc"].endswith("Z"), "clock: the computer's")
    check(abs(doc["drift_seconds"] - 30) <= 2, "clock: drift of about 30 s, not %s" % doc["drift_seconds"])

    # --watch: one object a line, until interrupted (then exit 0).
    p = subprocess.Popen([KVXCTL, "--port", sim.port, "-j", "clock", "--watch"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    lines = [p.stdout.readline(), p.stdout.readline()]
    p.send_signal(signal.SIGINT)
    out, err = p.communicate(timeout=60)
    check(p.returncode == 0 and err == b"", "clock --watch: interrupted, exit 0")
    check(all(json.loads(l)["drift_seconds"] is not None for l in lines), "clock --watch: an object a line")
    sim.stop()

    for date, read_as in (("00/00/00", "2000-00-00T"), ("30/02/24", "2024-02-30T")):
        sim = Sim("--reply", "DATE?=" + date)
        code, doc, err = js(sim, "clock")
        check(code == 1, "clock: an impossible date exits 1 (%s)" % date)
        check(doc["encoder"]["utc"] is None and doc["drift_seconds"] is None, "clock: no date, no drift (%s)" % date)
        check(doc["encoder"]["read_as"].startswith(read_as), "clock: what the encoder said (%s)" % date)
        check(err["exit"] == 1 and "not a date" in err["error"], "clock: the impossible date named (%s)" % date)
        sim.stop()


def test_others():
    code, doc, err = js(None, "ports")
    check(code == 0 and isinstance(doc["ports"], list), "ports: a list")
    for p in doc["ports"]:
        check(p["path"].startswith("/dev/") and isinstance(p["by_id"], list) and "manufacturer" in p, "ports: fields")
    code, doc, _ = js(None, "help")
    check({"get", "set", "read", "ports"} <= {c["name"] for c in doc["commands"]}, "help: the commands")
    code, doc, err = js(None, "--port", "/dev/kvx-none", "read")
    check(code == 2 and doc is None and err["exit"] == 2, "a port that is not there: exit 2 as JSON")
    check(any("/dev/kvx-none does not exist" in m for m in err["messages"]), "the missing port named")


try:
    for test in (test_read, test_escapes, test_writes, test_clock, test_others):
        test()
finally:
    # A check that raised leaves no simulator behind.
    for proc in Sim.running:
        if proc.poll() is None:
            proc.terminate()
            proc.wait()
    shutil.rmtree(TMP, ignore_errors=True)
print("%d failures" % len(failures) if failures else "kvxctl JSON: all checks passed")
sys.exit(1 if failures else 0)
