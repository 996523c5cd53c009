#!/usr/bin/env python3
# Announcements and identification with real clients, in a network of the test's own (run it
# through tests/support/netns-run): avahi-browse and lxi discover find the SCPI session and the
# web panel with their ports and TXT records, and a second copy under its own name;
# /lxi/identification names the ports bound, and the TXT records hold its fields; a name already
# taken is replaced and the session goes on; the services go when the session ends. (Whether a
# session announces at all: the program's own tests, with a recording announcer.)
#     announce-test.py VX3340CTL [--no-daemon]
import re
import socket
import subprocess
import sys
import urllib.request
import xml.etree.ElementTree as ET

from session import Client, output, spawn, start, stop, until

CTL = sys.argv[1]

NAME = f"VX3340 evaluation board on {socket.gethostname()}"


# Resolved services of one type, as avahi-browse -rpt lists them: (name, port, whether its TXT
# records hold ours) each.
def browse(kind):
    out = output("avahi-browse", "-rpt", kind, timeout=30)
    return {(re.sub(r"\\(\d{3})", lambda m: chr(int(m.group(1))), f[3]), int(f[8]),
             dict(t.strip('"').split("=", 1) for t in re.findall(r'"[^"]*"', f[9])).items()
             >= TXT.items()) for f in (line.split(";") for line in out.splitlines()) if f[0] == "="}


# Without avahi-daemon (netns-run --without avahi), or with one that takes a single service from
# each program (netns-run --server entries-per-entry-group-max=1): why, said once, and the
# session serves on.
WHY = {"--no-daemon": "avahi-daemon cannot be reached",
       "--refused": "Too many entries (_lxi._tcp)"}
if sys.argv[2:]:
    p, ports = start(CTL, "--serve", "0.0.0.0:0", "--web", "0.0.0.0:0")
    p.log.until("not announced on the network")
    assert Client(ports["scpi"]).ask("*OPC?") == "1"
    said = stop(p)
    assert said.count(f"not announced on the network: {WHY[sys.argv[2]]}") == 1, said
    assert "anyone who can reach this port can drive the board" in said, said
    sys.exit(0)

p, ports = start(CTL, "--serve", "0.0.0.0:0", "--web", "0.0.0.0:0")
scpi, web = ports["scpi"], ports["web"]
# The identification document, whose fields the web requests' transcript pins: its resource
# strings name the ports bound, and its fields are what the TXT records must hold.
with urllib.request.urlopen(f"http://127.0.0.1:{web}/lxi/identification", timeout=10) as reply:
    assert reply.headers.get_content_type() == "text/xml"
    root = ET.fromstring(reply.read())
field = {e.tag.split("}")[1]: e for e in root.iter()}  # each field's last, by its name
assert [e.text for e in root.iter(field["InstrumentAddressString"].tag)] == \
    [f"TCPIP::127.0.0.1::{scpi}::SOCKET", f"http://127.0.0.1:{web}/"]
TXT = {"txtvers": "1", "FirmwareVersion": field["FirmwareRevision"].text,
       **{f: field[f].text for f in ("Manufacturer", "Model", "SerialNumber")}}

# Beyond loopback: both sessions announced, found by avahi-browse and lxi discover; a second copy
# beside them under the name it is given.
q, other = start(CTL, "--serve", "0.0.0.0:0", "--announce-name", "VX3340 bench B")
until(lambda: browse("_scpi-raw._tcp") == {(NAME, scpi, True), ("VX3340 bench B", other["scpi"],
      True)}, "_scpi-raw._tcp not announced under each name")
assert stop(q).count('announced on the network as "VX3340 bench B"') == 1
assert browse("_lxi._tcp") == browse("_http._tcp") == {(NAME, web, True)}, browse("_lxi._tcp")
discovered = output("lxi", "discover", "--mdns", timeout=60)
for service, port in (("lxi", web), ("scpi-raw", scpi)):
    assert re.search(rf'Found "{NAME}".*\n\s+{service} service on port {port}\n', discovered), \
        discovered
# The host's own name changes: the services are published again under it, and not said again.
subprocess.run(["avahi-set-host-name", "vx-renamed"], check=True, timeout=30)
until(lambda: "vx-renamed.local" in output("avahi-browse", "-rpt", "_scpi-raw._tcp", timeout=30),
      "not published under the new host name")
said = stop(p)
assert said.count(f'announced on the network as "{NAME}"') == 1, said
assert "not announced" not in said, said
until(lambda: not browse("_scpi-raw._tcp") and not browse("_lxi._tcp"), "not withdrawn")

# A name already taken: Avahi's alternative, said once, and the session goes on.
taken = spawn("avahi-publish", "-s", NAME, "_scpi-raw._tcp", "1")  # it dies with the test
until(lambda: browse("_scpi-raw._tcp"), "avahi-publish did not publish")
p, ports = start(CTL, "--serve", "0.0.0.0:0")
renamed = f"{NAME} #2"
until(lambda: (renamed, ports["scpi"], True) in browse("_scpi-raw._tcp"), "not renamed")
assert Client(ports["scpi"]).ask("*OPC?") == "1"
said = stop(p)
assert said.count(f'the name "{NAME}" is taken on the network; announced as "{renamed}"') == 1, said
assert "announced on the network as" not in said, said  # the rename was the news, said once
print("announce: found by avahi-browse and lxi discover, identified, renamed, withdrawn")
