#!/usr/bin/python3
"""The dashboard in a real browser: headless Chromium, driven over its DevTools protocol, loads the
page through nginx served by the program on the demonstration controllers, shows every channel
with its value and the desktop's colour, and arms the e-mail alert with a click. Screenshots of a
wall-screen and a phone-sized view are kept as artefacts."""

import argparse
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import websocket  # Debian's python3-websocket

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from webtestsupport import DEADLINE, free_port, http_get, wait_for  # noqa: E402

# The desktop tile colours by status word.
COLOURS = {
    "offline": "rgb(160, 160, 164)",
    "off": "rgb(63, 73, 127)",
    "green": "rgb(0, 255, 0)",
    "yellow": "rgb(255, 255, 0)",
    "red": "rgb(255, 0, 0)",
}
TEXT_COLOURS = {"off": "rgb(255, 255, 255)", "red": "rgb(255, 255, 255)"}



class DevTools:
    def __init__(self, ws_url):
        self.ws = websocket.create_connection(ws_url, timeout=DEADLINE, suppress_origin=True)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise AssertionError(method + ": " + json.dumps(message["error"]))
                return message.get("result", {})

    def eval(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise AssertionError(expression + ": " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))
        print("screenshot:", path)


SIMULATION = """<ZdxSimulation timing="realtime">
<Controller serial="150A7001" description="Heat Unit H2" vendorId="2E91" productId="0001">
<Channel number="1" name="Stage Heater" actual="220" setpoint="370" minimum="0" maximum="600"
 control="1" model="thermal"/>
<Channel number="2" name="Lid Heater" actual="220" setpoint="370" minimum="0" maximum="600"
 control="0" model="thermal"/>
</Controller>
<Controller serial="154B2017" description="Gas Unit G2" vendorId="2E91" productId="0004">
<Channel number="1" name="CO2 Sensor" actual="0" setpoint="50" minimum="0" maximum="200"
 control="1" model="gas"/>
<Channel number="2" name="O2 Sensor" actual="209" setpoint="50" minimum="10" maximum="210" ambient="209"
 control="1" model="gas"/>
</Controller>
</ZdxSimulation>
"""

TILES = """Array.from(document.querySelectorAll('#channels .tile')).map(t => ({
    status: Array.from(t.classList).find(c => c.startsWith('status-')).slice(7),
    name: t.querySelector('.name').textContent,
    actual: t.querySelector('.actual').textContent,
    background: getComputedStyle(t).backgroundColor,
    colour: getComputedStyle(t.querySelector('.actual')).color}))"""


def run(program, artefacts):
    os.makedirs(artefacts, exist_ok=True)
    work = tempfile.mkdtemp(prefix="dashboard-", dir=artefacts)
    http_port, fcgi_port, devtools_port = free_port(), free_port(), free_port()
    # The demonstration's controllers, with the lid heater's loop switched off, so that the page
    # shows a loop-off tile beside the regulating ones.
    simulation = os.path.join(work, "simulation.xml")
    with open(simulation, "w", encoding="utf-8") as out:
        out.write(SIMULATION)
    tessaro = subprocess.Popen(
        [program, "--headless", "--home", os.path.join(work, "home"), "--http-port", str(http_port),
         "--fcgi-port", str(fcgi_port)],
        stdout=subprocess.PIPE, text=True, env=dict(os.environ, ZDX7000_SIMULATION=simulation))
    browser = None
    try:
        line = wait_for("the program's address", lambda: tessaro.stdout.readline())
        assert "Open http://localhost:%d/" % http_port in line, line
        base = "http://127.0.0.1:%d" % http_port

        browser = subprocess.Popen(
            [shutil.which("chromium") or "/usr/bin/chromium", "--headless", "--disable-gpu",
             "--disable-quic", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-sandbox",
             "--user-data-dir=" + os.path.join(work, "profile"),
             "--remote-debugging-address=127.0.0.1",
             "--remote-debugging-port=%d" % devtools_port, "--window-size=1280,860",
             "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The endpoint may answer before the first page exists.
        page = wait_for("the browser's page", lambda: next(
            (t for t in json.loads(http_get("http://127.0.0.1:%d/json" % devtools_port) or "[]")
             if t.get("type") == "page" and t.get("webSocketDebuggerUrl")), None))
        tools = DevTools(page["webSocketDebuggerUrl"])
        tools.call("Page.enable")
        tools.call("Runtime.enable")
        tools.call("Page.navigate", url=base + "/")

        # Every demonstration channel shown with a value and a live (not offline) state.
        tiles = wait_for("four live tiles", lambda: (lambda t: t if t and len(t) == 4 and all(
            x["status"] != "offline" and x["actual"][:1].isdigit() for x in t) else None)(
                tools.eval(TILES)))
        for tile in tiles:
            assert tile["background"] == COLOURS[tile["status"]], tile
            expected_text = TEXT_COLOURS.get(tile["status"], "rgb(0, 0, 0)")
            assert tile["colour"] == expected_text, tile
        assert [t["status"] for t in tiles if t["name"] == "Lid Heater"] == ["off"], tiles
        assert any(t["status"] != "off" for t in tiles), tiles
        units = sorted(t["actual"][-2:] for t in tiles)
        assert units[-1] == "°C" and any(t["actual"].endswith("%") for t in tiles), tiles
        # The user fragment is polled on its own and may arrive after the tiles.
        wait_for("the user and profile", lambda: tools.eval(
            "[(document.getElementById('username') || {}).textContent,"
            " (document.getElementById('profilename') || {}).textContent]") == ["Demo", "Demo"])
        wait_for("the recording and dynamic-experiment lines", lambda: tools.eval(
            "!!document.querySelector('#datarecording .label') && "
            "!!document.querySelector('#dynamicexperiment .label')"))
        print("tiles:", json.dumps(tiles, ensure_ascii=False))

        # A real click on the arming button: pressed and released at its centre.
        wait_for("the alert switch", lambda: tools.eval(
            "document.getElementById('eastatus') && "
            "document.getElementById('eastatus').textContent") == "Not activated")
        box = tools.eval("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                         "document.getElementById('eaarm').getBoundingClientRect())")
        for kind in ("mousePressed", "mouseReleased"):
            tools.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1],
                       button="left", clickCount=1)
        wait_for("the page to show the armed alert", lambda: tools.eval(
            "document.getElementById('eastatus').textContent") == "Activated")
        assert not tools.eval("!!document.getElementById('eaarm')"), "no arming button once on"
        reply = http_get(base + "/ts/emailalert.cgi")
        assert reply and "Activated" in reply and "Not activated" not in reply, reply

        tools.screenshot(os.path.join(artefacts, "dashboard.png"))
        tools.call("Emulation.setDeviceMetricsOverride", width=390, height=844,
                   deviceScaleFactor=2, mobile=True)
        time.sleep(0.3)  # one layout pass; the screenshot only records it
        tools.screenshot(os.path.join(artefacts, "dashboard-phone.png"))
        tools.ws.close()
    finally:
        if browser:
            browser.terminate()
            try:
                browser.wait(10)
            except subprocess.TimeoutExpired:
                browser.kill()
        tessaro.send_signal(signal.SIGTERM)
        try:
            status = tessaro.wait(15)
        except subprocess.TimeoutExpired:
            tessaro.kill()
            status = "killed"
        shutil.rmtree(work, ignore_errors=True)
    assert status == 0, "the program ended with %s" % status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--artefacts", required=True)
    arguments = parser.parse_args()
    run(arguments.program, arguments.artefacts)
    print("dashboard test passed")


if __name__ == "__main__":
    sys.exit(main())
