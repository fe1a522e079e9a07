"""Shared by the tests that drive the program's web server from Python: a free loopback port, a
wait that says what it waited for, and a page fetch that gives None instead of failing."""

import socket
import time
import urllib.request

DEADLINE = 30.0  # s for each wait


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(what, condition, deadline=DEADLINE, pause=0.1):
    end = time.monotonic() + deadline
    last = None
    while time.monotonic() < end:
        last = condition()
        if last:
            return last
        time.sleep(pause)
    raise AssertionError("timed out waiting for " + what + ": " + repr(last))


def http_get(url, with_type=False):
    """The page's text, or (its content type, its text) with with_type; None parts when it failed."""
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            body = reply.read().decode("utf-8")
            return (reply.headers.get("Content-Type"), body) if with_type else body
    except OSError:
        return (None, None) if with_type else None
