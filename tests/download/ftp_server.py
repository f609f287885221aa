#!/usr/bin/python3
"""A real FTP server for the download tests and benchmark: Debian's pyftpdlib on 127.0.0.1,
a port the system chooses (printed on the first line of standard output), serving ROOT read-only
to one user. Options: --no-passive (EPSV and PASV unknown), --throttle BYTES (per second)."""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    p = argparse.ArgumentParser()
    p.add_argument("root")
    p.add_argument("user")
    p.add_argument("password")
    p.add_argument("--no-passive", action="store_true")
    p.add_argument("--throttle", type=int, default=0)
    a = p.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="elr")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "Wordpop test server ready."
    if a.no_passive:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("PASV", "EPSV")}
    if a.throttle:
        class Throttled(ThrottledDTPHandler):
            read_limit = a.throttle
            write_limit = a.throttle
        Handler.dtp_handler = Throttled

    # Every command received goes to standard error, so a test can see what was asked.
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(message)s")
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
