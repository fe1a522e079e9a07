#!/usr/bin/env bash
# /metrics under load, with wrk on loopback through nginx: the program's metrics of 64 simulated
# channels side by side with nginx serving a static file of the same bytes; the program's own
# processor time per scrape (its CPU time under load less its CPU time idle, over the requests
# answered), against the 1 ms bar; and the sampling tick's rhythm while a real Prometheus scrapes
# every second, against the rhythm without it. Installed in the build tree's bench/ folder;
# arguments are ignored.
set -euo pipefail
BUILD=$(cd "$(dirname "$0")/.." && pwd)
PROGRAM=$BUILD/bin/tessaro
DURATION=${WEB_BENCH_SECONDS:-10}
source "$BUILD/bench/webbench.sh"
command -v wrk >/dev/null || { echo "wrk is missing (Debian package wrk)"; exit 1; }
command -v prometheus >/dev/null || { echo "prometheus is missing (Debian package prometheus)"; exit 1; }

WORK=$(mktemp -d "$BUILD/bench/metrics-XXXXXX")
chmod 755 "$WORK"
STATIC=$BUILD/bin/webserver/html/bench-metrics-static.txt
PID=
PROMETHEUS=
cleanup() {
    [[ -n "$PROMETHEUS" ]] && kill -TERM "$PROMETHEUS" 2>/dev/null && wait "$PROMETHEUS" 2>/dev/null || true
    [[ -n "$PID" ]] && kill -TERM "$PID" 2>/dev/null && wait "$PID" 2>/dev/null || true
    rm -rf "$WORK" "$STATIC"
}
trap cleanup EXIT

# The process's user and system time in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# 32 heat units of two channels each, answering at once: 64 channels.
{
    echo '<ZdxSimulation timing="instant">'
    for c in $(seq 10 41); do
        echo "<Controller serial=\"150B90$c\" description=\"Heat Unit H2\" vendorId=\"2E91\" productId=\"0001\">"
        for n in 1 2; do
            echo "<Channel number=\"$n\" name=\"Zone $c.$n\" actual=\"36$n\" setpoint=\"370\" minimum=\"0\" maximum=\"600\" control=\"1\" status=\"0\" model=\"fixed\"/>"
        done
        echo '</Controller>'
    done
    echo '</ZdxSimulation>'
} >"$WORK/simulation.xml"

HTTP=$(free_port)
FCGI=$(free_port)
URL=http://127.0.0.1:$HTTP
start_program() {
    ZDX7000_SIMULATION=$WORK/simulation.xml "$PROGRAM" --headless --home "$WORK/home" --http-port "$HTTP" \
        --fcgi-port "$FCGI" --tick-statistics >"$WORK/program.log" 2>&1 &
    PID=$!
    for _ in $(seq 150); do
        fetch "$URL/metrics" "$WORK/metrics.txt" &&
            [[ $(grep -c '^tessaro_channel_actual_value{' "$WORK/metrics.txt") -eq 64 ]] && return
        sleep 0.2
    done
    echo "the program did not serve 64 channels"; cat "$WORK/program.log"; exit 1
}
stop_program() {
    kill -TERM "$PID"
    wait "$PID" || true
    PID=
}


start_program
cp "$WORK/metrics.txt" "$STATIC"
SIZE=$(stat -c %s "$STATIC")
echo "/metrics: 64 channels, $SIZE bytes; wrk -t2 -c16 for ${DURATION}s each, loopback"

TICK=$(getconf CLK_TCK)
IDLE_BEFORE=$(cpu_ticks "$PID")
sleep "$DURATION"
IDLE=$(($(cpu_ticks "$PID") - IDLE_BEFORE))
LOAD_BEFORE=$(cpu_ticks "$PID")
DYNAMIC=$(wrk -t2 -c16 -d"${DURATION}s" --latency "$URL/metrics")
LOAD=$(($(cpu_ticks "$PID") - LOAD_BEFORE))
STATIC_RUN=$(wrk -t2 -c16 -d"${DURATION}s" --latency "$URL/bench-metrics-static.txt")
summary "/metrics" "$DYNAMIC"
summary "static, same size" "$STATIC_RUN"
REQUESTS=$(awk '/ requests in / { print $1 }' <<<"$DYNAMIC")
ratio "dynamic / static throughput" "$DYNAMIC" "$STATIC_RUN"
awk -v load="$LOAD" -v idle="$IDLE" -v n="$REQUESTS" -v tick="$TICK" 'BEGIN {
    ms = (load - idle) * 1000 / tick / n
    printf "program time per scrape: %.3f ms (%d requests, %.2f s busy less %.2f s idle); ratio to the 1 ms bar: %.3f\n",
           ms, n, load / tick, idle / tick, ms }'
stop_program

# The tick idle, then while a real Prometheus scrapes /metrics every second.
TICK_SECONDS=$((DURATION * 3))
start_program
sleep "$TICK_SECONDS"
stop_program
echo "idle, ${TICK_SECONDS}s:                 $(grep 'sampling tick' "$WORK/program.log")"

PROM_PORT=$(free_port)
cat >"$WORK/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: tessaro
    static_configs:
      - targets: ['127.0.0.1:$HTTP']
YAML
start_program
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/tsdb" \
    --web.listen-address="127.0.0.1:$PROM_PORT" >"$WORK/prometheus.log" 2>&1 &
PROMETHEUS=$!
sleep "$TICK_SECONDS"
SCRAPES=$(python3 -c 'import json, sys, urllib.request
r = json.load(urllib.request.urlopen(sys.argv[1] + "/api/v1/query?query=count_over_time(up%5B1h%5D)"))
print(r["data"]["result"][0]["value"][1] if r["data"]["result"] else 0)' "http://127.0.0.1:$PROM_PORT")
stop_program
kill -TERM "$PROMETHEUS"; wait "$PROMETHEUS" 2>/dev/null || true; PROMETHEUS=
echo "scraped every 1 s, ${TICK_SECONDS}s:    $(grep 'sampling tick' "$WORK/program.log") ($SCRAPES scrapes)"
