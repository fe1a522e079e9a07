"""A loopback SMTP server for the mailer tests: received mail goes to a Maildir.

Prints "READY <port>" once it accepts connections and serves until its standard input closes,
so that it never outlives the test that started it.
"""
import argparse
import socket
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


class Inbox(Mailbox):
    """A Maildir that turns away the recipients it is told to refuse."""

    def __init__(self, maildir, refused):
        super().__init__(maildir)
        self.refused = set(refused or [])

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--cert", help="PEM certificate; with --key offers STARTTLS")
    parser.add_argument("--key")
    parser.add_argument("--smtps", action="store_true", help="TLS from the first byte")
    parser.add_argument("--refuse", action="append", help="a recipient to answer with 550")
    args = parser.parse_args()

    kwargs = {"auth_require_tls": False}
    tls = None
    if args.cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.cert, args.key)
        if args.smtps:
            kwargs["ssl_context"] = tls
        else:
            kwargs["tls_context"] = tls
            kwargs["require_starttls"] = True
            kwargs["auth_require_tls"] = True
    if args.user:
        def authenticate(server, session, envelope, mechanism, data):
            ok = (isinstance(data, LoginPassword) and data.login.decode() == args.user
                  and data.password.decode() == args.password)
            return AuthResult(success=ok, handled=False)
        kwargs["authenticator"] = authenticate
        kwargs["auth_required"] = True

    port = free_port()
    controller = Controller(Inbox(args.maildir, args.refuse), hostname="127.0.0.1", port=port,
                            server_hostname="localhost", **kwargs)
    controller.start()
    print("READY", port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
