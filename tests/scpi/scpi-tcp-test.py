#!/usr/bin/env python3
# vx3340ctl's SCPI session over TCP on loopback: eight clients under load with flat memory, a
# broken line that changes nothing, the ninth connection, an address in use, and a client that
# never reads its answers. (PyVISA: the PyMeasure class's test; SIGTERM under load: the web test,
# whose program runs this session too; what a browser can be made to send: tests/net.)
#     scpi-tcp-test.py VX3340CTL
import concurrent.futures
import contextlib
import re
import socket
import subprocess
import sys
import tempfile
import threading

from session import TIMEOUT, Client, connect, kib, start, stop, until

CTL = sys.argv[1]
process, ports = start(CTL, "--serve", "0")  # on the simulated board, on loopback
port = ports["scpi"]
# Eight clients at once, each line a whole setting and its queries: the answers show that no
# refresh or line of another client came in between. Each client has its own error queue.
lines = [f"CONF:RANG {r};:CONF:FORC {f};:CONF:COMP {c};:CONF:MEAS VM;:CONF:CAP {k};"
         f":CONF:STAND OFF;:READ?;:CONF:RANG?;FORC?;COMP?;CAP?"
         for r, f, c, k in [("4UA", "VOLT", "VOLT", 0), ("4MA", "CURR", "CURR", 1),
                            ("400UA", "VOLT", "CURR", 2), ("160MA", "CURR", "VOLT", 0)]]
alone = Client(port)
expected = {line: alone.ask(line) for line in lines}
alone.close()
failures, memory = [], []


def load(n, rounds=125):
    client = Client(port)
    for i in range(rounds):
        failures.extend(f"client {n}: {line} -> {answer}" for line in lines
                        if (answer := client.ask(line)) != expected[line])
        client.send(f"BOGUS{n}")  # its own error, not another client's
        if client.ask("SYST:ERR?;SYST:ERR?") != '-113,"Undefined header";0,"No error"':
            failures.append(f"client {n}: another client's error")
        if n == 0 and i in (20, rounds - 1):
            memory.append(kib(process, "VmRSS"))
    client.close()


with concurrent.futures.ThreadPoolExecutor(8) as pool:
    list(pool.map(load, range(8), timeout=TIMEOUT * 4))
assert not failures, failures[:5]
assert len(memory) == 2 and memory[1] - memory[0] < 1024, f"memory grew: {memory} KiB"

# Half a line and gone: it does not change the board, though it would have, whole.
watcher = Client(port)
before = watcher.ask("CONF:RANG?")  # never 40MA: the lines above set other ranges
half = Client(port)
half.send(b"CONF:RANG 40MA")
half.sock.shutdown(socket.SHUT_WR)
assert half.file.readline() == b"", "the session kept a connection whose client left"
assert watcher.ask("CONF:RANG?") == before, "a broken line changed the board"

# The ninth connection is refused, and told why.
clients = [watcher] + [Client(port) for _ in range(7)]
ninth = Client(port)
refusal = ninth.file.readline().decode()
assert "refused" in refusal and "8 clients" in refusal, refusal
assert ninth.file.readline() == b"", "the ninth connection stayed open"
assert all(client.ask("*OPC?") == "1" for client in clients), "a client lost its connection"

stop(process)

# An address that cannot be used is bad input, before start-up. (Listening beyond loopback
# warns: the announcements' test.)
taken = socket.create_server(("127.0.0.1", 0))  # held while the program tries its port
used = subprocess.run([CTL, "--simulate", "--trace", "-", "--serve",
                       f"127.0.0.1:{taken.getsockname()[1]}"],
                      capture_output=True, text=True, timeout=TIMEOUT)
assert used.returncode == 2 and used.stdout == "" and "cannot listen" in used.stderr, used

# A client that sends *IDN? and never reads: 1.2 MB of lines, then READ?s. The session runs its
# lines only until 64 KiB of answers wait for it, keeps its memory, serves another client all
# along, and drops the silent one after 10 s; the trace shows that none of its READ?s ran.
trace = tempfile.NamedTemporaryFile(suffix=".trace")
process, ports = start(CTL, "--serve", "0", "--trace", trace.name)
port = ports["scpi"]
base = kib(process, "VmRSS")
silent = connect(port, rcvbuf=4096)
silent.settimeout(11)  # for the whole of sendall: the session reads none of it after a while


def flood():
    with contextlib.suppress(OSError):
        silent.sendall(b"*IDN?\n" * 200000 + b"READ?\n" * 1000)


threading.Thread(target=flood, daemon=True).start()
other, peaks = Client(port), []


def served():  # the other client, served all along, while the silent one is not yet dropped
    assert other.ask("CONF:RANG?") == "4UA"
    peaks.append(kib(process, "VmRSS"))
    return process.log


until(served, "the silent client was never dropped", 10 + TIMEOUT)
assert max(peaks) - base < 64 * 1024, f"memory grew from {base} to {max(peaks)} KiB"
assert re.fullmatch(r"vx3340ctl: dropped 127\.0\.0\.1:\d+: it read none of its answers for "
                    r"10000 ms\n", process.log[0]), process.log
stop(process)
refreshes = sum(line.startswith("OutByte 0x378") for line in open(trace.name))
assert refreshes == 1, f"{refreshes - 1} data writes after start-up: a dropped client's lines ran"
assert process.log[1:] == [], process.log
print("ok: SCPI over TCP")
