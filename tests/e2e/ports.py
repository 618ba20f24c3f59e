"""Ports for quarnc and the servers the end-to-end tests start, without races.

A port found free and closed again can be taken by anyone before the program it
was meant for binds it: suites run side by side under ctest -j, and each starts
servers and opens connections all the time. Two remedies:

- `hold_port`: the test keeps a socket bound (never listening) to the port, with
  SO_REUSEADDR, until the program is up. The kernel then hands that port to no
  one else, neither to a bind to port 0 nor to an outgoing connection, and an
  explicit bind without SO_REUSEADDR fails; a server that sets SO_REUSEADDR
  itself (quarnc, nginx, vsftpd, sshd, tinyproxy, opentracker) still binds and
  listens on it. A held port without a server refuses every connection: the
  port of a test's "nobody listens here" URL.
- quarnc's BitTorrent and DHT ports are given as the range `QUARNC_PORTS`;
  quarnc takes a free one of it and says in its log which (`listening_re`).
"""

import re
import socket
import time

LOOPBACK = "127.0.0.1"
# quarnc takes the first free port of a shuffled range: below the ephemeral
# range, where neither a bind to port 0 nor an outgoing connection takes one.
QUARNC_PORTS = "10000-32000"


def listening_re(what="BitTorrent", family=4):
    """What quarnc logs once it listens: `what` is "BitTorrent", "DHT" or "RPC";
    group 1 is the port."""
    return re.compile(r"IPv%d %s: listening on (?:TCP|UDP) port (\d+)" % (family, what))


def _family(host):
    return socket.AF_INET6 if ":" in host else socket.AF_INET


def _bound(host, port, kind):
    s = socket.socket(_family(host), kind)
    try:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if _family(host) == socket.AF_INET6:
            # Shares its number with the IPv4 socket without overlapping it.
            s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        s.bind((host, port))
    except OSError:
        s.close()
        raise
    return s


class PortHold:
    """One port number held on every host of `hosts`, for TCP and, with `udp`,
    for UDP as well. `port` is the number; `release()` (or the end of a `with`)
    lets it go."""

    def __init__(self, hosts=(LOOPBACK,), udp=False):
        kinds = [socket.SOCK_STREAM] + ([socket.SOCK_DGRAM] if udp else [])
        for _ in range(100):
            first = _bound(hosts[0], 0, socket.SOCK_STREAM)
            self.port = first.getsockname()[1]
            self.sockets = [first]
            try:
                for host in hosts:
                    for kind in kinds:
                        if (host, kind) != (hosts[0], socket.SOCK_STREAM):
                            self.sockets.append(_bound(host, self.port, kind))
                return
            except OSError:  # taken on another host or for UDP: another number
                self.release()
        raise RuntimeError("no port free on all of %s" % (hosts,))

    def release(self):
        for s in self.sockets:
            s.close()
        self.sockets = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.release()


def hold_port(hosts=(LOOPBACK,), udp=False):
    return PortHold(hosts, udp)


def rpc_hosts():
    """Where quarnc's control server listens: 127.0.0.1, and ::1 where there is one."""
    try:
        _bound("::1", 0, socket.SOCK_STREAM).close()
        return (LOOPBACK, "::1")
    except OSError:
        return (LOOPBACK,)


def udp_bound_elsewhere(port):
    """Whether a UDP socket besides the test's own is bound to `port`: /proc
    lists each one, ours included."""
    with open("/proc/net/udp") as f:
        lines = f.readlines()[1:]
    return sum(1 for line in lines if int(line.split()[1].rsplit(":", 1)[1], 16) == port) > 1


class LogTail:
    """What a log file gained since this object was made: quarnc appends to a log
    another run of the same test may have written before."""

    def __init__(self, path):
        self.path = path
        try:
            with open(path, "rb") as f:
                self.offset = len(f.read())
        except FileNotFoundError:
            self.offset = 0

    def text(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                return f.read().decode(errors="replace")
        except FileNotFoundError:
            return ""


def quarnc_port(tail, proc, what="BitTorrent", family=4, timeout=60):
    """The port quarnc (`proc`, logging into `tail`) listens on for `what`, once it
    does; AssertionError with the log's end if it ends first."""
    pattern = listening_re(what, family)
    deadline = time.monotonic() + timeout
    while True:
        ended = proc.poll() is not None  # before the read: its last lines are in
        found = pattern.search(tail.text())
        if found:
            return int(found.group(1))
        if ended:
            raise AssertionError("quarnc ended (exit %s) before it listened:\n%s"
                                 % (proc.returncode, tail.text()[-3000:]))
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for quarnc to listen (%s):\n%s"
                                 % (what, tail.text()[-3000:]))
        time.sleep(0.05)
