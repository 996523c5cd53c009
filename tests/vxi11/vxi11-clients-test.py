#!/usr/bin/env python3
# The real program over VXI-11 against real clients (lxi-tools, PyVISA-py), inside netns-run's
# network of its own with its own rpcbind. With --no-portmapper (netns-run --without rpcbind): the
# one line that says so, and the session serves anyway.
#     vxi11-clients-test.py VX3340CTL [--no-portmapper]
import re
import socket
import subprocess
import sys

import pyvisa
from pyvisa.constants import StatusCode

from session import start, stop

ctl, alone = sys.argv[1], "--no-portmapper" in sys.argv
proc, ports = start(ctl, "--vxi11", "0")
if alone:
    socket.create_connection(("127.0.0.1", ports["vxi11"]), timeout=5).close()
else:
    # lxi asks the portmapper for the port: the session is registered while it runs.
    lxi = subprocess.run(["lxi", "scpi", "--address", "127.0.0.1", "*IDN?"], capture_output=True,
                         text=True, timeout=30)
    assert "VX3340 evaluation board" in lxi.stdout, lxi
    rm = pyvisa.ResourceManager("@py")
    one, two = (rm.open_resource("TCPIP::127.0.0.1::INSTR", timeout=3000) for _ in range(2))
    assert one.query("*IDN?").startswith("VX3340 evaluation board,vx3340ctl")
    one.write("CONF:RANG 4MA;FORC CURR")
    assert one.query("CONF:RANG?;FORC?").strip() == "4MA;CURR"
    assert re.fullmatch(r"([01],){6}\d+", one.query("READ?").strip())
    # A device clear in the middle of a query: its answer is gone, the next one is the next's.
    one.write("READ?")
    one.clear()
    assert one.query("CONF:FORC?").strip() == "CURR"
    # An exclusive lock that the other link respects until it is let go.
    one.lock_excl()
    for refused in (two.read_stb, lambda: two.write("CONF:RANG 40MA")):
        try:
            refused()
            raise AssertionError("a locked device took another link's call")
        except pyvisa.errors.VisaIOError as e:  # PyVISA-py says I/O error for any write's error
            assert e.error_code in (StatusCode.error_resource_locked, StatusCode.error_io), e
    assert one.query("CONF:RANG?").strip() == "4MA"
    one.unlock()
    two.write("CONF:RANG 40MA")
    assert one.query("CONF:RANG?").strip() == "40MA"
    assert two.query("SYST:ERR?").strip() == '0,"No error"'
    one.close(), two.close()
said = stop(proc, timeout=30)
if alone:
    assert said.count("no portmapper (rpcbind)") == 1, said
else:  # unregistered at the end
    assert "395183" not in subprocess.run(["rpcinfo", "-p"], capture_output=True, text=True).stdout
print("ok")
