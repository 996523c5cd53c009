#!/usr/bin/env python3
# The USB bridge in the real vx3340ctl, without the chip: a stand-in libftdi1.so.2 over the FT232H
# model (with the simulated board on its pins) is loaded in the real library's place with
# LD_LIBRARY_PATH. Checked: start-up, picks and refreshes give the simulated port's traffic from
# tests/data/ctl.expected; the pins held are the VCD's, each for at least 1 us; a refresh costs 2
# USB writes and 1 read; each failure exits 3 with its remedy and sets no pin; a pulled-out
# adapter ends a one-shot run with 5, and the SCPI session and the web panel report it and claim
# the adapter again.
#     ft232h-test.py VX3340CTL STANDIN_DIR
import http.client
import json
import os
import re
import subprocess
import sys
import tempfile

CTL, STANDIN = sys.argv[1], sys.argv[2]
DATA = os.path.join(os.path.dirname(__file__), "..", "data")
work = tempfile.mkdtemp()
PINS, VCD, TRACE = (os.path.join(work, name) for name in ("pins", "run.vcd", "trace"))
failures = []


def run(scene, *args, stdin="", port="ft232h"):
    for path in (PINS, VCD, TRACE):
        os.path.exists(path) and os.remove(path)
    env = dict(os.environ, LD_LIBRARY_PATH=STANDIN, VX_FT232H=scene, VX_FT232H_PINS=PINS)
    return subprocess.run([CTL, "--port", port, *args], input=stdin, capture_output=True,
                          text=True, env=env, timeout=30)


def check(ok, what, r):
    ok or failures.append(f"{what}: exit {r.returncode}\n{r.stdout}{r.stderr}" if r.stdout else what)


# The stand-in's record: USB writes and reads, then each state held (levels, ns).
def pins():
    lines = open(PINS).read().split("\n")[:-1] if os.path.exists(PINS) else ["0 0"]
    return [int(n) for n in lines[0].split()], [line.split() for line in lines[1:]]


# The VCD's states in order: its 13 lines' levels after each time step. The first is the claim's
# power-up state, which start-up's first access (a control read) shows.
def vcd_states():
    ids, levels, states = {}, {}, []
    for line in map(str.strip, open(VCD)):
        if line.startswith("$var"):
            ids[line.split()[3]] = len(ids)
        elif line[:1] == "#" and levels:
            states.append("".join(levels[i] for i in range(len(ids))))
        elif line[:1] in "01x" and line[1:] in ids:
            levels[ids[line[1:]]] = line[0]
    return states + ["".join(levels[i] for i in range(len(ids)))]


expected = open(os.path.join(DATA, "ctl.expected")).read()
for line in ["--simulate --trace -", "--trace - --standby On --simulate --cap 2 --measure IM "
             "--force Current --range 160MA"]:
    r = run("one", *line.replace("--simulate ", "").split(), "--vcd", VCD)
    traffic = expected.split(f"$ vx3340ctl {line}\n")[1].split("\nexit ")[0] + "\n"
    check(r.returncode == 0 and r.stdout == traffic, f"{line}: not the simulated port's", r)
    (writes, reads), held = pins()
    states = [p[0] for i, p in enumerate(held) if i == 0 or p[0] != held[i - 1][0]]
    drawn = vcd_states()
    same = all(d in ("x", h) for a, b in zip(drawn, states) for d, h in zip(a, b))
    check(len(drawn) == len(states) and same, f"pins not the VCD's:\n{drawn}\n{states}", r)
    check(all(float(ns) >= 1000 for _, ns in held if ns != "0"), "held less than 1 us", r)
    refreshes = r.stdout.count("InByte 0x378")  # claim: 2 writes, 1 read; start-up: 1 write
    check((writes, reads) == (3 + 2 * refreshes, 1 + refreshes), f"{writes}, {reads} USB", r)

# Each failure: exit 3, its remedy on stderr, no pin set.
for scene, says in [("none", "No FT232H USB adapter was found. Plug"), ("denied", "plugdev"),
                    ("busy", "in use by another program"), ("two", "serial numbers FT1, FT2"),
                    ("outofstep", "out of step")]:
    r = run(scene, "--range", "4mA")
    check(r.returncode == 3 and says in r.stderr and not pins()[1], scene, r)
r = run("two", port="ft232h:FT2")
check(r.returncode == 0, "ft232h:FT2", r)

# Pulled out in the third refresh: a one-shot run exits 5 and says so.
r = run("unplug=6", "--count", "3", "--interval", "0")
check(r.returncode == 5 and "the USB adapter went away" in r.stderr, "one-shot unplug", r)

# A SCPI session outlives it. The pick that fails queues -240; the next line finds no adapter
# (-240 again); the one after claims it again (start-up's claim and idle lines) and sends the
# register images, so the measure pick made before the unplug reads back as the simulated port's.
r = run("unplug=5", "--serve", "-", "--trace", TRACE,
        stdin="CONF:MEAS IM\nREAD?\nSYST:ERR?\nSYST:ERR?\nCONF:MEAS?;:READ?\n")
answers = r.stdout.splitlines()
check(len(answers) == 3 and all(a.startswith(e) for a, e in zip(answers, [
    '-240,"Hardware error;the USB adapter went away (USB device unavailable)"',
    '-240,"Hardware error;No FT232H USB adapter was found. Plug', 'IM;0,1,1,0,0,1,38'])) and
      open(TRACE).read().count("ClaimParallelPort 1 -1 -> 0\nClaimParallelPort 1 -1 -> 1\n"
                               "OutByte 0x378 0xC0\nOutByte 0x37A 0x04\n") == 1, "SCPI unplug", r)

# The web panel too: the pick that fails answers 503 with the reason, the state says the board
# is disconnected, the next command finds no adapter (503), and the one after claims it again.
web = subprocess.Popen([CTL, "--port", "ft232h", "--web", "0"], stderr=subprocess.PIPE, text=True,
                       env=dict(os.environ, LD_LIBRARY_PATH=STANDIN, VX_FT232H="unplug=4"))
client = http.client.HTTPConnection(re.search(r"http://([0-9.:]+)/", web.stderr.readline())[1],
                                     timeout=10)
replies = []
for path, body in [("/api/pick", b'{"control":"cboir","index":3}'), ("/api/state", None),
                   ("/api/read", b"{}"), ("/api/read", b"{}")]:
    client.request("POST" if body else "GET", path, body, {"Content-Type": "application/json"})
    reply = client.getresponse()
    replies.append((reply.status, json.loads(reply.read())))
web.terminate()
check([r[0] for r in replies] == [503, 200, 503, 200] and "went away" in replies[0][1]["error"]
      and not replies[1][1]["connected"] and replies[3][1]["connected"], f"web: {replies}", web)

print("\n".join(failures) or "ok")
sys.exit(1 if failures else 0)
