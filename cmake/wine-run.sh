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
(
    flock 9
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"
exec wine "$@"
