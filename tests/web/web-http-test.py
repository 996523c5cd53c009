#!/usr/bin/env python3
# vx3340ctl --web over real sockets: a refused request sends nothing, a flood of event streams
# stops at the cap while the panel still answers, and SIGTERM under load ends with 0.
#     web-http-test.py VX3340CTL
import ctypes
import json
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.request

CTL = sys.argv[1]
TIMEOUT = 10  # seconds for any one answer: a bound, not a measurement
libc = ctypes.CDLL(None)
trace = tempfile.NamedTemporaryFile(suffix=".trace")
ctl = subprocess.Popen([CTL, "--simulate", "--trace", trace.name, "--web", "0"],
                       stderr=subprocess.PIPE, text=True,
                       preexec_fn=lambda: libc.prctl(1, signal.SIGKILL))  # PR_SET_PDEATHSIG
port = int(re.search(r"http://127\.0\.0\.1:(\d+)/", ctl.stderr.readline()).group(1))


def raw(request):
    sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
    sock.sendall(request.encode())
    return sock, sock.recv(4096).decode()


def pick(index):
    body = json.dumps({"control": "cboir", "index": index}).encode()
    request = urllib.request.Request(f"http://127.0.0.1:{port}/api/pick", body,
                                     {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=TIMEOUT) as reply:
        return json.load(reply)


sent = open(trace.name).read()
sock, reply = raw(f"POST /api/read HTTP/1.1\r\nHost: attacker.example:{port}\r\n"
                  "Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}")
assert reply.startswith("HTTP/1.1 403"), reply
assert open(trace.name).read() == sent, "a refused request reached the port"

streams = [raw(f"GET /api/events HTTP/1.1\r\nHost: localhost:{port}\r\n\r\n") for _ in range(17)]
assert [r.split(" ")[1] for _, r in streams] == ["200"] * 16 + ["503"], "the cap on event streams"
assert pick(2)["settings"]["cboir"] == 2, "the panel stopped answering under the flood"

# SIGTERM while eight clients post picks and sixteen streams are open: exit 0.
def load():
    try:
        for i in range(1000):
            pick(i % 7)
    except OSError:
        pass  # the session ended under it

threads = [threading.Thread(target=load, daemon=True) for _ in range(8)]
for thread in threads:
    thread.start()
threading.Event().wait(0.5)
ctl.send_signal(signal.SIGTERM)
assert ctl.wait(timeout=TIMEOUT) == 0, f"exit code {ctl.returncode}"
print("web panel over HTTP: all checks passed")
