#!/usr/bin/env python3
# vx3340ctl --serve and --web against hostile local clients, on loopback: each case of the table
# runs against one session on the simulated board, which must live through it, answer on both
# ports afterwards, keep its peak memory within a few MB, and send nothing to the board. Then the
# service's life cycle, each case with sessions of its own (SIGTERM with an event stream open:
# the browser test's end). With --open-files: accept under a low limit of open files instead,
# skipped (77) under --sanitized. (What a request's framing gets, a smuggled request, duplicated
# headers and another site's event stream among them, is in the web tests' request transcript, on
# the same conversation the server runs.) It runs in netns-run's network, with a portmapper of its
# own.
#     hostile-test.py VX3340CTL [--open-files [--sanitized]]
import contextlib
import os
import re
import select
import signal
import socket
import sys
import tempfile
import time

from session import TIMEOUT, Client, connect, kib, output, start, stop, until

CTL = sys.argv[1]
# QUICK bounds what must take a second (stopping, answering after the start): generous, yet far
# below the 15 s and more that each fault it guards against took.
QUICK = 5
# A SCPI session and a web panel on the simulated board, traced.
trace = tempfile.NamedTemporaryFile(suffix=".trace")
SERVED = (CTL, "--trace", trace.name, "--serve", "0", "--web", "0")


def exchange(port, data):
    """Sends data (as much as the server takes) and returns what comes back until it closes."""
    reply = b""
    with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT) as s:
        with contextlib.suppress(OSError):  # the server may answer and close before the end
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)
        with contextlib.suppress(OSError):
            while chunk := s.recv(65536):
                reply += chunk
    return reply


def answered(s, seconds=0):
    """Whether an answer waits on the socket, or comes within seconds."""
    return select.select([s], [], [], seconds)[0] and s.recv(1, socket.MSG_PEEK)


def request(port, path="/api/state", headers=""):
    return f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n{headers}\r\n".encode()


def get(port):
    return exchange(port, request(port, headers="Connection: close\r\n"))


if "--open-files" in sys.argv[2:]:
    # The sanitizers' runtime needs descriptors of its own to check a call (a pipe), so a
    # sanitized build cannot run out of open files and go on.
    if "--sanitized" in sys.argv[2:]:
        sys.exit(print("skipped: the sanitizers' runtime cannot run out of open files") or 77)
    # Out of open files: accept waits and tries again, says so once, and both ports answer again
    # once the flood ends. Clients come one at a time, each with a request, until one is not taken;
    # then twice a client that was taken leaves, so that the one waiting is taken and accept runs
    # out again on the next: a warning for each failure would show.
    process, ports = start(*SERVED, before=("prlimit", "--nofile=40:40", "--"))
    scpi, web, out = ports["scpi"], ports["web"], "cannot take a connection"
    taken, waiting = [], connect(web, request(web))
    while not process.log.said(out):
        assert len(taken) < 60, "60 clients taken under a limit of 40 open files"
        until(lambda: answered(waiting, 0.1) or process.log.said(out), "neither taken nor said")
        if answered(waiting):
            taken, waiting = taken + [waiting], connect(web, request(web))
    for _ in range(2):
        following = connect(web, request(web))
        taken.pop(0).close()
        until(lambda: answered(waiting, 0.1), "a client left, yet the one waiting was not taken")
        taken, waiting = taken + [waiting], following
    for s in taken + [waiting]:
        s.close()
    until(lambda: get(web).startswith(b"HTTP/1.1 200") and exchange(scpi, b"*OPC?\n") == b"1\n",
          "out of open files: the ports did not answer again")
    said = [line for line in stop(process).splitlines() if out in line]
    assert len(said) == 1 and "Too many open files" in said[0], said
    sys.exit(print("hostile clients: out of open files, said once, both ports answered again"))

process, ports = start(*SERVED)
scpi, web = ports["scpi"], ports["web"]


def chunked(chunk_line, trailer):
    """Sends a request whose chunked body has that chunk line and trailer; gives the reply."""
    return exchange(web, (f"POST /api/read HTTP/1.1\r\nHost: 127.0.0.1:{web}\r\nContent-Type: "
                          "application/json\r\nTransfer-Encoding: chunked\r\n\r\n").encode()
                    + chunk_line + b"\r\n{}\r\n0\r\n" + trailer + b"\r\n")


def pipeliners():
    """32 clients that pipeline requests and never read hold every slot; a new one is served."""
    hogs = [connect(web, rcvbuf=4096) for _ in range(32)]
    for s in hogs:
        s.setblocking(False)
        with contextlib.suppress(BlockingIOError):
            s.send(request(web) * 400)
    until(lambda: all(map(answered, hogs)), "the pipeliners were not all answered")
    reply = get(web)
    for s in hogs:
        s.close()
    return reply


# Each case: what it does to the session, and what it must get back (a regular expression). On
# the SCPI port, the lines after a browser's request or a TLS record never run;
# the last case is what a browser sends for a page from another site that posts SCPI lines there.
BAD = rb"^HTTP/1.1 400 "
CASES = [
    ("a 64 KiB trailer field", lambda: chunked(b"2", b"X-T: " + b"t" * 65536 + b"\r\n"), BAD),
    ("a flood of trailer fields of 60 KB", lambda: chunked(
        b"2", b"".join(b"X-T%d: %s\r\n" % (i, b"t" * 60000) for i in range(1000))), BAD),
    ("a chunk extension of 40 MB", lambda: chunked(b"2;" + b"e" * (40 << 20), b""), BAD),
    ("non-reading pipeliners in every slot", pipeliners, rb"^HTTP/1.1 200 ")] + [
    (f"SCPI: {name}", lambda data=data: exchange(scpi, data + b"\nCONF:RANG 160MA\n*IDN?\n"),
     rb"^$") for name, data in [
        ("a TLS handshake", b"\x16\x03\x01\x02\x00\x01"),
        ("a page from another site posting, as a browser does", b"POST / HTTP/1.1\r\nHost: "
         b"127.0.0.1\r\nOrigin: http://127.0.0.1:8000\r\nContent-Type: text/plain;charset=UTF-8"
         b"\r\nSec-Fetch-Mode: no-cors\r\nContent-Length: 31\r\n\r\nCONF:STAND ON")]]

sent = open(trace.name).read()
for name, attack, expected in CASES:
    peak = kib(process, "VmHWM")
    reply = attack()
    assert process.poll() is None, f"{name}: the session ended with {process.returncode}"
    assert re.search(expected, reply), f"{name}: got {reply[:120]!r}"
    assert kib(process, "VmHWM") - peak <= 4096, f"{name}: peak memory grew from {peak} KiB"
    assert exchange(scpi, b"CONF:RANG?\n") == b"4UA\n" and get(web).startswith(b"HTTP/1.1 200"), \
        f"{name}: a port stopped answering, or the board changed"
    assert open(trace.name).read() == sent, f"{name}: something reached the board"
warned = stop(process).count("HTTP request or a TLS handshake")
assert warned == 2, f"SCPI guard: {warned} warnings, not one a connection: {process.log}"


def registered():
    """The port rpcbind gives VXI-11's core program on TCP, or None."""
    found = re.search(r"395183\s+1\s+tcp\s+(\d+)", output("rpcinfo", "-p"))
    return found and int(found.group(1))


# The life cycle, each case with sessions of its own. An event stream that reads nothing while
# the state changes 600 times: once it reads, the newest state still comes. SIGTERM just after it
# closed.
def closed_event_stream():
    process, ports = start(CTL, "--serve", "0", "--web", "0")
    stream = connect(ports["web"], request(ports["web"], "/api/events"), 4096)
    changes = b"CONF:RANG 160MA\nCONF:RANG 4UA\n" * 300 + b"CONF:RANG 40UA\n*OPC?\n"
    assert exchange(ports["scpi"], changes) == b"1\n"
    assert any(b'"cboir":1' in event for event in stream.makefile("rb"))  # the last: 40 uA
    stream.close()
    stop(process, QUICK)


# A portmapper that is stopped: SCPI answers, SIGTERM ends it.
def stopped_portmapper():
    rpcbind = int(os.environ["VX_NETNS_RPCBIND"])
    os.kill(rpcbind, signal.SIGSTOP)
    try:
        started = time.monotonic()
        # --vxi11=0: its line, which comes once rpcbind has answered, is not waited for.
        process, ports = start(CTL, "--serve", "0", "--vxi11=0")
        assert Client(ports["scpi"], QUICK).ask("*OPC?") == "1"
        assert time.monotonic() - started < QUICK, "SCPI waited for the portmapper"
        stop(process, QUICK)
    finally:
        os.kill(rpcbind, signal.SIGCONT)


# A second copy beside a live first one; then, that one killed, another user's copy beside its
# stale entry, then root's.
def second_copies():
    first, ports = start(CTL, "--vxi11", "0")
    second, _ = start(CTL, "--vxi11", "0")
    second.log.until(f"another copy serves VXI-11 at port {ports['vxi11']}")
    assert registered() == ports["vxi11"], "the second copy took the first one's entry"
    stop(second, QUICK)
    assert registered() == ports["vxi11"], "the second copy's exit took the first one's entry"
    first.kill()  # its entry stays, stale
    first.wait()
    other, _ = start(CTL, "--vxi11", "0",
                     before=("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"))
    other.log.until(f"another user's program (root) holds the entry for VXI-11, at port "
                    f"{ports['vxi11']}")
    stop(other, QUICK)
    # A stale entry, whose port does not answer, is taken where rpcbind lets the user: root.
    taker, ports = start(CTL, "--vxi11", "0")
    assert registered() == ports["vxi11"], "a stale entry was not taken"
    stop(taker, QUICK)


# Whether the server took all that waits at the sockets ss's filter where finds (the clients
# waiting at a listening one, each byte at a connection), and ss says what (bytes received, the
# keepalive timer).
def taken(what, *where):
    return re.match(rf"0\s.*{what}", output("ss", "-tnioH", "state", *where), re.S)


# 8 silent VXI-11 and 7 silent SCPI connections (with TCP's keepalive, which finds a client gone
# for good), one SCPI client that spoke; a browser's connection answered and then silent, which
# its idle time (5 s) ends, not a request's (30 s). Then every web slot taken: a new client takes
# the one of the client quiet longest, which is not one that sent part of its request since.
# SIGTERM with a new silent connection: the exit does not wait for its time to speak.
def silent_clients():
    import pyvisa
    process, ports = start(CTL, "--serve", "0", "--vxi11", "0", "--web", "0")
    web = ports["web"]
    talker, idle = Client(ports["scpi"]), connect(web, request(web))
    assert talker.ask("*OPC?") == "1"
    silent = [connect(ports[kind]) for kind in ["vxi11"] * 8 + ["scpi"] * 7]
    until(lambda: all(taken("keepalive", "established", f"sport = :{ports[kind]}") for kind in
                      ("scpi", "vxi11")), "no TCP keepalive on the SCPI or VXI-11 connections")
    # Closed 10 s after they came: one line for each session, not one for each connection.
    process.log.until("sent no whole command", 2, 20)
    assert not any(s.recv(1) for s in silent), "a silent connection stayed open"
    assert b"".join(iter(lambda: idle.recv(65536), b"")).startswith(b"HTTP/1.1 200 ")
    sender, silent = connect(web), [connect(web) for _ in range(31)]
    until(lambda: taken("", "listening", f"sport = :{web}"), "the clients were not all taken")
    sender.send(b"GET /api/state HTTP/1.1\r\n")
    until(lambda: taken("bytes_received:25", "established", f"sport = :{web} dport = :"
                        f"{sender.getsockname()[1]}"), "the request's first line was not read")
    assert get(web).startswith(b"HTTP/1.1 200") and silent[0].recv(1) == b""
    sender.send(f"Host: 127.0.0.1:{web}\r\n\r\n".encode())
    assert sender.recv(12) == b"HTTP/1.1 200", "the client sending its request lost its slot"
    visa = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::INSTR", timeout=3000)
    assert visa.query("*IDN?").startswith("VX3340 evaluation board")
    visa.close()
    assert talker.ask("*OPC?") == "1", "the client that spoke lost its slot"
    silent.append(connect(ports["scpi"]))  # silent at SIGTERM: its 10 s must not hold the exit
    assert stop(process, QUICK).count("sent no whole command") == 2, process.log


LIFE = (closed_event_stream, stopped_portmapper, second_copies, silent_clients)
for case in LIFE:
    print(f"hostile clients, life cycle: {case.__name__}")  # which one failed, should one fail
    case()
print(f"hostile clients: {len(CASES) + len(LIFE)} cases held")
