#!/usr/bin/python3
# A plain HTTP server on a free loopback port for the update check's tests: serves a folder and
# writes every request's path and headers to a log, one JSON object a line. Prints "READY port".
import argparse
import http.server
import json


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *rest, **named):
            super().__init__(*rest, directory=args.root, **named)

        def do_GET(self):
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(json.dumps({"path": self.path, "headers": dict(self.headers)}) + "\n")
            super().do_GET()

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print("READY", server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
