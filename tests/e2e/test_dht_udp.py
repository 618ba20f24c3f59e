"""End-to-end UDP tracker and DHT: the real quarnc against opentracker (UDP only), a
libtorrent DHT node, and other quarnc processes found through the DHT alone.

Every process binds loopback addresses only; every port is asked of the system first.
"""

import hashlib
import json
import os
import random
import select
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

QUARNC = os.environ.get("QUARNC", "quarnc")
LT_PYTHON = "/usr/bin/python3"
PIECE = 16384


def free_port(family=socket.AF_INET, kind=socket.SOCK_DGRAM, host="127.0.0.1"):
    with socket.socket(family, kind) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def free_port_pair(host="127.0.0.1"):
    """A port free for both TCP and UDP."""
    for _ in range(50):
        port = free_port(kind=socket.SOCK_STREAM, host=host)
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.bind((host, port))
            return port
        except OSError:
            continue
    raise RuntimeError("no free port")


def have_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_DGRAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def have_libtorrent():
    if not os.path.exists(LT_PYTHON):
        return False
    return subprocess.run([LT_PYTHON, "-c", "import libtorrent"],
                          capture_output=True).returncode == 0


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    items = sorted((k.encode() if isinstance(k, str) else k, v) for k, v in value.items())
    return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"


def make_torrent(path, data_path, announce=None, nodes=()):
    """A single-file v1 torrent; without announce it is trackerless."""
    with open(data_path, "rb") as f:
        data = f.read()
    pieces = b"".join(hashlib.sha1(data[i:i + PIECE]).digest()
                      for i in range(0, len(data), PIECE))
    info = {"name": os.path.basename(data_path), "length": len(data), "piece length": PIECE,
            "pieces": pieces}
    torrent = {"info": info}
    if announce:
        torrent["announce"] = announce
    if nodes:
        torrent["nodes"] = [[host, port] for host, port in nodes]
    with open(path, "wb") as f:
        f.write(bencode(torrent))
    return hashlib.sha1(bencode(info)).digest()


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
        deadline = time.monotonic() + timeout
        while not any(text in line for line in self.lines):
            if self.proc.poll() is not None and not self._read(0):
                raise AssertionError("quarnc exited before %r:\n%s" % (text, self.output()))
            if time.monotonic() > deadline:
                raise AssertionError("no %r in:\n%s" % (text, self.output()))
            self._read(0.2)

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


LT_DHT_NODE = r'''
import json, sys, time, select
import libtorrent as lt
cfg = json.loads(sys.argv[1])
settings = {
    "listen_interfaces": "127.0.0.1:%d" % cfg["port"],
    "outgoing_interfaces": "127.0.0.1",
    "enable_incoming_utp": False, "enable_outgoing_utp": False,
    "enable_upnp": False, "enable_natpmp": False, "enable_lsd": False,
    "enable_dht": cfg["dht"], "dht_bootstrap_nodes": "",
    "dht_restrict_routing_ips": False, "dht_restrict_search_ips": False,
    "allow_multiple_connections_per_ip": True,
}
ses = lt.session(settings)
handle = None
if cfg.get("torrent"):
    p = lt.add_torrent_params()
    p.ti = lt.torrent_info(cfg["torrent"])
    p.save_path = cfg["save_path"]
    p.flags &= ~lt.torrent_flags.auto_managed
    p.flags &= ~lt.torrent_flags.paused
    handle = ses.add_torrent(p)
    while not handle.status().is_seeding:
        time.sleep(0.05)
print(json.dumps({"port": ses.listen_port()}), flush=True)
while True:
    ses.pop_alerts()
    ready, _, _ = select.select([sys.stdin], [], [], 0.1)
    if ready:
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            break
        st = ses.status()
        print(json.dumps({"dht_nodes": st.dht_nodes}), flush=True)
'''


class LtNode:
    """A libtorrent session on 127.0.0.1: a seeder of `torrent` and/or a DHT node."""

    def __init__(self, port, dht=False, torrent=None, save_path=None):
        self.cfg = {"port": port, "dht": dht, "torrent": torrent, "save_path": save_path}
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen([LT_PYTHON, "-c", LT_DHT_NODE, json.dumps(self.cfg)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("libtorrent did not start: " + self.proc.stderr.read())
        self.port = json.loads(line)["port"]
        return self

    def status(self):
        self.proc.stdin.write("status\n")
        self.proc.stdin.flush()
        return json.loads(self.proc.stdout.readline())

    def __exit__(self, *exc):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.flush()
            self.proc.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait(10)
        for pipe in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            pipe.close()


class OpenTrackerUdp:
    """Debian's opentracker answering UDP only, for the listed info hashes."""

    def __init__(self, workdir, info_hashes):
        self.port = free_port()
        self.dir = tempfile.mkdtemp(prefix="opentracker-", dir=workdir)
        os.chmod(self.dir, 0o755)
        with open(os.path.join(self.dir, "whitelist"), "w") as f:
            f.write("".join(h.hex() + "\n" for h in info_hashes))

    def url(self):
        return "udp://127.0.0.1:%d/announce" % self.port

    def _answers(self):
        # A connect request; any reply means the tracker listens.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.settimeout(0.2)
            s.sendto(bytes.fromhex("0000041727101980") + b"\0\0\0\0" + b"ping",
                     ("127.0.0.1", self.port))
            try:
                return len(s.recvfrom(64)[0]) == 16
            except OSError:
                return False

    def __enter__(self):
        self.proc = subprocess.Popen(["opentracker", "-i", "127.0.0.1", "-P", str(self.port),
                                      "-u", "nobody", "-d", self.dir, "-w", "whitelist"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wait_until(lambda: self.proc.poll() is not None or self._answers(), 10,
                   "opentracker to answer")
        if self.proc.poll() is not None:
            raise RuntimeError("opentracker exited: " + self.proc.stderr.read().decode())
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(10)
        self.proc.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def read_dht_file(path, compact_length):
    """The node count of a routing-table file, checking its layout: a 56-byte header
    (fixed bytes, save time, id, count) and 56-byte records of the family's length."""
    with open(path, "rb") as f:
        raw = f.read()
    assert raw[:8] == bytes([0xa1, 0xa2, 0x02, 0, 0, 0, 0, 0x03]), raw[:8].hex()
    assert abs(int.from_bytes(raw[8:16], "big") - time.time()) < 3600, raw[8:16].hex()
    count = int.from_bytes(raw[48:52], "big")
    assert len(raw) == 56 + 56 * count, (len(raw), count)
    for i in range(count):
        record = raw[56 + 56 * i:112 + 56 * i]
        assert record[0] == compact_length, record.hex()
        assert any(record[8:8 + compact_length]), record.hex()
    return count


class DhtUdpTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="quarn-dht-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.procs = []
        self.addCleanup(lambda: [p.stop() for p in self.procs])
        self.data = os.path.join(self.work, "seed", "payload.bin")
        os.makedirs(os.path.dirname(self.data))
        with open(self.data, "wb") as f:
            f.write(random.Random(7).randbytes(5 * PIECE + 123))
        with open(self.data, "rb") as f:
            self.digest = hashlib.sha256(f.read()).hexdigest()

    def quarnc(self, name, args):
        d = os.path.join(self.work, name)
        os.makedirs(d, exist_ok=True)
        q = Quarnc(d, ["-d", d, "--dht-file-path=" + os.path.join(d, "dht.dat"),
                       "--dht-file-path6=" + os.path.join(d, "dht6.dat"),
                       "--listen-port=%d" % free_port_pair()] + args)
        self.procs.append(q)
        return q.start()

    def downloaded(self, name):
        path = os.path.join(self.work, name, "payload.bin")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    # ---------------------------------------------------------------- UDP tracker

    @unittest.skipUnless(have_libtorrent() and shutil.which("opentracker") and os.geteuid() == 0,
                         "needs python3-libtorrent, opentracker and root")
    def test_udp_tracker(self):
        torrent = os.path.join(self.work, "t.torrent")
        # The info hash does not depend on the announce URL.
        info_hash = make_torrent(torrent, self.data)
        cases = [
            # (name, DHT on, completes)
            ("the DHT socket carries the announces", True, True),
            ("without the DHT no UDP announce is possible", False, False),
        ]
        for name, dht, completes in cases:
            with self.subTest(name), OpenTrackerUdp(self.work, [info_hash]) as tracker:
                make_torrent(torrent, self.data, announce=tracker.url())
                with LtNode(free_port_pair(), torrent=torrent,
                            save_path=os.path.dirname(self.data)):
                    leech = "leech-dht" if dht else "leech-nodht"
                    q = self.quarnc(leech, [
                        "--enable-dht=%s" % ("true" if dht else "false"),
                        "--dht-listen-port=%d" % free_port(),
                        "--dht-listen-addr=127.0.0.1", "--enable-dht6=false",
                        "--seed-time=0", "--bt-stop-timeout=10", "--log=log",
                        "--log-level=info", torrent])
                    rc = q.wait(120)
                    if completes:
                        self.assertEqual(0, rc, q.output())
                        self.assertEqual(self.digest, self.downloaded(leech))
                        self.assertIn("UDPT received ANNOUNCE reply", self.log(leech))
                    else:
                        self.assertNotEqual(0, rc, q.output())
                        self.assertNotEqual(self.digest, self.downloaded(leech))

    def log(self, name):
        with open(os.path.join(self.work, name, "log"), errors="replace") as f:
            return f.read()

    # ---------------------------------------------------------------- DHT only

    def dht_swarm(self, family_args, entry_flag, host, seeder_entry=None, leecher_entry=None):
        """A quarnc seeder and a quarnc leecher of a trackerless torrent; the leecher
        starts from `leecher_entry` (default: the seeder's DHT node)."""
        torrent = os.path.join(self.work, "trackerless.torrent")
        make_torrent(torrent, self.data)
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        bracket = "[%s]" % host if ":" in host else host
        seed_dht = free_port(family, host=host)
        seeder = self.quarnc("seed", family_args + [
            # Its data is already whole: checked, never allocated.
            "--dht-listen-port=%d" % seed_dht, "--seed-time=30", "--check-integrity=true",
            "--file-allocation=none",
            "--bt-external-ip=" + host] +
            (["%s=%s:%d" % (entry_flag, bracket, seeder_entry)] if seeder_entry else []) +
            [torrent])
        seeder.wait_line("DHT: listening on UDP port", 30)
        leech_dht = free_port(family, host=host)
        leecher = self.quarnc("leech", family_args + [
            "--dht-listen-port=%d" % leech_dht, "--seed-time=0", "--log=log",
            "--log-level=info",
            "%s=%s:%d" % (entry_flag, bracket, leecher_entry or seed_dht), torrent])
        rc = leecher.wait(180)
        self.assertEqual(0, rc, leecher.output() + "\n--- seeder ---\n" + seeder.output())
        self.assertEqual(self.digest, self.downloaded("leech"))
        return seeder, leecher

    def test_two_quarnc_find_each_other_through_the_dht(self):
        self.dht_swarm(["--enable-dht=true", "--enable-dht6=false",
                        "--dht-listen-addr=127.0.0.1"], "--dht-entry-point", "127.0.0.1")
        # The leecher saved its table on the way out: its id and the seeder's node.
        count = read_dht_file(os.path.join(self.work, "leech", "dht.dat"), 6)
        self.assertGreaterEqual(count, 1)
        self.assertFalse(os.path.exists(os.path.join(self.work, "leech", "dht6.dat")))

    @unittest.skipUnless(have_ipv6_loopback(), "no IPv6 loopback")
    def test_ipv6_dht(self):
        self.dht_swarm(["--enable-dht=false", "--enable-dht6=true", "--dht-listen-addr6=::1",
                        "--disable-ipv6=false"], "--dht-entry-point6", "::1")
        self.assertGreaterEqual(read_dht_file(os.path.join(self.work, "leech", "dht6.dat"), 18), 1)
        self.assertFalse(os.path.exists(os.path.join(self.work, "leech", "dht.dat")))

    @unittest.skipUnless(have_libtorrent(), "needs python3-libtorrent")
    def test_libtorrent_node_as_entry_point(self):
        # Both quarnc processes know only the libtorrent node; the seeder announces
        # itself there and the leecher finds it through it.
        with LtNode(free_port_pair(), dht=True) as node:
            self.dht_swarm(["--enable-dht=true", "--enable-dht6=false",
                            "--dht-listen-addr=127.0.0.1"], "--dht-entry-point", "127.0.0.1",
                           seeder_entry=node.port, leecher_entry=node.port)
            self.assertGreaterEqual(node.status()["dht_nodes"], 1)


if __name__ == "__main__":
    unittest.main()
