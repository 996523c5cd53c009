#!/usr/bin/env python3
# vx3340ctl's SCPI session over TCP on loopback: PyVISA, eight clients under load with flat
# memory, a broken line that changes nothing, the ninth connection, an address in use, and a
# client that never reads its answers. (SIGTERM under load: the web test, whose program runs this
# session too; what a browser can be made to send: the hostile clients' test in tests/net.)
#     scpi-tcp-test.py VX3340CTL
import os
import pathlib
import tempfile
import re
import socket
import subprocess
import sys
import threading
import time

import pyvisa

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import session  # noqa: E402
from session import stop  # noqa: E402

CTL = sys.argv[1]
TIMEOUT = 10  # seconds for any one answer: a bound, not a measurement


# A session on the simulated board at a free port, on loopback by default: process and port.
def start(*args):
    process, ports = session.start(CTL, "--serve", "0", *args)
    return process, ports["scpi"]


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
        self.file = self.sock.makefile("rb")

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode() + b"\n")

    def ask(self, line):
        self.send(line)
        answer = self.file.readline()
        if not answer:
            raise EOFError("the session closed the connection")
        return answer.decode().rstrip("\n")

    def close(self):
        self.file.close()
        self.sock.close()


def rss_kib(process):
    status = pathlib.Path(f"/proc/{process.pid}/status").read_text()
    return int(re.search(r"VmRSS:\s+(\d+)", status).group(1))


process, port = start()
# A real client: PyVISA's pure-Python backend, as a bench script uses it.
visa = pyvisa.ResourceManager("@py").open_resource(
    f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n", write_termination="\n",
    timeout=TIMEOUT * 1000)
assert visa.query("*IDN?") == "VX3340 evaluation board,vx3340ctl,0,1.2.0.0"
visa.write("CONF:RANG 40MA")
visa.write("CONF:FORC CURR")
assert visa.query("CONF:RANG?;FORC?") == "40MA;CURR"
assert visa.query("READ?") == "1,0,1,0,0,0,5"
visa.close()

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
        for line in lines:
            answer = client.ask(line)
            if answer != expected[line]:
                failures.append(f"client {n}: {line} -> {answer}")
        client.send(f"BOGUS{n}")  # its own error, not another client's
        if client.ask("SYST:ERR?;SYST:ERR?") != '-113,"Undefined header";0,"No error"':
            failures.append(f"client {n}: another client's error")
        if n == 0 and i in (20, rounds - 1):
            memory.append(rss_kib(process))
    client.close()

threads = [threading.Thread(target=load, args=(n,), daemon=True) for n in range(8)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join(TIMEOUT * 4)
assert not any(thread.is_alive() for thread in threads), "the load did not end"
assert not failures, failures[:5]
assert len(memory) == 2 and memory[1] - memory[0] < 1024, f"memory grew: {memory} KiB"

# Half a line and gone: it does not change the board, though it would have, whole.
watcher = Client(port)
before = watcher.ask("CONF:RANG?")
assert before != "40MA"
half = Client(port)
half.send(b"CONF:RANG 40MA")
half.sock.shutdown(socket.SHUT_WR)
assert half.file.readline() == b"", "the session kept a connection whose client left"
half.close()
assert watcher.ask("CONF:RANG?") == before, "a broken line changed the board"

# The ninth connection is refused, and told why.
clients = [watcher] + [Client(port) for _ in range(7)]
ninth = Client(port)
refusal = ninth.file.readline().decode()
assert "refused" in refusal and "8 clients" in refusal, refusal
assert ninth.file.readline() == b"", "the ninth connection stayed open"
for client in clients:
    assert client.ask("*OPC?") == "1"
    client.close()

stop(process)

# An address that cannot be used is bad input, before start-up. (Listening beyond loopback
# warns: the announcements' test.)
taken = socket.create_server(("127.0.0.1", 0))
used = session.spawn(CTL, "--simulate", "--trace", "-", "--serve",
                     f"127.0.0.1:{taken.getsockname()[1]}", stdout=subprocess.PIPE,
                     stderr=subprocess.PIPE)
out, err = used.communicate(timeout=TIMEOUT)
assert used.returncode == 2 and out == "" and "cannot listen" in err, (used.returncode, out, err)

# A client that sends *IDN? and never reads: 1.2 MB of lines, then READ?s. The session runs its
# lines only until 64 KiB of answers wait for it, keeps its memory, serves another client all
# along, and drops the silent one after 10 s; the trace shows that none of its READ?s ran.
trace = os.path.join(tempfile.mkdtemp(), "silent.trace")
process, port = start("--trace", trace)
# The lines the session writes on stderr after its first, as they come.
log = []
reader = threading.Thread(target=lambda: log.extend(process.stderr), daemon=True)
reader.start()
base = rss_kib(process)
silent = socket.socket()
silent.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
silent.connect(("127.0.0.1", port))
silent.settimeout(1)

def flood():
    data, sent, until = b"*IDN?\n" * 200000 + b"READ?\n" * 1000, 0, time.monotonic() + 11
    while sent < len(data) and time.monotonic() < until:
        try:
            sent += silent.send(data[sent:sent + 65536])
        except socket.timeout:
            pass
        except OSError:
            break

flooding = threading.Thread(target=flood, daemon=True)
flooding.start()
other, worst, peak, deadline = Client(port), 0.0, 0, time.monotonic() + 10 + TIMEOUT
while not log:
    assert time.monotonic() < deadline, "the silent client was never dropped"
    asked = time.monotonic()
    assert other.ask("CONF:RANG?") == "4UA"
    worst = max(worst, time.monotonic() - asked)
    peak = max(peak, rss_kib(process))
    time.sleep(0.05)
print(f"silent client: other client's worst round trip {worst * 1000:.1f} ms, "
      f"memory {base} KiB at start, {peak} KiB at most")
assert peak - base < 64 * 1024, f"memory grew from {base} to {peak} KiB"
assert re.fullmatch(r"vx3340ctl: dropped 127\.0\.0\.1:\d+: it read none of its answers for "
                    r"10000 ms\n", log[0]), log
other.close()

stop(process, said=False)
reader.join(TIMEOUT)
refreshes = sum(1 for line in pathlib.Path(trace).read_text().splitlines()
                if line.startswith("OutByte 0x378"))
assert refreshes == 1, f"{refreshes - 1} data writes after start-up: a dropped client's lines ran"
assert log[1:] == [], log
print("ok: SCPI over TCP")
