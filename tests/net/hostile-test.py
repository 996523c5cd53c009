#!/usr/bin/env python3
# vx3340ctl --serve and --web against hostile local clients, on loopback: each case of the table
# runs against one session on the simulated board, which must live through it, answer on both
# ports afterwards, keep its peak memory within a few MB, and send nothing to the board. Then
# accept under a low limit of open files, in a session of its own.
#     hostile-test.py VX3340CTL
import ctypes
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

CTL = sys.argv[1]
TIMEOUT = 10  # seconds for any one answer: a bound, not a measurement
MIB = 1024


def spawn(*args, limit=None):
    prefix = ["prlimit", f"--nofile={limit}:{limit}", "--"] if limit else []
    trace = tempfile.NamedTemporaryFile(suffix=".trace")
    process = subprocess.Popen(prefix + [CTL, "--simulate", "--trace", trace.name, "--serve", "0",
                                         "--web", "0", *args],
                               stderr=subprocess.PIPE, text=True,
                               preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL))
    scpi = int(re.search(r":(\d+);", process.stderr.readline()).group(1))
    web = int(re.search(r":(\d+)/", process.stderr.readline()).group(1))
    log = []
    threading.Thread(target=lambda: log.extend(process.stderr), daemon=True).start()
    return process, trace, scpi, web, log


def status(process, field):
    text = open(f"/proc/{process.pid}/status").read()
    return int(re.search(field + r":\s+(\d+)", text).group(1))


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)


def exchange(port, data):
    """Sends data (as much as the server takes) and returns what comes back until it closes."""
    with connect(port) as s:
        try:
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the server answered and closed before it took everything
        reply = b""
        try:
            while chunk := s.recv(65536):
                reply += chunk
        except OSError:
            pass
        return reply


def get(port, target="/api/state", headers=""):
    return exchange(port, f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n{headers}"
                          "Connection: close\r\n\r\n".encode())


def ask(port, line):
    with connect(port) as s:
        s.sendall(line.encode() + b"\n")
        return s.makefile("rb").readline().decode().strip()


def chunked(port, chunk_line, trailer):
    head = (f"POST /api/read HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nContent-Type: application/json"
            "\r\nTransfer-Encoding: chunked\r\n\r\n").encode()
    return head + chunk_line + b"\r\n{}\r\n0\r\n" + trailer + b"\r\n"


def pipeliners(web):
    """32 clients that pipeline requests and never read hold every slot; a new one is served."""
    hogs = []
    request = f"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:{web}\r\n\r\n".encode() * 400
    for _ in range(32):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", web))
        s.setblocking(False)
        try:
            s.send(request)
        except BlockingIOError:
            pass
        hogs.append(s)
    time.sleep(0.5)
    reply = get(web)
    for s in hogs:
        s.close()
    return reply


def scpi_guard(scpi, data):
    """Lines after a request line, HTTP/2's preface or a TLS record never run."""
    return exchange(scpi, data + b"\nCONF:RANG 160MA\n*IDN?\n")


# Each case: what it does to the session, and what it must get back (a regular expression).
CASES = [
    ("a 64 KiB trailer field",
     lambda scpi, web: exchange(web, chunked(web, b"2", b"X-T: " + b"t" * 65536 + b"\r\n")),
     rb"^HTTP/1.1 400 "),
    ("a flood of trailer fields of 60 KB",
     lambda scpi, web: exchange(web, chunked(web, b"2", b"".join(
         b"X-T%d: %s\r\n" % (i, b"t" * 60000) for i in range(1000)))),
     rb"^HTTP/1.1 400 "),
    ("a chunk extension of 40 MB",
     lambda scpi, web: exchange(web, chunked(web, b"2;" + b"e" * (40 << 20), b"")),
     rb"^HTTP/1.1 400 "),
    ("a request whose body is another request",
     lambda scpi, web: exchange(web, (
         f"POST /api/read HTTP/1.1\r\nHost: 127.0.0.1:{web}\r\nContent-Type: application/json\r\n"
         f"Transfer-Encoding: gzip\r\n\r\nPOST /api/pick HTTP/1.1\r\nHost: 127.0.0.1:{web}\r\n"
         "Content-Type: application/json\r\nContent-Length: 29\r\n\r\n"
         '{"control":"cboir","index":5}').encode()),
     rb"^HTTP/1.1 400 [^\x00]*must end in chunked\"}$"),
    ("Host given twice",
     lambda scpi, web: get(web, "/api/state", "Host: evil.example\r\n"), rb"^HTTP/1.1 400 "),
    ("an event stream from another site",
     lambda scpi, web: get(web, "/api/events", "Origin: http://evil.example\r\n"),
     rb"^HTTP/1.1 403 "),
    ("non-reading pipeliners in every slot", lambda scpi, web: pipeliners(web),
     rb"^HTTP/1.1 200 "),
    ("SCPI: a request line in lower case",
     lambda scpi, web: scpi_guard(scpi, b"post / http/1.1"), rb"^$"),
    ("SCPI: HTTP/2's preface",
     lambda scpi, web: scpi_guard(scpi, b"PRI * HTTP/2.0\r\n\r\nSM\r\n"), rb"^$"),
    ("SCPI: a header line of a browser's request",
     lambda scpi, web: scpi_guard(scpi, b"*OPC\nhost: 127.0.0.1"), rb"^$"),
    ("SCPI: a TLS handshake", lambda scpi, web: scpi_guard(scpi, b"\x16\x03\x01\x02\x00\x01"),
     rb"^$"),
]

process, trace, scpi, web, log = spawn()
sent = open(trace.name).read()
failures = []
for name, attack, expected in CASES:
    peak = status(process, "VmHWM")
    reply = attack(scpi, web)
    if process.poll() is not None:
        sys.exit(f"{name}: the session ended with {process.returncode}")
    grew = status(process, "VmHWM") - peak
    if not re.search(expected, reply):
        failures.append(f"{name}: got {reply[:120]!r}")
    if grew > 4 * MIB:
        failures.append(f"{name}: peak memory grew by {grew} KiB")
    if ask(scpi, "CONF:RANG?") != "4UA" or not get(web).startswith(b"HTTP/1.1 200 "):
        failures.append(f"{name}: a port stopped answering, or the board changed")
    if open(trace.name).read() != sent:
        failures.append(f"{name}: something reached the board")
time.sleep(0.2)
warnings = [line for line in log if "HTTP request or a TLS handshake" in line]
if len(warnings) != 4:
    failures.append(f"SCPI guard: {len(warnings)} warnings, not one a connection: {log}")
process.send_signal(signal.SIGTERM)
assert process.wait(timeout=TIMEOUT) == 0, f"exit code {process.returncode}"

# Out of open files: accept waits and tries again, says so once, and both ports answer again once
# the flood ends.
process, trace, scpi, web, log = spawn(limit=40)
flood = []
for _ in range(60):
    try:
        flood.append(connect(web))
    except OSError:
        break
time.sleep(0.5)
for s in flood:
    s.close()
deadline = time.monotonic() + TIMEOUT
while time.monotonic() < deadline:
    try:
        if get(web).startswith(b"HTTP/1.1 200 ") and ask(scpi, "*OPC?") == "1":
            break
    except OSError:
        time.sleep(0.2)
else:
    failures.append("out of open files: the ports did not answer again")
said = [line for line in log if "cannot take a connection" in line]
if len(said) != 1 or "Too many open files" not in said[0]:
    failures.append(f"out of open files: {said or log}")
process.send_signal(signal.SIGTERM)
assert process.wait(timeout=TIMEOUT) == 0, f"exit code {process.returncode}"

assert not failures, "\n".join(failures)
print(f"hostile clients: {len(CASES)} cases and the open-file limit, all held")
