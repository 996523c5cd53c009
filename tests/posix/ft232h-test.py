#!/usr/bin/env python3
# The USB bridge in the real vx3340ctl, without the chip: a stand-in libftdi1.so.2 over the FT232H
# model (with the simulated board on its pins) is loaded in the real library's place with
# LD_LIBRARY_PATH. Each run of tests/data/ft232h.runs gives its output, exit code, the USB writes
# and reads, each state of the pins with how long it was held (at least 1 us), the VCD's states
# beside them, and its trace; then the web panel outlives a pulled-out adapter. The transcript
# must be tests/data/ft232h.expected, line for line.
#     ft232h-test.py VX3340CTL STANDIN_DIR
import difflib
import http.client
import json
import os
import re
import subprocess
import sys
import tempfile

CTL, STANDIN = sys.argv[1], sys.argv[2]
DATA = os.path.join(os.path.dirname(__file__), "..", "data")
ENV = dict(os.environ, LD_LIBRARY_PATH=STANDIN)


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


# A file's lines: the stand-in's record at the last close (USB writes and reads, then each state
# held: levels, ns) or the trace.
def written(path, heading):
    return [heading + line for line in open(path).read().splitlines()]


transcript = []
for run in open(os.path.join(DATA, "ft232h.runs")).read().splitlines():
    if run.startswith("#"):
        continue
    scene, args, stdin = *run.split(" <<< ")[0].split(" ", 1), run.partition(" <<< ")[2]
    files = {name: os.path.join(tempfile.mkdtemp(), name) for name in ("PINS", "VCD", "TRACE")}
    r = subprocess.run([CTL, *(files.get(a, a) for a in args.split())], text=True, timeout=30,
                       input=stdin.replace("|", "\n") + "\n", capture_output=True,
                       env=dict(ENV, VX_FT232H=scene, VX_FT232H_PINS=files["PINS"]))
    out = re.sub(r"^\S+Z ", "", r.stdout, flags=re.M)  # a read's time stamp
    transcript += [f"$ {scene} {args}", *out.splitlines(),
                   *("! " + line for line in r.stderr.splitlines()), f"exit {r.returncode}"]
    transcript += written(files["PINS"], "pins ") if os.path.exists(files["PINS"]) else ["no pins"]
    transcript += ["vcd " + state for state in vcd_states(files["VCD"])] if "VCD" in args else []
    transcript += written(files["TRACE"], "trace ") if "TRACE" in args else []

# The web panel: the pick that fails answers 503 with the reason, the state says the board is
# disconnected, the next command finds no adapter (503), and the one after claims it again.
web = subprocess.Popen([CTL, "--port", "ft232h", "--web", "0"], stderr=subprocess.PIPE, text=True,
                       env=dict(ENV, VX_FT232H="unplug=4"))
client = http.client.HTTPConnection(re.search(r"http://([0-9.:]+)/", web.stderr.readline())[1],
                                     timeout=10)
for path, body in [("/api/pick", b'{"control":"cboir","index":3}'), ("/api/state", None),
                   ("/api/read", b"{}"), ("/api/read", b"{}")]:
    client.request("POST" if body else "GET", path, body, {"Content-Type": "application/json"})
    reply = client.getresponse()
    state = json.loads(reply.read())
    transcript.append(f"web {path} {reply.status} {state.get('error', state.get('connected'))}")
web.terminate()

expected = open(os.path.join(DATA, "ft232h.expected")).read().splitlines()
sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(expected, transcript))
sys.exit(transcript != expected)
