#!/usr/bin/python3
"""/metrics as a facility's monitoring meets it: the program on simulated controllers behind its own
nginx, scraped every second by a real Prometheus on loopback. The text passes promtool's check, a
channel with a hostile name stays one series, the values Prometheus stores are those the page
shows, and an unplugged controller's channels lose their values instead of reading 0."""

import argparse
import html
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from webtestsupport import free_port, http_get, wait_for  # noqa: E402

HOSTILE = 'Zone "A" \\ x\ny} 1'  # ends a label, a line and starts a forged sample if unescaped


def simulation(gas_present):
    def attribute(text):
        return html.escape(text, quote=True).replace("\n", "&#10;")

    return """<ZdxSimulation timing="instant">
<Controller serial="150B9001" description="Heat Unit H2" vendorId="2E91" productId="0001">
<Channel number="1" name="%s" actual="361" setpoint="370" minimum="0" maximum="600" control="1" status="0" model="fixed"/>
<Channel number="2" name="Lid" actual="352" setpoint="370" minimum="0" maximum="600" control="0" status="0" model="fixed"/>
</Controller>
<Controller serial="154B9001" description="Gas Unit G2" vendorId="2E91" productId="0004" present="%d">
<Channel number="1" name="CO2" actual="48" setpoint="50" minimum="0" maximum="200" control="1" status="0" model="fixed"/>
<Channel number="2" name="O2" actual="207" setpoint="50" minimum="10" maximum="210" control="1" status="0" model="fixed"/>
</Controller>
</ZdxSimulation>
""" % (attribute(HOSTILE), 1 if gas_present else 0)



def query(base, expression):
    body = http_get(base + "/api/v1/query?" + urllib.parse.urlencode({"query": expression}))
    if not body:
        return None
    reply = json.loads(body)
    assert reply["status"] == "success", reply
    return reply["data"]["result"]


def page_values(base):
    """Channel name -> the number the page shows as its actual value."""
    body = http_get(base + "/ts/channels.cgi")
    values = {}
    for tile in re.findall(r'<div class="tile .*?</div>\s*</div>', body or "", re.S):
        name = re.search(r'<span class="name">(.*?)</span>', tile, re.S)
        actual = re.search(r'<div class="actual">([-0-9.]+)', tile)
        if name and actual:
            values[html.unescape(name.group(1))] = float(actual.group(1))
    return values


def run(program):
    work = tempfile.mkdtemp(prefix="metrics-prometheus-")
    # nginx's workers run as nobody under root: the runtime folder must be theirs to read.
    os.chmod(work, 0o755)
    http_port, fcgi_port, prometheus_port = free_port(), free_port(), free_port()
    simulation_file = os.path.join(work, "simulation.xml")
    with open(simulation_file, "w", encoding="utf-8") as out:
        out.write(simulation(gas_present=True))
    tessaro = subprocess.Popen(
        [program, "--headless", "--home", os.path.join(work, "home"), "--http-port", str(http_port),
         "--fcgi-port", str(fcgi_port)],
        stdout=subprocess.DEVNULL, env=dict(os.environ, ZDX7000_SIMULATION=simulation_file))
    prometheus = None
    try:
        base = "http://127.0.0.1:%d" % http_port
        text = wait_for("four sampled channels", lambda: (lambda t: t if t and len(re.findall(
            r"^tessaro_channel_actual_value\{", t, re.M)) == 4 else None)(
                http_get(base + "/metrics")))
        content_type, _ = http_get(base + "/metrics", with_type=True)
        assert content_type.startswith("text/plain; version=0.0.4"), content_type

        check = subprocess.run(["promtool", "check", "metrics"], input=text, text=True,
                               capture_output=True)
        assert check.returncode == 0, check.stdout + check.stderr
        # One series per channel, whatever the names hold.
        assert len(re.findall(r"^tessaro_channel_actual_value\{", text, re.M)) == 4, text
        assert not re.search(r"^y\}", text, re.M), "a name broke its line:\n" + text

        config = os.path.join(work, "prometheus.yml")
        with open(config, "w") as out:
            out.write("""global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: tessaro
    metrics_path: /metrics
    static_configs:
      - targets: ['127.0.0.1:%d']
""" % http_port)
        prometheus = subprocess.Popen(
            ["prometheus", "--config.file=" + config,
             "--storage.tsdb.path=" + os.path.join(work, "tsdb"),
             "--web.listen-address=127.0.0.1:%d" % prometheus_port],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "prometheus.log"), "w"))
        engine = "http://127.0.0.1:%d" % prometheus_port

        stored = wait_for("Prometheus to hold four values", lambda: (lambda r: r if r and len(
            r) == 4 else None)(query(engine, "tessaro_channel_actual_value")))
        shown = page_values(base)
        assert len(shown) == 4, shown
        for series in stored:
            name = series["metric"]["channel"]
            assert name in shown, (name, shown)
            assert round(float(series["value"][1]), 1) == shown[name], (series, shown)
        assert HOSTILE in shown, "the hostile name reached Prometheus and the page whole"
        up = query(engine, 'up{job="tessaro"}')
        assert up and up[0]["value"][1] == "1", up
        state = query(engine, 'tessaro_channel_state{serial="150B9001",number="2"} == 1')
        assert [s["metric"]["state"] for s in state] == ["off"], state

        # Unplugged: the channel is reported as not connected and its value goes away.
        with open(simulation_file, "w", encoding="utf-8") as out:
            out.write(simulation(gas_present=False))
        wait_for("the gas channel to be reported offline", lambda: query(
            engine, 'tessaro_channel_connected{serial="154B9001"} == 0'))
        wait_for("the gas channel's value to be gone", lambda: query(
            engine, 'tessaro_channel_actual_value{serial="154B9001"}') == [])
        offline = query(engine, 'tessaro_channel_state{serial="154B9001",state="offline"}')
        assert len(offline) == 2 and all(s["value"][1] == "1" for s in offline), offline
        present = query(engine, "tessaro_controllers_present")
        assert present and present[0]["value"][1] == "1", present
        print("stored:", json.dumps(stored, ensure_ascii=False))
    finally:
        for process in (prometheus, tessaro):
            if process:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(15)
                except subprocess.TimeoutExpired:
                    process.kill()
        status = tessaro.returncode
        shutil.rmtree(work, ignore_errors=True)
    assert status == 0, "the program ended with %s" % status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    arguments = parser.parse_args()
    if not shutil.which("prometheus") or not shutil.which("promtool"):
        print("prometheus is missing (Debian package prometheus)")
        return 1
    run(arguments.program)
    print("metrics test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
