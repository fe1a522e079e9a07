#!/usr/bin/env bash
# The web interface under load, with wrk on loopback through nginx: "/ts/channels.cgi" of the program
# on 16 simulated channels side by side with nginx serving a static file of the same bytes (the
# ceiling of this path); then the sampling tick's rhythm while the page is requested at a steady
# rate of about 200 per second, against the rhythm without load. Installed in the build tree's
# bench/ folder; arguments are ignored.
set -euo pipefail
BUILD=$(cd "$(dirname "$0")/.." && pwd)
PROGRAM=$BUILD/bin/tessaro
DURATION=${WEB_BENCH_SECONDS:-10}
source "$BUILD/bench/webbench.sh"
command -v wrk >/dev/null || { echo "wrk is missing (Debian package wrk)"; exit 1; }

WORK=$(mktemp -d "$BUILD/bench/webinterface-XXXXXX")
STATIC=$BUILD/bin/webserver/html/bench-static.html
PID=
cleanup() {
    [[ -n "$PID" ]] && kill -TERM "$PID" 2>/dev/null && wait "$PID" 2>/dev/null || true
    rm -rf "$WORK" "$STATIC"
}
trap cleanup EXIT



# Eight heat units of two channels each, answering at once.
{
    echo '<ZdxSimulation timing="instant">'
    for c in 1 2 3 4 5 6 7 8; do
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
ZDX7000_SIMULATION=$WORK/simulation.xml "$PROGRAM" --headless --home "$WORK/home" --http-port "$HTTP" \
    --fcgi-port "$FCGI" --tick-statistics >"$WORK/program.log" 2>&1 &
PID=$!
URL=http://127.0.0.1:$HTTP
for _ in $(seq 100); do
    fetch "$URL/ts/channels.cgi" "$WORK/channels.html" &&
        [[ $(grep -c 'class="tile ' "$WORK/channels.html") -eq 16 ]] &&
        ! grep -q status-offline "$WORK/channels.html" && break
    sleep 0.2
done
TILES=$(grep -c 'class="tile ' "$WORK/channels.html" || true)
[[ "$TILES" -eq 16 ]] || { echo "the program did not serve 16 channels"; cat "$WORK/program.log"; exit 1; }
cp "$WORK/channels.html" "$STATIC"
SIZE=$(stat -c %s "$STATIC")


echo "channels page: 16 channels, $SIZE bytes; wrk -t2 -c16 for ${DURATION}s each, loopback"
DYNAMIC=$(wrk -t2 -c16 -d"${DURATION}s" --latency "$URL/ts/channels.cgi")
STATIC_RUN=$(wrk -t2 -c16 -d"${DURATION}s" --latency "$URL/bench-static.html")
summary "/ts/channels.cgi" "$DYNAMIC"
summary "static, same size" "$STATIC_RUN"
ratio "dynamic / static throughput" "$DYNAMIC" "$STATIC_RUN"

# The tick without load first, then under a steady load: five connections that each wait 23 ms
# before every request (wrk's delay hook) come to about 200 requests per second, a little more
# while answers take under a millisecond.
stop_program() {
    kill -TERM "$PID"
    wait "$PID" || true
    PID=
}
stop_program
start_program() {
    ZDX7000_SIMULATION=$WORK/simulation.xml "$PROGRAM" --headless --home "$WORK/home" --http-port "$HTTP" \
        --fcgi-port "$FCGI" --tick-statistics >"$WORK/program.log" 2>&1 &
    PID=$!
    for _ in $(seq 100); do
        fetch "$URL/ts/channels.cgi" /dev/null && break
        sleep 0.2
    done
}
TICK_SECONDS=$((DURATION * 3))
start_program
sleep "$TICK_SECONDS"
stop_program
echo "idle, ${TICK_SECONDS}s:          $(grep 'sampling tick' "$WORK/program.log")"

cat >"$WORK/paced.lua" <<'LUA'
function delay()
    return 23
end
LUA
start_program
LOAD=$(wrk -t1 -c5 -d"${TICK_SECONDS}s" --latency -s "$WORK/paced.lua" "$URL/ts/channels.cgi")
stop_program
summary "paced load" "$LOAD"
echo "under load, ${TICK_SECONDS}s:    $(grep 'sampling tick' "$WORK/program.log")"
