"""An FTP server for the end-to-end tests that can be told to misbehave.

Runs under the system interpreter (python3-pyftpdlib is a Debian package), as
its own process: ftpservers.ScriptedFtpServer starts and stops it. Every
command line received is appended to --log (passwords included: the log shows
exactly what the client sent). Once listening, the port is written to
--port-file.
"""

import argparse
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FileProducer, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--root", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--user", action="append", default=[], help="name:password")
    p.add_argument("--no-anonymous", action="store_true")
    p.add_argument("--refuse", action="append", default=[],
                   help="command answered with 502 (REST, SIZE, EPSV, EPRT, MDTM, ...)")
    p.add_argument("--cut-data-after", type=int, default=0,
                   help="the first RETR sends only this many bytes and closes the data "
                        "connection with a 426")
    p.add_argument("--final-status", default="",
                   help="reply sent instead of 226 after every transfer, e.g. 426")
    p.add_argument("--rate", type=int, default=0, help="bytes per second of each transfer")
    p.add_argument("--reply", action="append", default=[],
                   help="CMD=TEXT: TEXT is sent instead of the answer to every CMD")
    p.add_argument("--size-reply", default="",
                   help="reply sent to every SIZE instead of the real one, e.g. '213 123'")
    return p.parse_args()


ARGS = parse_args()
REPLIES = dict(r.split("=", 1) for r in ARGS.reply)


def log_line(line):
    with open(ARGS.log, "a") as f:
        f.write(line + "\n")


class CutFile:
    """A file object that ends early."""

    def __init__(self, f, limit):
        self._f = f
        self._left = limit
        self.name = f.name
        self.closed = False

    def read(self, n=-1):
        if self._left <= 0:
            return b""
        data = self._f.read(min(n if n >= 0 else self._left, self._left))
        self._left -= len(data)
        return data

    def seek(self, *a):
        return self._f.seek(*a)

    def tell(self):
        return self._f.tell()

    def close(self):
        self.closed = True
        self._f.close()


class Handler(FTPHandler):
    cut_done = False

    def pre_process_command(self, line, cmd, arg):
        log_line(line)
        if cmd in ARGS.refuse:
            self.respond("502 Command not implemented by request of the test.")
            return
        if cmd in REPLIES:
            self.respond(REPLIES[cmd])
            return
        if cmd == "SIZE" and ARGS.size_reply:
            self.respond(ARGS.size_reply)
            return
        return super().pre_process_command(line, cmd, arg)

    def ftp_RETR(self, file):
        if ARGS.cut_data_after and not Handler.cut_done:
            Handler.cut_done = True
            self._cut_next = True
        return super().ftp_RETR(file)

    def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
        if getattr(self, "_cut_next", False) and cmd == "RETR":
            self._cut_next = False
            self._cut_transfer = True
            file = CutFile(file, ARGS.cut_data_after)
            data = FileProducer(file, self._current_type)
        return super().push_dtp_data(data, isproducer, file, cmd)

    def respond(self, resp, logfun=None):
        if resp.startswith("226"):
            if getattr(self, "_cut_transfer", False):
                self._cut_transfer = False
                resp = "426 Connection closed; transfer aborted by the test."
            elif ARGS.final_status:
                resp = ARGS.final_status + " Transfer status chosen by the test."
        if logfun is None:
            return super().respond(resp)
        return super().respond(resp, logfun)


def main():
    authorizer = DummyAuthorizer()
    for spec in ARGS.user:
        name, password = spec.split(":", 1)
        authorizer.add_user(name, password, ARGS.root, perm="elr")
    if not ARGS.no_anonymous:
        authorizer.add_anonymous(ARGS.root)
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    if ARGS.rate:
        dtp = ThrottledDTPHandler
        dtp.read_limit = ARGS.rate
        dtp.write_limit = ARGS.rate
        Handler.dtp_handler = dtp
    server = FTPServer((ARGS.host, 0), Handler)
    port = server.socket.getsockname()[1]
    tmp = ARGS.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, ARGS.port_file)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
