# Shared by the web benchmarks (bench_webinterface, bench_metrics), which source it from the build
# tree's bench/ folder: fetching a page, a free port, and a wrk run's summary line.

fetch() { # url file: true when the page was served
    python3 -c 'import sys, urllib.request
with urllib.request.urlopen(sys.argv[1], timeout=5) as r: open(sys.argv[2], "wb").write(r.read())' "$1" "$2" 2>/dev/null
}

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

summary() { # label, wrk output
    awk -v label="$1" '
        /Requests\/sec/ { rps = $2 }
        /^ +50%/ { p50 = $2 } /^ +75%/ { p75 = $2 } /^ +90%/ { p90 = $2 } /^ +99%/ { p99 = $2 }
        / requests in / { total = $1 }
        /Non-2xx|Socket errors/ { errors = errors " " $0 }
        END { printf "%-22s %10s req/s   p50 %8s  p75 %8s  p90 %8s  p99 %8s  (%s requests)%s\n",
                     label, rps, p50, p75, p90, p99, total, errors }' <<<"$2"
}

ratio() { # label, wrk output over, wrk output under
    awk -v label="$1" -v d="$(awk '/Requests\/sec/ {print $2}' <<<"$2")" \
        -v s="$(awk '/Requests\/sec/ {print $2}' <<<"$3")" 'BEGIN { printf "%s: %.2f\n", label, d / s }'
}
