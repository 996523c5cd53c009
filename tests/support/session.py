# vx3340ctl as a session for the tests written in Python: started so that it dies with the test
# even when the test fails (PR_SET_PDEATHSIG), its ports read from the lines that say where it
# listens, what it says afterwards gathered as it comes, and stopped with SIGTERM, which must end
# it cleanly. Beside it, the wait on a condition with a deadline, and a client of a line protocol.
import ctypes
import re
import signal
import socket
import subprocess
import threading
import time

_libc = ctypes.CDLL(None)
_KINDS = {"SCPI session": "scpi", "web panel": "web", "VXI-11 session": "vxi11"}
TIMEOUT = 10  # seconds for any one answer or event: a bound, not a measurement


def spawn(*args, **popen):
    return subprocess.Popen(args, text=True, preexec_fn=lambda: _libc.prctl(1, signal.SIGKILL),
                            **popen)


def kib(process, field):
    """A figure of the process's memory from /proc (VmRSS, VmHWM...), in KiB."""
    return int(re.search(rf"{field}:\s+(\d+)", open(f"/proc/{process.pid}/status").read())[1])


def output(*args, timeout=TIMEOUT):
    """What a command writes on standard output, within timeout seconds."""
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout).stdout


def until(check, what, seconds=TIMEOUT):
    """Polls check until it holds; after seconds, AssertionError(what), or what() if callable."""
    deadline = time.monotonic() + seconds
    while not check():
        if time.monotonic() > deadline:
            raise AssertionError(what() if callable(what) else what)
        time.sleep(0.1)


class Log(list):
    """The lines a stream gives from here on, as a thread of its own reads them."""

    def __init__(self, stream):
        super().__init__()
        self.reader = threading.Thread(target=lambda: self.extend(stream), daemon=True)
        self.reader.start()

    def said(self, text):
        return sum(text in line for line in self)

    def until(self, text, count=1, seconds=TIMEOUT):
        until(lambda: self.said(text) >= count, lambda: f"not said {count} times: {text}: {self}",
              seconds)


def start(ctl, *args, before=(), simulate=True, **popen):
    """[BEFORE...] ctl [--simulate] ARGS: the process, its stderr read up to the last line that
    says where a session listens (--serve, --web, --vxi11; not --vxi11=0, whose line waits for
    the portmapper) and gathered from there on in process.log; and each session's port by kind:
    scpi, web, vxi11."""
    process = spawn(*before, ctl, *(["--simulate"] if simulate else []), *args,
                    stderr=subprocess.PIPE, **popen)
    ports, sessions = {}, sum(a in ("--serve", "--web", "--vxi11") for a in args)
    while len(ports) < sessions:
        line = process.stderr.readline()
        assert line, "the program ended before it listened"
        if found := re.search(r"(SCPI session|web panel|VXI-11 session) on \S*:(\d+)[/;( ]", line):
            ports[_KINDS[found.group(1)]] = int(found.group(2))
    process.log = Log(process.stderr)
    return process, ports


def stop(process, timeout=TIMEOUT):
    """SIGTERM, a clean exit, and all the program said on stderr after its start."""
    process.send_signal(signal.SIGTERM)
    assert process.wait(timeout=timeout) == 0, f"exit code {process.returncode}"
    process.log.reader.join(timeout)
    return "".join(process.log)


def connect(port, data=b"", rcvbuf=0):
    """A client on a loopback port that sent data; with rcvbuf, one whose receive buffer is that small."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf) if rcvbuf else None
    s.settimeout(TIMEOUT)
    s.connect(("127.0.0.1", port))
    s.sendall(data)
    return s


class Client:
    """A client of a line protocol on a loopback port."""

    def __init__(self, port, timeout=TIMEOUT):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.file = self.sock.makefile("rb")

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode() + b"\n")

    def ask(self, line):
        self.send(line)
        if not (answer := self.file.readline()):
            raise EOFError("the session closed the connection")
        return answer.decode().rstrip("\n")

    def close(self):
        self.file.close()
        self.sock.close()
