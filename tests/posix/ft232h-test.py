#!/usr/bin/env python3
# The USB bridge in the real vx3340ctl, through the real libftdi1 and libusb: umockdev's testbed
# (usb-testbed) emulates the adapters at the kernel's USB device interface, with the FT232H model
# and the simulated board behind them. Each run of tests/data/ft232h.runs gives its output, exit
# code, the adapter's record (requests, USB writes and reads, each state of the pins with how long
# it was held, faults: a line let go, a read while lines float), the VCD's states beside it, and
# its trace; then the web panel outlives a pulled-out adapter. The transcript must be
# tests/data/ft232h.expected, line for line. Exits 77 (skipped) where umockdev cannot run.
#     ft232h-test.py VX3340CTL USB_TESTBED
import contextlib
import difflib
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading

from session import spawn, start, stop

CTL, TESTBED = sys.argv[1], sys.argv[2]

DATA = os.path.join(os.path.dirname(__file__), "..", "data")
RECORD = os.path.join(tempfile.mkdtemp(), "RECORD")
FILES = {name: os.path.join(os.path.dirname(RECORD), name) for name in ("VCD", "TRACE")}


# The testbed's command on the adapters of a scene, which the program's follows, and a socket
# pair: this end plugs a pulled-out adapter in again; the testbed's end goes to it (pass_fds) and
# is closed here once it runs, so that its going shows.
def testbed(scene):
    mine, theirs = socket.socketpair()
    return (TESTBED, scene, RECORD, str(theirs.fileno()), "--"), mine, theirs


probe = subprocess.run([TESTBED, "ft232h", RECORD, "-", "--", "test", "-e",
                        "/sys/bus/usb/devices/1-2"], capture_output=True, text=True)
if probe.returncode != 0:
    sys.exit(print("skipped: umockdev's testbed does not reach programs here:", probe.stderr) or 77)


# The VCD's states in order: its 13 lines' levels after each time step. The first is the claim's
# power-up state, which start-up's first access (a control read) shows.
def vcd_states(path):
    ids, levels, states = {}, {}, []
    for line in map(str.strip, open(path)):
        if line.startswith("$var"):
            ids[line.split()[3]] = len(ids)
        elif line[:1] == "#" and levels:
            states.append("".join(levels[i] for i in range(len(ids))))
        elif line[:1] in "01x" and line[1:] in ids:
            levels[ids[line[1:]]] = line[0]
    return states + ["".join(levels[i] for i in range(len(ids)))]


# A session's input a line at a time; at "+" the adapter is plugged in again, once the session has
# tried to claim it again (its trace shows the failed claim). A session that hangs is ended.
def converse(run, lines, control):
    out, deadline = [], threading.Timer(30, run.terminate)
    deadline.start()
    for line in lines:
        if line != "+":
            print(line, file=run.stdin, flush=True)
            continue
        while (not out or out[-1] != "ClaimParallelPort 1 -1 -> 0") and (got := run.stdout.readline()):
            out.append(got.rstrip("\n"))
        with contextlib.suppress(OSError):  # a testbed gone shows in the transcript
            control.sendall(b"plug\n"), control.recv(16)
    stdout, stderr = run.communicate()
    deadline.cancel()
    return out + stdout.splitlines(), stderr


transcript = []
for run in open(os.path.join(DATA, "ft232h.runs")).read().splitlines():
    if run.startswith("#"):
        continue
    scene, args, stdin = *run.split(" <<< ")[0].split(" ", 1), run.partition(" <<< ")[2]
    before, mine, theirs = testbed(scene)
    ctl = spawn(*before, CTL, *[FILES.get(a, a) for a in args.split()], pass_fds=(theirs.fileno(),),
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    theirs.close()
    out, err = converse(ctl, stdin.split("|") if stdin else [], mine)
    out = [re.sub(r"^\S+Z ", "", line) for line in out]  # a read's time stamp
    transcript += [f"$ {scene} {args}", *out, *("! " + line for line in err.splitlines()),
                   f"exit {ctl.returncode}", *open(RECORD).read().splitlines()]
    transcript += ["vcd " + state for state in vcd_states(FILES["VCD"])] if "VCD" in args else []
    transcript += ["trace " + t for t in open(FILES["TRACE"]).read().splitlines()] if "TRACE" in args else []

# The web panel: the pick that fails answers 503 with the reason, the state says the board is
# disconnected, the next command finds no adapter (503), and once it is plugged in again the one
# after claims it again.
before, mine, theirs = testbed("ft232h/FT1/unplug=5")
web, ports = start(CTL, "--port", "ft232h", "--web", "0", before=before, simulate=False,
                   pass_fds=(theirs.fileno(),))
theirs.close()
client = http.client.HTTPConnection("127.0.0.1", ports["web"], timeout=10)
for path, body in [("/api/pick", b'{"control":"cboir","index":3}'), ("/api/state", None),
                   ("/api/read", b"{}"), ("plug", None), ("/api/read", b"{}")]:
    if path == "plug":
        mine.sendall(b"plug\n"), mine.recv(16)
        continue
    client.request("POST" if body else "GET", path, body, {"Content-Type": "application/json"})
    reply = client.getresponse()
    state = json.loads(reply.read())
    transcript.append(f"web {path} {reply.status} {state.get('error', state.get('connected'))}")
stop(web, 30)

expected = open(os.path.join(DATA, "ft232h.expected")).read().splitlines()
sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(expected, transcript))
sys.exit(transcript != expected)
