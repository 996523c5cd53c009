#!/usr/bin/env python3
# The web panel in two real browsers (headless Chromium through Selenium) and a SCPI client, on
# one simulated board: picks made with clicks and keys send the same traffic as the same picks
# over SCPI; each face sees the others' changes; the poller fills the history; the wire view
# draws one refresh; and a page from another origin cannot drive the SCPI port.
#     web-browser-test.py VX3340CTL
import ctypes
import http.server
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

CTL = sys.argv[1]
TIMEOUT = 10  # seconds for anything to show: a bound, not a measurement
libc = ctypes.CDLL(None)
trace = tempfile.NamedTemporaryFile(suffix=".trace")
ctl = subprocess.Popen([CTL, "--simulate", "--trace", trace.name, "--serve", "0", "--web", "0"],
                       stderr=subprocess.PIPE, text=True,
                       preexec_fn=lambda: libc.prctl(1, signal.SIGKILL))  # PR_SET_PDEATHSIG
scpi_port = int(re.search(r":(\d+);", ctl.stderr.readline()).group(1))
url = re.search(r"(http://\S+/)", ctl.stderr.readline()).group(1)
log = []
threading.Thread(target=lambda: log.extend(ctl.stderr), daemon=True).start()

scpi = socket.create_connection(("127.0.0.1", scpi_port), timeout=TIMEOUT)
answers = scpi.makefile("r")


def ask(line):
    scpi.sendall(line.encode() + b"\n")
    return answers.readline().strip() if "?" in line else None


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
    return driver.execute_script(f"return document.getElementById('{control}').selectedIndex") \
        == index


def trace_lines():
    with open(trace.name) as f:
        return f.read().splitlines()


first, second = browser(), browser()
try:
    # Picks with a key, a click and a click on Read, as an engineer makes them.
    first.find_element(By.ID, "cboir").send_keys(Keys.ARROW_DOWN)  # 4uA -> 40uA
    wait(first, lambda d: shows(d, "cboir", 1))
    first.find_element(By.ID, "chkStandby").click()
    wait(second, lambda d: d.find_element(By.ID, "chkStandby").is_selected(), "the other's pick")
    refreshes = len(trace_lines())
    first.find_element(By.ID, "cmdRead").click()
    wait(first, lambda d: len(trace_lines()) > refreshes, "Read to reach the board")
    assert shows(second, "cboir", 1), "the second browser missed the range"

    # The same picks over SCPI on a fresh board send exactly the same traffic.
    with tempfile.NamedTemporaryFile(suffix=".trace") as same:
        subprocess.run([CTL, "--simulate", "--trace", same.name, "--serve", "-"], check=True,
                       input="CONF:RANG 40UA\nCONF:STAND ON\nREAD?\n", capture_output=True,
                       text=True, timeout=TIMEOUT)
        expected = open(same.name).read().splitlines()
    assert trace_lines() == expected, "the browser's picks sent other traffic"

    # A SCPI client's pick shows in both browsers; the flags shown are READ?'s.
    ask("CONF:FORC CURR")
    for driver in (first, second):
        wait(driver, lambda d: shows(d, "cboFSEL", 1), "the SCPI client's pick")
    flags = ask("READ?").split(",")[:6]
    for driver in (first, second):
        wait(driver, lambda d: [d.find_element(By.ID, f"RdVal{i}").text for i in range(6)]
             == flags, "the flags of READ?")

    # The wire view draws one refresh: one column per access of the trace's last refresh.
    assert len(first.find_elements(By.CSS_SELECTOR, "#wire rect.access")) == 36
    assert first.find_element(By.ID, "wire-note").text.startswith("36 accesses")

    # The poller, started in one browser, adds points to the history in both.
    def points(driver):
        return int(driver.find_element(By.ID, "history-note").text.split()[0])
    before = points(second)
    first.find_element(By.ID, "poll").click()
    wait(second, lambda d: points(d) >= before + 2, "the poller's points")
    first.find_element(By.ID, "poll").click()
    wait(second, lambda d: not d.find_element(By.ID, "poll").is_selected(), "the poller to stop")

    # A page from another origin posts SCPI lines to the SCPI port: the session drops that
    # connection, says so, and runs nothing.
    class Page(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(b"<!doctype html><title>elsewhere</title>")

        def log_message(self, *args):
            pass
    elsewhere = http.server.HTTPServer(("127.0.0.1", 0), Page)
    threading.Thread(target=elsewhere.serve_forever, daemon=True).start()
    first.get(f"http://127.0.0.1:{elsewhere.server_port}/")
    sent = len(trace_lines())
    first.execute_async_script(
        f"fetch('http://127.0.0.1:{scpi_port}/', {{method: 'POST', mode: 'no-cors', "
        "body: 'CONF:RANG 160MA\\nCONF:STAND OFF\\n'}).finally(arguments[0]);")
    wait(first, lambda d: any("HTTP" in line for line in log), "the session's warning")
    assert ask("CONF:RANG?;STAND?") == "40UA;ON", "a browser drove the SCPI port"
    assert len(trace_lines()) == sent, "the browser's request reached the port"
finally:
    first.quit()
    second.quit()
ctl.send_signal(signal.SIGTERM)
assert ctl.wait(timeout=TIMEOUT) == 0, f"exit code {ctl.returncode}"
print("web panel in two browsers and a SCPI client: all checks passed")
