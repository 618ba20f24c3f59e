"""End-to-end UDP tracker and DHT: the real quarnc against opentracker (UDP only),
libtorrent DHT nodes and seeders, and other quarnc processes found through the DHT alone.

Every process binds loopback addresses only; libtorrent picks its own ports, quarnc
takes one of a range for each and says which. The swarm fixtures (libtorrent
processes, opentracker, torrents) are bt_peers.py's.
"""

import os
import random
import re
import shutil
import socket
import select
import subprocess
import tempfile
import time
import unittest

from bt_peers import LtDhtNode, LtPeer, OpenTracker, file_sha256, have_libtorrent, info_hash, \
    mktorrent
from httpservers import have
from ports import QUARNC_PORTS, listening_re

QUARNC = os.environ.get("QUARNC", "quarnc")
PAYLOAD = "payload.bin"
SIZE = 10 * 32768 + 123  # eleven 32 KiB pieces, the last one short


def have_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_DGRAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def swarm_tools():
    return have_libtorrent() and have("mktorrent")


class Quarnc:
    """A quarnc process; its console output is read line by line."""

    def __init__(self, workdir, args):
        self.workdir = workdir
        self.args = [QUARNC, "--no-conf", "--summary-interval=0", "--console-log-level=notice",
                     "--bt-enable-lpd=false", "--enable-peer-exchange=false"] + args
        self.lines = []
        self.proc = None

    def start(self):
        env = dict(os.environ, HOME=self.workdir)
        self.proc = subprocess.Popen(self.args, cwd=self.workdir, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return self

    def _read(self, timeout):
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not ready:
            return False
        line = self.proc.stdout.readline()
        if not line:
            return False
        self.lines.append(line.decode(errors="replace"))
        return True

    def wait_line(self, text, timeout=30):
        """The first line with `text` (a string, or a pattern it matches), once there."""
        def has(line):
            return text.search(line) if isinstance(text, re.Pattern) else text in line
        deadline = time.monotonic() + timeout
        while not any(has(line) for line in self.lines):
            if self.proc.poll() is not None and not self._read(0):
                raise AssertionError("quarnc exited before %r:\n%s" % (text, self.output()))
            if time.monotonic() > deadline:
                raise AssertionError("no %r in:\n%s" % (text, self.output()))
            self._read(0.2)
        return next(line for line in self.lines if has(line))

    def listening(self, what="BitTorrent", family=4, timeout=60):
        """The port quarnc took for `what` ("BitTorrent" or "DHT") of its range."""
        pattern = listening_re(what, family)
        return int(pattern.search(self.wait_line(pattern, timeout)).group(1))

    @property
    def port(self):
        return self.listening()

    def wait(self, timeout):
        deadline = time.monotonic() + timeout
        while self.proc.poll() is None:
            if time.monotonic() > deadline:
                self.stop()
                raise AssertionError("quarnc did not end:\n" + self.output())
            self._read(0.2)
        while self._read(0):
            pass
        return self.proc.returncode

    def halt(self, timeout=30):
        """Asks quarnc to end (as Ctrl-C does) and waits until it has."""
        self.proc.terminate()
        return self.wait(timeout)

    def output(self):
        return "".join(self.lines)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
        if self.proc:
            self.proc.stdout.close()


def read_dht_file(path, compact_length):
    """A routing-table file, checking its layout: a 56-byte header (fixed bytes, save
    time, local id, count) and 56-byte records (compact length, compact address padded
    to 24 bytes, id). {"id": local id, "nodes": [(ip, port, id), ...]}."""
    with open(path, "rb") as f:
        raw = f.read()
    assert raw[:8] == bytes([0xa1, 0xa2, 0x02, 0, 0, 0, 0, 0x03]), raw[:8].hex()
    assert abs(int.from_bytes(raw[8:16], "big") - time.time()) < 3600, raw[8:16].hex()
    assert not any(raw[16:24]) and not any(raw[44:48]) and not any(raw[52:56]), raw[:56].hex()
    count = int.from_bytes(raw[48:52], "big")
    assert len(raw) == 56 + 56 * count, (len(raw), count)
    family = socket.AF_INET if compact_length == 6 else socket.AF_INET6
    nodes = []
    for i in range(count):
        record = raw[56 + 56 * i:112 + 56 * i]
        assert record[0] == compact_length, record.hex()
        assert not any(record[1:8]) and not any(record[8 + compact_length:32]), record.hex()
        assert not any(record[52:56]), record.hex()
        compact = record[8:8 + compact_length]
        assert any(compact), record.hex()
        ip = socket.inet_ntop(family, compact[:-2])
        nodes.append((ip, int.from_bytes(compact[-2:], "big"), record[32:52]))
    return {"id": raw[24:44], "nodes": nodes}


class DhtUdpTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="quarn-dht-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.procs = []
        self.addCleanup(lambda: [p.stop() for p in self.procs])
        self.seed_dir = os.path.join(self.work, "seed")
        os.makedirs(self.seed_dir)
        self.data = os.path.join(self.seed_dir, PAYLOAD)
        with open(self.data, "wb") as f:
            f.write(random.Random(7).randbytes(SIZE))
        self.digest = file_sha256(self.data)
        self.torrent = os.path.join(self.work, "t.torrent")

    def make_torrent(self, trackers=()):
        """The payload's torrent (trackerless without trackers); its info hash."""
        mktorrent(self.torrent, PAYLOAD, [list(trackers)] if trackers else [],
                  cwd=self.seed_dir)
        return info_hash(self.torrent)

    def quarnc(self, name, args):
        d = os.path.join(self.work, name)
        os.makedirs(d, exist_ok=True)
        files = ["--dht-file-path=" + os.path.join(d, "dht.dat"),
                 "--dht-file-path6=" + os.path.join(d, "dht6.dat")]
        given = {arg.split("=", 1)[0] for arg in args}
        q = Quarnc(d, ["-d", d, "--listen-port=" + QUARNC_PORTS,
                       "--dht-listen-port=" + QUARNC_PORTS] +
                   [f for f in files if f.split("=", 1)[0] not in given] + args)
        self.procs.append(q)
        return q.start()

    def downloaded(self, name):
        path = os.path.join(self.work, name, PAYLOAD)
        return file_sha256(path) if os.path.exists(path) else None

    def log(self, name):
        with open(os.path.join(self.work, name, "log"), errors="replace") as f:
            return f.read()

    # ---------------------------------------------------------------- UDP tracker

    @unittest.skipUnless(swarm_tools() and have("opentracker") and os.geteuid() == 0,
                         "needs python3-libtorrent, mktorrent, opentracker and root")
    def test_udp_tracker(self):
        # The info hash does not depend on the announce URL.
        ih = self.make_torrent()
        cases = [
            # (name, DHT on, completes)
            ("the DHT socket carries the announces", True, True),
            ("without the DHT no UDP announce is possible", False, False),
        ]
        for name, dht, completes in cases:
            with self.subTest(name), OpenTracker(self.work, [ih]) as tracker:
                self.make_torrent(["udp://127.0.0.1:%d/announce" % tracker.port])
                with LtPeer(self.torrent, self.seed_dir, seed=True):
                    leech = "leech-dht" if dht else "leech-nodht"
                    q = self.quarnc(leech, [
                        "--enable-dht=%s" % ("true" if dht else "false"),
                        "--dht-listen-addr=127.0.0.1", "--enable-dht6=false",
                        "--seed-time=0", "--bt-stop-timeout=10", "--log=log",
                        "--log-level=info", self.torrent])
                    rc = q.wait(120)
                    if completes:
                        self.assertEqual(0, rc, q.output())
                        self.assertEqual(self.digest, self.downloaded(leech))
                        self.assertIn("UDPT received ANNOUNCE reply", self.log(leech))
                    else:
                        self.assertNotEqual(0, rc, q.output())
                        self.assertNotEqual(self.digest, self.downloaded(leech))

    # ---------------------------------------------------------------- quarnc swarms

    def dht_swarm(self, family_args, entry_flag, host, seeder_entry=None, leecher_entry=None):
        """A quarnc seeder and a quarnc leecher of a trackerless torrent; the leecher
        starts from `leecher_entry` (default: the seeder's DHT node)."""
        self.make_torrent()
        bracket = "[%s]" % host if ":" in host else host
        seeder = self.quarnc("seed", family_args + [
            # Its data is already whole: checked, never allocated.
            "--seed-time=30", "--check-integrity=true", "--file-allocation=none",
            "--bt-external-ip=" + host] +
            (["%s=%s:%d" % (entry_flag, bracket, seeder_entry)] if seeder_entry else []) +
            [self.torrent])
        seed_dht = seeder.listening("DHT", 6 if ":" in host else 4, 30)
        leecher = self.quarnc("leech", family_args + [
            "--seed-time=0", "--log=log",
            "--log-level=info",
            "%s=%s:%d" % (entry_flag, bracket, leecher_entry or seed_dht), self.torrent])
        rc = leecher.wait(180)
        self.assertEqual(0, rc, leecher.output() + "\n--- seeder ---\n" + seeder.output())
        self.assertEqual(self.digest, self.downloaded("leech"))
        return seeder, leecher

    def test_two_quarnc_find_each_other_through_the_dht(self):
        self.dht_swarm(["--enable-dht=true", "--enable-dht6=false",
                        "--dht-listen-addr=127.0.0.1"], "--dht-entry-point", "127.0.0.1")
        # The leecher saved its table on the way out: its id and the seeder's node.
        saved = read_dht_file(os.path.join(self.work, "leech", "dht.dat"), 6)
        self.assertGreaterEqual(len(saved["nodes"]), 1)
        self.assertFalse(os.path.exists(os.path.join(self.work, "leech", "dht6.dat")))

    @unittest.skipUnless(have_ipv6_loopback(), "no IPv6 loopback")
    def test_ipv6_dht(self):
        self.dht_swarm(["--enable-dht=false", "--enable-dht6=true", "--dht-listen-addr6=::1",
                        "--disable-ipv6=false"], "--dht-entry-point6", "::1")
        saved = read_dht_file(os.path.join(self.work, "leech", "dht6.dat"), 18)
        self.assertGreaterEqual(len(saved["nodes"]), 1)
        self.assertEqual("::1", saved["nodes"][0][0])
        self.assertFalse(os.path.exists(os.path.join(self.work, "leech", "dht.dat")))

    @unittest.skipUnless(swarm_tools(), "needs python3-libtorrent and mktorrent")
    def test_libtorrent_node_as_entry_point(self):
        # Both quarnc processes know only the libtorrent node; the seeder announces
        # itself there and the leecher finds it through it.
        with LtDhtNode() as node:
            self.dht_swarm(["--enable-dht=true", "--enable-dht6=false",
                            "--dht-listen-addr=127.0.0.1"], "--dht-entry-point", "127.0.0.1",
                           seeder_entry=node.port, leecher_entry=node.port)
            self.assertGreaterEqual(node.status()["dht_nodes"], 1)

    # ---------------------------------------------------------------- libtorrent swarms

    def dht_args(self, entry=None):
        return ["--enable-dht=true", "--enable-dht6=false", "--dht-listen-addr=127.0.0.1"] + \
            (["--dht-entry-point=127.0.0.1:%d" % entry.port] if entry else [])

    def lt_swarm(self):
        """A libtorrent entry node and a libtorrent seeder of the trackerless torrent
        that has announced itself at the entry node; the info hash in hex."""
        ih = self.make_torrent().hex()
        entry = LtDhtNode()
        self.enterContext(entry)
        seeder = LtDhtNode(self.torrent, self.seed_dir, entry=entry)
        self.enterContext(seeder)
        entry.wait(lambda s: ih in s["announces"], 60, "the seeder's announce at the entry node")
        return entry, ih

    @unittest.skipUnless(swarm_tools(), "needs python3-libtorrent and mktorrent")
    def test_libtorrent_swarm_found_through_the_dht(self):
        entry, ih = self.lt_swarm()
        cases = [
            # (name, what quarnc is given)
            ("trackerless torrent", self.torrent),
            ("magnet with only the info hash", "magnet:?xt=urn:btih:" + ih),
        ]
        for i, (name, source) in enumerate(cases):
            with self.subTest(name):
                leech = "leech%d" % i
                # It seeds on, so that it is still there to answer the entry node's check.
                q = self.quarnc(leech, self.dht_args(entry) + ["--seed-time=60", source])
                dht_port = q.listening("DHT")
                # The readout turns to SEED once every piece is in and checked.
                q.wait_line("SEED(", 120)
                self.assertEqual(self.digest, self.downloaded(leech))
                # The entry node took quarnc's node into its table (after quarnc answered
                # its ping) and kept quarnc's announce (the token it handed out came back).
                entry.wait(lambda s: ["127.0.0.1", dht_port] in s["live"] and
                           ["127.0.0.1", q.port] in s["announces"][ih], 60,
                           "quarnc's node and announce at the entry node")
                q.halt()

    @unittest.skipUnless(swarm_tools(), "needs python3-libtorrent and mktorrent")
    def test_restart_bootstraps_from_the_dht_file(self):
        entry, _ = self.lt_swarm()
        dht_file = os.path.join(self.work, "dht.dat")
        first = self.quarnc("first", self.dht_args(entry) +
                            ["--dht-file-path=" + dht_file, "--seed-time=0", self.torrent])
        self.assertEqual(0, first.wait(120), first.output())
        self.assertEqual(self.digest, self.downloaded("first"))
        saved = read_dht_file(dht_file, 6)
        entry_id = bytes.fromhex(entry.status()["node_id"])
        self.assertIn(("127.0.0.1", entry.port, entry_id), saved["nodes"])

        # No entry point: the nodes of the file are all it knows.
        second = self.quarnc("second", self.dht_args() +
                             ["--dht-file-path=" + dht_file, "--seed-time=0", self.torrent])
        self.assertEqual(0, second.wait(120), second.output())
        self.assertEqual(self.digest, self.downloaded("second"))
        self.assertEqual(saved["id"], read_dht_file(dht_file, 6)["id"], "the node id is kept")


if __name__ == "__main__":
    unittest.main()
