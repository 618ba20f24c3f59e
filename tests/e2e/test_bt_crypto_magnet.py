"""End-to-end encrypted handshakes, magnet links, peer exchange and local peer
discovery against libtorrent peers and a second quarnc.

Every case runs the real quarnc and a libtorrent session (in this process) on
127.0.0.1, with a small HTTP tracker of the test's own that hands each side the
other's address. A download must complete with the exact bytes; where the
case is about encryption, libtorrent's own peer list must show the connection
encrypted with RC4, or the log must show the plain retry.
"""

import base64
import hashlib
import os
import random
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

try:
    import libtorrent as lt
except ImportError:  # pragma: no cover
    lt = None

QUARNC = os.environ.get("QUARNC", "quarnc")
HOST = "127.0.0.1"
SIZE = 3 * 1024 * 1024 + 12345
RETRY_PLAIN = b"Retry using legacy BitTorrent handshake."


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


class Tracker:
    """Answers every announce with the compact form of `peers`."""

    def __init__(self):
        self.peers = []
        # Peers for clients whose peer id does not start with "QN-"; None:
        # the same as everyone.
        self.other_peers = None
        tracker = self

        class Handler(BaseHTTPRequestHandler):
            def do_GET(self):
                peers = tracker.peers
                if tracker.other_peers is not None and "peer_id=QN-" not in self.path:
                    peers = tracker.other_peers
                compact = b"".join(socket.inet_aton(h) + struct.pack(">H", p)
                                   for h, p in peers)
                body = b"d8:intervali5e12:min intervali1e5:peers%d:%se" % (len(compact), compact)
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    self.wfile.write(body)
                except OSError:
                    pass

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer((HOST, 0), Handler)
        self.url = "http://%s:%d/announce" % (HOST, self.server.server_address[1])
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


ENC_FORCED, ENC_ENABLED, ENC_DISABLED = 0, 1, 2
LEVEL_PLAIN, LEVEL_RC4, LEVEL_BOTH = 1, 2, 3


class LtPeer:
    def __init__(self, enc_policy, enc_level, host=HOST, upload_limit=0):
        self.host = host
        settings = {
            "upload_rate_limit": upload_limit,
            "listen_interfaces": "%s:%d" % (host, free_port()),
            "enable_dht": False, "enable_lsd": False, "enable_upnp": False,
            "enable_natpmp": False, "enable_incoming_utp": False,
            "enable_outgoing_utp": False, "allow_multiple_connections_per_ip": True,
            "out_enc_policy": enc_policy, "in_enc_policy": enc_policy,
            "allowed_enc_level": enc_level, "announce_to_all_trackers": True,
        }
        if host != HOST:
            # Connections leave from the peer's own address.
            settings["outgoing_interfaces"] = host
        self.session = lt.session(settings)
        self.port = self.session.listen_port()
        self.handle = None

    def add(self, torrent_path, save_path, seed=False):
        params = lt.add_torrent_params()
        params.ti = lt.torrent_info(torrent_path)
        params.save_path = save_path
        if seed:
            params.flags |= lt.torrent_flags.seed_mode
        self.handle = self.session.add_torrent(params)

    def encrypted_peers(self):
        return [p for p in self.handle.get_peer_info()
                if p.flags & lt.peer_info.rc4_encrypted]

    def close(self):
        if self.handle is not None:
            self.session.remove_torrent(self.handle)
        del self.session


@unittest.skipIf(lt is None, "python3-libtorrent is not installed")
class CryptoAndMagnetTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qn-mse-")
        self.seed_dir = os.path.join(self.tmp, "seed")
        self.dl_dir = os.path.join(self.tmp, "dl")
        os.makedirs(self.seed_dir)
        os.makedirs(self.dl_dir)
        self.data = random.Random(7).randbytes(SIZE)
        with open(os.path.join(self.seed_dir, "payload.bin"), "wb") as f:
            f.write(self.data)
        self.tracker = Tracker()
        self.addCleanup(self.tracker.close)
        fs = lt.file_storage()
        lt.add_files(fs, os.path.join(self.seed_dir, "payload.bin"))
        ct = lt.create_torrent(fs, 262144, flags=lt.create_torrent.v1_only)
        ct.add_tracker(self.tracker.url)
        lt.set_piece_hashes(ct, self.seed_dir)
        self.torrent_bytes = lt.bencode(ct.generate())
        self.torrent = os.path.join(self.tmp, "payload.torrent")
        with open(self.torrent, "wb") as f:
            f.write(self.torrent_bytes)
        info = lt.torrent_info(self.torrent)
        self.info_hash = bytes.fromhex(str(info.info_hashes().v1))
        self.procs = []

    def tearDown(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        if os.environ.get("QN_KEEP"):
            print("kept", self.tmp)
        else:
            shutil.rmtree(self.tmp, ignore_errors=True)

    def peer(self, policy, level, host=HOST):
        p = LtPeer(policy, level, host)
        self.addCleanup(p.close)
        return p

    def quarnc(self, args, listen_port=None):
        log = os.path.join(self.tmp, "quarnc-%d.log" % len(self.procs))
        cmd = [QUARNC, "--no-conf", "--summary-interval=0", "--enable-dht=false",
               "--bt-enable-lpd=false", "--console-log-level=warn", "--log=" + log,
               "--log-level=" + os.environ.get("QN_LOG_LEVEL", "info"), "--listen-port=%d" % (listen_port or free_port()),
               "--bt-tracker-connect-timeout=5", "--bt-stop-timeout=60"] + args
        proc = subprocess.Popen(cmd, cwd=self.tmp, env=dict(os.environ, HOME=self.tmp),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.procs.append(proc)
        return proc, log

    def finish(self, proc, timeout=90):
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out

    def downloaded(self):
        with open(os.path.join(self.dl_dir, "payload.bin"), "rb") as f:
            return f.read()

    def test_leech_from_peers_by_encryption_preference(self):
        cases = [
            # libtorrent's policy and level, quarnc's options, encrypted?, plain retry seen?
            (ENC_FORCED, LEVEL_RC4, ["--bt-force-encryption=true"], True, False),
            (ENC_FORCED, LEVEL_RC4, ["--bt-require-crypto=true"], True, False),
            (ENC_DISABLED, LEVEL_PLAIN, [], False, True),
        ]
        for policy, level, options, encrypted, retried in cases:
            with self.subTest(policy=policy, options=options):
                shutil.rmtree(self.dl_dir)
                os.makedirs(self.dl_dir)
                seeder = self.peer(policy, level)
                seeder.add(self.torrent, self.seed_dir, seed=True)
                self.tracker.peers = [(HOST, seeder.port)]
                # A download limit keeps the connection up long enough to be seen.
                proc, log = self.quarnc(["--dir=" + self.dl_dir, "--seed-time=0",
                                         "--max-download-limit=1M"] + options + [self.torrent])
                seen_encrypted = []
                deadline = time.monotonic() + 90
                while proc.poll() is None and time.monotonic() < deadline:
                    seen_encrypted += seeder.encrypted_peers()
                    time.sleep(0.2)
                code, out = self.finish(proc)
                self.assertEqual(0, code, out.decode(errors="replace"))
                self.assertEqual(self.data, self.downloaded())
                if encrypted:
                    self.assertTrue(seen_encrypted, "libtorrent saw no RC4 connection")
                with open(log, "rb") as f:
                    self.assertEqual(retried, RETRY_PLAIN in f.read())

    @unittest.skipUnless(os.environ.get("QN_E2E_UNSTABLE"),
                         "passes alone, but under parallel load libtorrent's connection to the "
                         "seeder is often never seen")
    def test_seed_to_a_peer_that_requires_rc4(self):
        port = free_port()
        # Seeding existing data needs no allocation (and allocation of a file
        # opened read-only fails in the engine today).
        proc, log = self.quarnc(["--dir=" + self.seed_dir, "--check-integrity=true",
                                 "--file-allocation=none", "--max-upload-limit=1M",
                               "--seed-ratio=0.0", "--bt-force-encryption=true", self.torrent],
                              listen_port=port)
        self.tracker.peers = [(HOST, port)]
        leecher = self.peer(ENC_FORCED, LEVEL_RC4)
        leecher.add(self.torrent, self.dl_dir)
        wait_until(lambda: b"listening on TCP port" in read_file(log), 30, "quarnc to listen")
        leecher.handle.connect_peer((HOST, port))
        seen_encrypted = wait_until(leecher.encrypted_peers, 60, "an RC4 connection to quarnc")
        self.assertTrue(seen_encrypted)
        wait_until(lambda: leecher.handle.status().is_seeding, 90, "libtorrent to complete")
        self.assertEqual(self.data, self.downloaded())

    def test_magnet_links_fetch_metadata_then_data(self):
        b32 = base64.b32encode(self.info_hash).decode()
        cases = [
            ("hex", self.info_hash.hex(), []),
            ("base32", b32, []),
            ("metadata only", self.info_hash.hex(),
             ["--bt-save-metadata=true", "--bt-metadata-only=true"]),
        ]
        seeder = self.peer(ENC_ENABLED, LEVEL_BOTH)
        seeder.add(self.torrent, self.seed_dir, seed=True)
        self.tracker.peers = [(HOST, seeder.port)]
        for name, xt, options in cases:
            with self.subTest(name):
                shutil.rmtree(self.dl_dir)
                os.makedirs(self.dl_dir)
                magnet = "magnet:?xt=urn:btih:%s&dn=payload.bin&tr=%s" % (
                    xt, self.tracker.url.replace(":", "%3A").replace("/", "%2F"))
                proc, _ = self.quarnc(["--dir=" + self.dl_dir, "--seed-time=0"] + options
                                      + [magnet])
                code, out = self.finish(proc)
                self.assertEqual(0, code, out.decode(errors="replace"))
                saved = os.path.join(self.dl_dir, self.info_hash.hex() + ".torrent")
                if options:
                    self.assertFalse(os.path.exists(os.path.join(self.dl_dir, "payload.bin")))
                    with open(saved, "rb") as f:
                        torrent = f.read()
                    info = lt.torrent_info(lt.bdecode(torrent))
                    self.assertEqual(self.info_hash.hex(), str(info.info_hashes().v1))
                else:
                    self.assertEqual(self.data, self.downloaded())
                    self.assertFalse(os.path.exists(saved))

    @unittest.skipUnless(os.environ.get("QN_E2E_UNSTABLE"),
                         "passes only intermittently: the seeder is not always heard of in time")
    def test_peer_exchange_tells_a_peer_about_the_seeder(self):
        # Peer exchange tells peers apart by address: each libtorrent peer gets
        # one of its own in 127.0.0.0/8.
        # A slow seeder keeps its connections up long enough to be seen.
        seeder = LtPeer(ENC_ENABLED, LEVEL_BOTH, "127.0.0.2", upload_limit=500 * 1024)
        self.addCleanup(seeder.close)
        seeder.add(self.torrent, self.seed_dir, seed=True)
        other = self.peer(ENC_ENABLED, LEVEL_BOTH, "127.0.0.3")
        # Only quarnc learns of the seeder from the tracker; the other peer
        # learns of quarnc alone and must hear of the seeder through quarnc.
        self.tracker.peers = [(seeder.host, seeder.port)]
        self.tracker.other_peers = []
        port = free_port()
        proc, log = self.quarnc(["--dir=" + self.dl_dir, "--max-download-limit=500K",
                                 self.torrent], listen_port=port)
        other.add(self.torrent, os.path.join(self.tmp, "other"))
        wait_until(lambda: b"listening on TCP port" in read_file(log), 30, "quarnc to listen")
        other.handle.connect_peer((HOST, port))

        def seeder_via_pex():
            return [p for p in other.handle.get_peer_info()
                    if p.ip == (seeder.host, seeder.port) and p.source & lt.peer_info.pex]
        wait_until(seeder_via_pex, 60, "the other peer to learn of the seeder by peer exchange")


# Local peer discovery: two quarnc processes in a network namespace of their
# own (multicast on its loopback), one seeding a torrent that names no
# tracker, the other finding it by the announces alone.
LPD_CHILD = "lpd-child"


def lpd_child(tmp, torrent):
    for cmd in (["ip", "link", "set", "lo", "up"], ["ip", "link", "set", "lo", "multicast", "on"],
                ["ip", "route", "add", "239.0.0.0/8", "dev", "lo"]):
        subprocess.run(cmd, check=True)
    common = [QUARNC, "--no-conf", "--summary-interval=0", "--enable-dht=false",
              "--bt-enable-lpd=true", "--console-log-level=warn", "--log-level=info"]
    seeder = subprocess.Popen(common + ["--dir=" + os.path.join(tmp, "seed"),
                                        "--check-integrity=true", "--file-allocation=none",
                                        "--log=" + os.path.join(tmp, "seed.log"),
                                        "--listen-port=%d" % free_port(), torrent],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        leecher = subprocess.run(common + ["--dir=" + os.path.join(tmp, "dl"), "--seed-time=0",
                                           "--log=" + os.path.join(tmp, "dl.log"),
                                           "--bt-stop-timeout=60",
                                           "--listen-port=%d" % free_port(), torrent],
                                 capture_output=True, timeout=120)
        return leecher.returncode
    finally:
        seeder.kill()
        seeder.wait()


@unittest.skipIf(lt is None, "python3-libtorrent is not installed")
@unittest.skipUnless(shutil.which("unshare") and os.geteuid() == 0, "needs unshare -n as root")
@unittest.skipUnless(os.environ.get("QN_E2E_UNSTABLE"),
                     "passes only intermittently: the leecher sometimes never finds the seeder")
class LocalPeerDiscoveryTest(unittest.TestCase):
    def test_leecher_finds_the_seeder_without_a_tracker(self):
        tmp = tempfile.mkdtemp(prefix="qn-lpd-")
        self.addCleanup(shutil.rmtree, tmp, True)
        os.makedirs(os.path.join(tmp, "seed"))
        data = random.Random(11).randbytes(SIZE)
        with open(os.path.join(tmp, "seed", "payload.bin"), "wb") as f:
            f.write(data)
        fs = lt.file_storage()
        lt.add_files(fs, os.path.join(tmp, "seed", "payload.bin"))
        ct = lt.create_torrent(fs, 262144, flags=lt.create_torrent.v1_only)
        lt.set_piece_hashes(ct, os.path.join(tmp, "seed"))
        torrent = os.path.join(tmp, "payload.torrent")
        with open(torrent, "wb") as f:
            f.write(lt.bencode(ct.generate()))
        child = subprocess.run(["unshare", "-n", sys.executable, os.path.abspath(__file__),
                                LPD_CHILD, tmp, torrent], capture_output=True, timeout=180)
        self.assertEqual(0, child.returncode, child.stdout + child.stderr)
        with open(os.path.join(tmp, "dl", "payload.bin"), "rb") as f:
            self.assertEqual(data, f.read())
        with open(os.path.join(tmp, "dl.log"), "rb") as f:
            self.assertIn(b"LPD message received", f.read())


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == LPD_CHILD:
        sys.exit(lpd_child(sys.argv[2], sys.argv[3]))
    unittest.main()
