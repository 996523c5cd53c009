# vx3340ctl as a session for the tests written in Python: started so that it dies with the test
# even when the test fails (PR_SET_PDEATHSIG), its ports read from the lines that say where it
# listens, and stopped with SIGTERM, which must end it cleanly.
import ctypes
import re
import signal
import subprocess
import time

_libc = ctypes.CDLL(None)
_KINDS = {"SCPI session": "scpi", "web panel": "web", "VXI-11 session": "vxi11"}


def spawn(*args, **popen):
    return subprocess.Popen(args, text=True, preexec_fn=lambda: _libc.prctl(1, signal.SIGKILL),
                            **popen)


def start(ctl, *args):
    """vx3340ctl --simulate ARGS: the process (its stderr a pipe, read up to the last line that
    says where a session listens) and each session's port by kind: scpi, web, vxi11."""
    process = spawn(ctl, "--simulate", *args, stderr=subprocess.PIPE)
    ports, sessions = {}, sum(a in ("--serve", "--web", "--vxi11") for a in args)
    while len(ports) < sessions:
        line = process.stderr.readline()
        assert line, "the program ended before it listened"
        if found := re.search(r"(SCPI session|web panel|VXI-11 session) on \S*:(\d+)[/;( ]", line):
            ports[_KINDS[found.group(1)]] = int(found.group(2))
    return process, ports


def stop(process, timeout=10, said=True):
    """SIGTERM, a clean exit, and what the program said on stderr since (unless said is False:
    another reader has it)."""
    process.send_signal(signal.SIGTERM)
    assert process.wait(timeout=timeout) == 0, f"exit code {process.returncode}"
    return process.stderr.read() if said and process.stderr else ""


def until(check, what, seconds=10):
    for _ in range(int(seconds * 10)):
        if check():
            return
        time.sleep(0.1)
    raise AssertionError(what)
