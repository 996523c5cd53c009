#!/usr/bin/env python3
# vx3340ctl --web in two real browsers (headless Chromium through Selenium), over raw HTTP and
# beside a SCPI client, on one simulated board: a flood of event streams stops at the cap while
# the panel still takes picks; Tab walks the controls in the window's order with a focus ring;
# picks made with the keyboard alone and clicks send the same traffic as the same picks over SCPI;
# each face sees the others' changes; the history's CSV holds READ?'s reads; the poller fills the
# history; the layout holds at 390, 1280 and 1920 px; the wire view draws one refresh; axe-core
# finds no WCAG 2.1 A or AA fault connected, polling or disconnected (light and dark); and
# SIGTERM under load ends with 0. (A page from another site that posts to the SCPI port: the
# hostile clients' test sends what the browser sends.)
#     web-browser-test.py VX3340CTL AXE_MIN_JS
import contextlib
import json
import subprocess
import sys
import tempfile
import threading
import urllib.request

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from session import TIMEOUT, Client, connect, start, stop, until

CTL, AXE = sys.argv[1], open(sys.argv[2]).read()
LAYOUT = open(__file__.replace("web-browser-test.py", "layout-check.js")).read()
trace = tempfile.NamedTemporaryFile(suffix=".trace")
ctl, ports = start(CTL, "--trace", trace.name, "--serve", "0", "--web", "0")
port = ports["web"]
url = f"http://127.0.0.1:{port}/"
scpi = Client(ports["scpi"])
assert scpi.ask("*OPC?") == "1"  # a command at once: a client that sends none in 10 s is closed


def raw(request):
    sock = connect(port, request.encode())
    return sock, sock.recv(4096).decode()


def pick(index):
    body = json.dumps({"control": "cboir", "index": index}).encode()
    request = urllib.request.Request(f"{url}api/pick", body, {"Content-Type": "application/json"})
    return json.load(urllib.request.urlopen(request, timeout=TIMEOUT))


def load(n):  # picks until the session ends under it
    with contextlib.suppress(OSError):
        for i in range(1000):
            pick(i % 7)
            picking.add(n)


def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    driver = webdriver.Chrome(options=options)
    driver.get(url)
    wait(driver, lambda d: d.find_element(By.ID, "status").text.startswith("Connected"))
    return driver


def wait(driver, condition, what="the page to show it"):
    WebDriverWait(driver, TIMEOUT).until(condition, f"timed out waiting for {what}")


def shows(driver, control, index):
    return driver.find_element(By.ID, control).get_property("selectedIndex") == index


def trace_lines():
    return open(trace.name).read().splitlines()


def audit(driver, state):  # axe-core's WCAG 2.1 A and AA rules on the page as it stands
    assert not (faults := driver.execute_async_script(AXE + ";axe.run(document, {runOnly: "
        "['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']}).then((r) => arguments[0](r.violations.map("
        "(v) => `${v.id} at ${v.nodes.map((n) => n.target)}`)));")), f"axe-core, {state}: {faults}"


# Over raw HTTP: the seventeenth event stream is refused while the panel still takes a pick.
streams = [raw(f"GET /api/events HTTP/1.1\r\nHost: localhost:{port}\r\n\r\n") for _ in range(17)]
assert [r.split(" ")[1] for _, r in streams] == ["200"] * 16 + ["503"], "the cap on event streams"
assert pick(0)["settings"]["cboir"] == 0, "the panel stopped answering under the flood"
for stream, _ in streams:
    stream.close()

first, second = browser(), browser()
try:
    audit(first, "connected")
    # Tab walks every control in the window's order, each with a focus ring; on the way the
    # keyboard alone picks 40uA and Standby, as an engineer without a mouse would.
    walk, keys = [], {"cboir": Keys.ARROW_DOWN, "chkStandby": Keys.SPACE}
    for _ in range(13):
        first.switch_to.active_element.send_keys(Keys.TAB)
        e = first.switch_to.active_element
        walk.append((e.get_attribute("id") or e.tag_name, e.value_of_css_property("outline-style")))
        e.send_keys(keys.get(walk[-1][0], ""))
    tabs = "cboir cboAC cboFSEL cboMIO cboComp chkStandby cmdRead poll interval window csv wire-box"
    assert walk == [(id, "solid") for id in tabs.split() + ["summary"]], walk
    wait(second, lambda d: shows(d, "cboir", 1) and d.find_element(By.ID, "chkStandby")
         .is_selected(), "the keyboard's picks")
    refreshes = len(trace_lines())
    first.find_element(By.ID, "cmdRead").click()
    wait(first, lambda d: len(trace_lines()) > refreshes, "Read to reach the board")

    # The same picks over SCPI on a fresh board send exactly the same traffic.
    with tempfile.NamedTemporaryFile(suffix=".trace") as same:
        subprocess.run([CTL, "--simulate", "--trace", same.name, "--serve", "-"], check=True,
                       input="CONF:RANG 4UA\nCONF:RANG 40UA\nCONF:STAND ON\nREAD?\n",
                       capture_output=True, text=True, timeout=TIMEOUT)
        expected = open(same.name).read().splitlines()
    assert trace_lines() == expected, "the browser's picks sent other traffic"

    # A SCPI client's picks show in both browsers; the flags shown are READ?'s. The history's
    # CSV, as the page's button gives it, holds each READ? read: flags and byte (the time's
    # format is pinned by the web tests' transcript).
    reads = [scpi.ask(f"{p};:READ?") for p in ("CONF:COMP CURR", "CONF:MEAS IM", "CONF:FORC CURR")]
    for driver in (first, second):
        wait(driver, lambda d: shows(d, "cboFSEL", 1) and reads[-1].split(",")[:6]
             == [d.find_element(By.ID, f"RdVal{i}").text for i in range(6)],
             "the SCPI client's pick and the flags of READ?")
    rows = first.execute_async_script("fetch(document.getElementById('csv').href).then((r) => "
                                      "r.text()).then(arguments[0]);").splitlines()
    assert [row.split(",", 1)[1] for row in rows[-5::2]] == reads, rows

    # The wire view draws one refresh: one column per access of the trace's last refresh.
    assert len(first.find_elements(By.CSS_SELECTOR, "#wire rect.access")) == 36
    assert first.find_element(By.ID, "wire-note").text.startswith("36 accesses")

    # The poller, started in one browser, adds points to the history in both.
    def points(driver):
        return int(driver.find_element(By.ID, "history-note").text.split()[0])
    before = points(second)
    first.find_element(By.ID, "poll").click()
    wait(second, lambda d: points(d) >= before + 2, "the poller's points")
    audit(second, "polling")
    for width in (390, 640, 1280, 1920):  # a phone, 1280 at 200 % zoom, a laptop, a wide screen
        second.set_window_size(width, 900)
        assert not (faults := second.execute_script(LAYOUT)), f"at {width} px: {faults}"
    first.find_element(By.ID, "poll").click()
    wait(second, lambda d: not d.find_element(By.ID, "poll").is_selected(), "the poller to stop")

    # SIGTERM while eight clients post picks, a page holds its event stream and a SCPI client
    # its connection: exit 0, with no protocol violation on the board.
    picking = set()
    for n in range(8):
        threading.Thread(target=load, args=(n,), daemon=True).start()
    until(lambda: len(picking) == 8, "the eight clients' picks")
    stop(ctl)
    wait(second, lambda d: d.find_element(By.ID, "status").text.startswith("Disconnected"))
    audit(second, "disconnected")
    dark = {"features": [{"name": "prefers-color-scheme", "value": "dark"}]}
    second.execute_cdp_cmd("Emulation.setEmulatedMedia", dark)
    audit(second, "disconnected, dark")
finally:
    first.quit()
    second.quit()
print("web panel over HTTP, in two browsers and beside a SCPI client: all checks passed")
