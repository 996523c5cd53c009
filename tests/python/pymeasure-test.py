#!/usr/bin/env python3
# The PyMeasure class (python/vx3340) against the program: its controls are the board's one table
# of selections (vx3340ctl --list-selections); on a session over a SOCKET resource (PyVISA-py),
# each control sends exactly what vx3340ctl's own pick sends, flags reads what it reads, and the
# example sweep logs a row per range.
#     pymeasure-test.py VX3340CTL PYTHON_DIR
import csv
import json
import os
import re
import subprocess
import sys
import tempfile

from session import start, stop

CTL, PYTHON_DIR = sys.argv[1], sys.argv[2]
sys.path.insert(0, PYTHON_DIR)
from vx3340 import FLAG_NAMES, SELECTIONS, VX3340  # noqa: E402


def ctl(*args):
    return subprocess.run([CTL, *args], capture_output=True, text=True, check=True,
                          timeout=30).stdout.splitlines()


def flags_of(line):
    return {name: int(re.search(rf"\b{name}=(\d)", line).group(1)) for name in FLAG_NAMES}


table = json.loads(ctl("--list-selections")[0])
assert [(e["scpi"], e["values"]) for e in table] == \
    [(f"CONFigure:{node}", list(values)) for node, values in SELECTIONS.values()], \
    "python/vx3340's SELECTIONS differ from the board's table"

trace = tempfile.NamedTemporaryFile(suffix=".trace")
# Each value of each control on a fresh session on the simulated board, beside vx3340ctl's own
# pick from start-up: the same accesses after start-up, and the same flags.
for (attribute, (_, values)), entry in zip(SELECTIONS.items(), table):
    for value, option_value in zip(values, entry["optionValues"]):
        process, ports = start(CTL, "--serve", "0", "--trace", trace.name)
        board = VX3340(f"TCPIP::127.0.0.1::{ports['scpi']}::SOCKET", timeout=10000)
        setattr(board, attribute, value)
        assert getattr(board, attribute) == value, (attribute, value)
        expected = ctl("--simulate", "--trace", "-", entry["option"], option_value)
        assert open(trace.name).read().splitlines() == expected[:-1], (attribute, value)
        assert board.flags == flags_of(expected[-1]), (attribute, value)
        board.adapter.connection.close()
        stop(process)

# The example: one row a range, each with the flags vx3340ctl reads in that state.
sweep = os.path.join(tempfile.mkdtemp(), "sweep.csv")  # a new file: PyMeasure adds to one
process, ports = start(CTL, "--serve", "0")
subprocess.run([sys.executable, os.path.join(PYTHON_DIR, "examples", "range_sweep.py"),
                f"TCPIP::127.0.0.1::{ports['scpi']}::SOCKET", sweep, "--force", "CURR"],
               check=True, timeout=60, env={**os.environ, "PYTHONPATH": PYTHON_DIR})
rows = list(csv.DictReader(line for line in open(sweep) if not line.startswith("#")))
assert [r["Range"] for r in rows] == list(SELECTIONS["range"][1]), rows
for row, option_value in zip(rows, table[0]["optionValues"]):
    want = flags_of(ctl("--simulate", "--range", option_value, "--force", "current")[-1])
    assert {n: int(float(row[n])) for n in FLAG_NAMES} == want, (row, want)
stop(process)
print(f"pymeasure: every pick matched vx3340ctl's, {len(rows)} sweep rows")
