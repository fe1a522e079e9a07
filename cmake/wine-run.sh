#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENTS...]: runs a 32-bit Windows program under Wine, unattended,
# in the Wine prefix PREFIX (made on first use). The exit code is the program's.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# Without this, Wine offers to download its .NET and HTML engines in a dialog.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$prefix")"
# ctest waits until every process holding a test's output has closed it. Wine's server and services,
# started by the first program of a prefix, would inherit that output and outlive the test (each
# test then waits seconds, or until its time-out). So they are started here, detached from it, and
# one at a time: parallel tests would otherwise race to create the prefix.
# Making a new prefix now and then fails at once ("chdir to .../server-...: No such file or
# directory", the server's folder gone under it): it is tried again once that server has ended, so
# that no test is failed for Wine's start.
(
    flock 9
    for attempt in 1 2 3; do
        wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- && exit 0
        wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
        sleep 1
    done
    echo "wine-run.sh: Wine could not start in the prefix $prefix" >&2
    exit 1
) 9>"$prefix.lock"
exec wine "$@"
