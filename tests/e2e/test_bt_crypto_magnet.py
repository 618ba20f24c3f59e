"""End-to-end encrypted handshakes, magnet links, peer exchange and local peer
discovery against libtorrent peers and a second quarnc.

Every case runs the real quarnc and a libtorrent session (in this process) on
127.0.0.0/8, with the recording tracker of bt_peers.py, which hands each
announcing peer the others of its swarm; a case that must hide a peer from
another gives that peer a torrent without the tracker, or puts a peer into the
swarm itself. A download must complete with the exact bytes; where the case is
about encryption, libtorrent's own peer list must show the connection encrypted
with RC4, or the log must show the plain retry.

libtorrent backs off for minutes from an address it failed to reach, so no
libtorrent session learns of quarnc before quarnc listens.
"""

import base64
import os
import random
import re
import shutil
import subprocess
import tempfile
import unittest

from bt_peers import HttpTracker, NetNs, can_unshare, wait_until
from ports import QUARNC_PORTS, LogTail, quarnc_port

try:
    import libtorrent as lt
except ImportError:  # pragma: no cover
    lt = None

QUARNC = os.environ.get("QUARNC", "quarnc")
HOST = "127.0.0.1"
SIZE = 3 * 1024 * 1024 + 12345
RETRY_PLAIN = b"Retry using legacy BitTorrent handshake."
QN_PEER_ID = b"QN-"


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def url_quote(url):
    return url.replace(":", "%3A").replace("/", "%2F")


def make_payload(seed_dir, seed, tracker_url=None):
    """Writes payload.bin of pseudo-random bytes into seed_dir; its bytes and a v1
    torrent of it (a dictionary, naming the tracker when one is given)."""
    data = random.Random(seed).randbytes(SIZE)
    path = os.path.join(seed_dir, "payload.bin")
    with open(path, "wb") as f:
        f.write(data)
    fs = lt.file_storage()
    lt.add_files(fs, path)
    ct = lt.create_torrent(fs, 262144, flags=lt.create_torrent.v1_only)
    if tracker_url:
        ct.add_tracker(tracker_url)
    lt.set_piece_hashes(ct, seed_dir)
    return data, ct.generate()


ENC_FORCED, ENC_ENABLED, ENC_DISABLED = 0, 1, 2
LEVEL_PLAIN, LEVEL_RC4, LEVEL_BOTH = 1, 2, 3


class LtSession:
    """A libtorrent session in this process with one torrent, for the cases that
    set its encryption policy or read its peer list's flags and sources."""

    def __init__(self, enc_policy, enc_level, host=HOST, upload_limit=0):
        self.host = host
        settings = {
            "upload_rate_limit": upload_limit,
            "listen_interfaces": "%s:0" % host,
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
        """Adds the torrent; a seeder is returned once it serves its data."""
        params = lt.add_torrent_params()
        params.ti = lt.torrent_info(torrent_path)
        if seed:
            params.flags |= lt.torrent_flags.seed_mode
        self._start(params, save_path)
        if seed:
            wait_until(self.seeding, 30, "the libtorrent seeder to seed")

    def add_magnet(self, uri, save_path):
        self._start(lt.parse_magnet_uri(uri), save_path)

    def _start(self, params, save_path):
        params.save_path = save_path
        # A queued torrent starts paused and refuses every peer until the
        # session's queue gets round to it, later still under load.
        params.flags &= ~lt.torrent_flags.auto_managed
        params.flags &= ~lt.torrent_flags.paused
        self.handle = self.session.add_torrent(params)

    def encrypted_peers(self):
        return [p for p in self.handle.get_peer_info()
                if p.flags & lt.peer_info.rc4_encrypted]

    def seeding(self):
        return self.handle.status().is_seeding

    def close(self):
        if self.handle is not None:
            self.session.remove_torrent(self.handle)
            self.handle = None


@unittest.skipIf(lt is None, "python3-libtorrent is not installed")
class CryptoAndMagnetTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qn-mse-")
        self.seed_dir = os.path.join(self.tmp, "seed")
        self.dl_dir = os.path.join(self.tmp, "dl")
        os.makedirs(self.seed_dir)
        os.makedirs(self.dl_dir)
        self.tracker = HttpTracker().__enter__()
        self.addCleanup(self.tracker.__exit__, None, None, None)
        self.data, metainfo = make_payload(self.seed_dir, 7, self.tracker.url())
        self.torrent = self.write_torrent("payload.torrent", metainfo)
        # The same torrent without its tracker: a peer that must not learn of the
        # others through the tracker.
        del metainfo[b"announce"]
        self.hidden_torrent = self.write_torrent("hidden.torrent", metainfo)
        info = lt.torrent_info(self.torrent)
        self.info_hash = bytes.fromhex(str(info.info_hashes().v1))
        self.magnet = "magnet:?xt=urn:btih:%s&tr=%s" % (self.info_hash.hex(),
                                                        url_quote(self.tracker.url()))
        self.procs = []
        self.tails = {}

    def tearDown(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
            proc.communicate()
        if os.environ.get("QN_KEEP"):
            print("kept", self.tmp)
        else:
            shutil.rmtree(self.tmp, ignore_errors=True)

    def write_torrent(self, name, metainfo):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as f:
            f.write(lt.bencode(metainfo))
        return path

    def peer(self, policy, level, host=HOST, upload_limit=0):
        p = LtSession(policy, level, host, upload_limit)
        self.addCleanup(p.close)
        return p

    def swarm_is(self, *endpoints):
        """The tracker's swarm becomes these peers (which need not announce)."""
        with self.tracker.lock:
            self.tracker.swarm[self.info_hash] = {e: b"-placed-by-the-test-" for e in endpoints}

    def quarnc(self, args):
        log = os.path.join(self.tmp, "quarnc-%d.log" % len(self.procs))
        cmd = [QUARNC, "--no-conf", "--summary-interval=0", "--enable-dht=false",
               "--bt-enable-lpd=false", "--console-log-level=warn", "--log=" + log,
               "--log-level=" + os.environ.get("QN_LOG_LEVEL", "info"),
               "--listen-port=" + QUARNC_PORTS,
               "--bt-tracker-connect-timeout=5", "--bt-stop-timeout=60"] + args
        self.tails[log] = LogTail(log)
        proc = subprocess.Popen(cmd, cwd=self.tmp, env=dict(os.environ, HOME=self.tmp),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.procs.append(proc)
        return proc, log

    def listening_port(self, proc, log):
        """quarnc's IPv4 listening port, once it listens."""
        port = quarnc_port(self.tails[log], proc)
        self.assertIsNone(proc.poll(), read_file(log)[-3000:])
        return port

    def quarnc_seeder(self, options):
        """quarnc seeding payload.bin; returns once the tracker has its listening port."""
        # Seeding existing data needs no allocation.
        proc, log = self.quarnc(["--dir=" + self.seed_dir, "--check-integrity=true",
                                 "--file-allocation=none", "--seed-ratio=0.0"] + options
                                + [self.torrent])
        port = self.listening_port(proc, log)
        wait_until(lambda: self.tracker.by_peer(QN_PEER_ID) or proc.poll() is not None, 60,
                   "quarnc to announce")
        self.assertIsNone(proc.poll(), read_file(log)[-3000:])
        self.assertEqual(port, self.tracker.by_peer(QN_PEER_ID)[0]["port"])
        return proc, log, port

    def finish(self, proc, timeout=90):
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out

    def downloaded(self):
        with open(os.path.join(self.dl_dir, "payload.bin"), "rb") as f:
            return f.read()

    def fresh_dl_dir(self):
        shutil.rmtree(self.dl_dir)
        os.makedirs(self.dl_dir)

    def test_leech_from_peers_by_encryption_preference(self):
        cases = [
            # libtorrent's policy and level, quarnc's options, encrypted?, plain retry seen?
            (ENC_FORCED, LEVEL_RC4, ["--bt-force-encryption=true"], True, False),
            (ENC_FORCED, LEVEL_RC4, ["--bt-require-crypto=true"], True, False),
            (ENC_DISABLED, LEVEL_PLAIN, [], False, True),
        ]
        for policy, level, options, encrypted, retried in cases:
            with self.subTest(policy=policy, options=options):
                self.fresh_dl_dir()
                seeder = self.peer(policy, level)
                seeder.add(self.hidden_torrent, self.seed_dir, seed=True)
                self.swarm_is((HOST, seeder.port))
                # A download limit keeps the connection up long enough to be seen.
                proc, log = self.quarnc(["--dir=" + self.dl_dir, "--seed-time=0",
                                         "--max-download-limit=1M"] + options + [self.torrent])
                seen_encrypted = []

                def done():
                    seen_encrypted.extend(seeder.encrypted_peers())
                    return proc.poll() is not None
                wait_until(done, 90, "quarnc to download", poll=0.2)
                code, out = self.finish(proc)
                self.assertEqual(0, code, out.decode(errors="replace"))
                self.assertEqual(self.data, self.downloaded())
                if encrypted:
                    self.assertTrue(seen_encrypted, "libtorrent saw no RC4 connection")
                self.assertEqual(retried, RETRY_PLAIN in read_file(log))

    def test_seed_to_a_peer_that_requires_rc4(self):
        _, _, port = self.quarnc_seeder(["--max-upload-limit=1M", "--bt-force-encryption=true"])
        leecher = self.peer(ENC_FORCED, LEVEL_RC4)
        leecher.add(self.torrent, self.dl_dir)
        leecher.handle.connect_peer((HOST, port))
        wait_until(leecher.encrypted_peers, 60, "an RC4 connection to quarnc")
        wait_until(leecher.seeding, 90, "libtorrent to complete")
        self.assertEqual(self.data, self.downloaded())

    def test_libtorrent_fetches_a_magnets_metadata_and_data_from_quarnc(self):
        _, log, _ = self.quarnc_seeder([])
        leecher = self.peer(ENC_ENABLED, LEVEL_BOTH)
        # Only the magnet: the info hash and the tracker, which knows quarnc alone.
        leecher.add_magnet(self.magnet, self.dl_dir)
        wait_until(leecher.seeding, 90, "libtorrent to complete")
        self.assertEqual(self.data, self.downloaded())
        self.assertIn(b"ut_metadata request piece=0", read_file(log))

    def test_magnet_links_fetch_metadata_then_data(self):
        b32 = base64.b32encode(self.info_hash).decode()
        cases = [
            ("hex", self.info_hash.hex(), []),
            ("base32", b32, []),
            ("metadata only", self.info_hash.hex(),
             ["--bt-save-metadata=true", "--bt-metadata-only=true"]),
        ]
        seeder = self.peer(ENC_ENABLED, LEVEL_BOTH)
        seeder.add(self.hidden_torrent, self.seed_dir, seed=True)
        self.swarm_is((HOST, seeder.port))
        for name, xt, options in cases:
            with self.subTest(name):
                self.fresh_dl_dir()
                magnet = "magnet:?xt=urn:btih:%s&dn=payload.bin&tr=%s" % (
                    xt, url_quote(self.tracker.url()))
                proc, _ = self.quarnc(["--dir=" + self.dl_dir, "--seed-time=0"] + options
                                      + [magnet])
                code, out = self.finish(proc)
                self.assertEqual(0, code, out.decode(errors="replace"))
                saved = os.path.join(self.dl_dir, self.info_hash.hex() + ".torrent")
                if options:
                    self.assertFalse(os.path.exists(os.path.join(self.dl_dir, "payload.bin")))
                    info = lt.torrent_info(lt.bdecode(read_file(saved)))
                    self.assertEqual(self.info_hash.hex(), str(info.info_hashes().v1))
                else:
                    self.assertEqual(self.data, self.downloaded())
                    self.assertFalse(os.path.exists(saved))

    def torrents_of(self, private):
        """The tracker-naming and the hidden torrent, made private when asked."""
        if not private:
            return self.torrent, self.hidden_torrent
        with open(self.torrent, "rb") as f:
            metainfo = lt.bdecode(f.read())
        metainfo[b"info"][b"private"] = 1
        torrent = self.write_torrent("private.torrent", metainfo)
        del metainfo[b"announce"]
        return torrent, self.write_torrent("private-hidden.torrent", metainfo)

    def test_peer_exchange_tells_a_peer_about_the_seeder_unless_private(self):
        # Peer exchange tells peers apart by address: each libtorrent peer gets
        # one of its own in 127.0.0.0/8. Only quarnc learns of the seeder, from
        # the tracker; the other peer is told of quarnc alone and must hear of
        # the seeder through quarnc, unless the torrent is private.
        for private in (False, True):
            with self.subTest(private=private):
                self.fresh_dl_dir()
                self.exchange_peers(*self.torrents_of(private), private)
                for proc in self.procs:
                    proc.kill()

    def test_peer_exchange_tells_quarnc_of_a_peer_the_tracker_never_named(self):
        # The tracker knows only the quarnc seeder. A libtorrent leecher that has
        # the torrent without its tracker connects to that seeder alone; the
        # seeder's peer exchange is how the quarnc leecher comes to hear of it. The
        # seeder sends slowly, so that the leecher is still connected to it (and
        # so offered) when quarnc comes, instead of a seed that left.
        _, seed_log, seed_port = self.quarnc_seeder(["--max-overall-upload-limit=100K"])
        known = self.peer(ENC_ENABLED, LEVEL_BOTH, "127.0.0.4")
        known.add(self.hidden_torrent, os.path.join(self.tmp, "known"))
        known.handle.connect_peer((HOST, seed_port))
        wait_until(lambda: re.search(rb"From: 127\.0\.0\.4:\d+ extended handshake",
                                     read_file(seed_log)), 60, "the leecher at the seeder")
        _, log = self.quarnc(["--dir=" + self.dl_dir, "--seed-time=0", self.torrent])
        told = re.compile(rb"From: 127\.0\.0\.1:%d extended ut_pex added=[1-9]" % seed_port)
        went = b"Connecting to %s:%d" % (known.host.encode(), known.port)
        wait_until(lambda: told.search(read_file(log)) and went in read_file(log), 60,
                   "quarnc to learn of the seeder's leecher by peer exchange")

    def exchange_peers(self, torrent, hidden_torrent, private):
        info_hash = bytes.fromhex(str(lt.torrent_info(torrent).info_hashes().v1))
        # A slow seeder keeps its connection up long enough to be seen: once
        # quarnc has the whole file the two seeds part, and the seeder is no
        # longer among the connections quarnc offers. At this rate that takes
        # half a minute, however long the other peer needs to come.
        seeder = self.peer(ENC_ENABLED, LEVEL_BOTH, "127.0.0.2", upload_limit=100 * 1024)
        seeder.add(hidden_torrent, self.seed_dir, seed=True)
        with self.tracker.lock:
            self.tracker.swarm[info_hash] = {(seeder.host, seeder.port): b"-placed-by-the-test-"}
        proc, log = self.quarnc(["--dir=" + self.dl_dir, "--max-download-limit=500K", torrent])
        port = self.listening_port(proc, log)
        # quarnc offers a peer the connections it has when that peer's connection
        # starts, and then only once a minute: the other peer comes once quarnc
        # has the seeder's data flowing.
        wait_until(lambda: any(p.total_upload for p in seeder.handle.get_peer_info()), 60,
                   "the seeder to upload to quarnc")
        other = self.peer(ENC_ENABLED, LEVEL_BOTH, "127.0.0.3")
        other.add(hidden_torrent, os.path.join(self.tmp, "other"))
        other.handle.connect_peer((HOST, port))

        def seeder_via_pex():
            return [p for p in other.handle.get_peer_info()
                    if p.ip == (seeder.host, seeder.port) and p.source & lt.peer_info.pex]
        handshake = re.compile(rb"To: 127\.0\.0\.3:\d+ extended handshake[^\n]*")
        if not private:
            wait_until(seeder_via_pex, 60, "the other peer to learn of the seeder by peer "
                       "exchange")
            self.assertIn(b"ut_pex=", handshake.search(read_file(log)).group(0))
            return
        # quarnc does not offer peer exchange on a private torrent's connections,
        # so the other peer has nowhere to hear of the seeder from.
        found = wait_until(lambda: handshake.search(read_file(log)), 60,
                           "quarnc's extension handshake to the other peer")
        self.assertNotIn(b"ut_pex=", found.group(0))
        wait_until(lambda: re.search(rb"From: 127\.0\.0\.3:\d+ extended handshake",
                                     read_file(log)), 60, "the other peer's extension handshake")
        self.assertEqual([], seeder_via_pex())


LPD_HOST = "10.254.0.1"


@unittest.skipIf(lt is None, "python3-libtorrent is not installed")
@unittest.skipUnless(os.geteuid() == 0 and can_unshare(), "needs unshare -n as root")
class LocalPeerDiscoveryTest(unittest.TestCase):
    """Two quarnc processes in a network namespace of their own (multicast on its
    loopback), one seeding a torrent that names no tracker, the other finding it
    by the announces alone."""

    def quarnc(self, ns, tmp, role, port, args):
        cmd = [QUARNC, "--no-conf", "--summary-interval=0", "--enable-dht=false",
               "--bt-enable-lpd=true", "--console-log-level=warn", "--log-level=info",
               "--log=" + os.path.join(tmp, role + ".log"), "--listen-port=%d" % port] + args
        proc = subprocess.Popen(ns.wrap(cmd), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.addCleanup(self.stop, proc)
        return proc

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.kill()
        proc.communicate()

    def test_leecher_finds_the_seeder_without_a_tracker(self):
        tmp = tempfile.mkdtemp(prefix="qn-lpd-")
        self.addCleanup(shutil.rmtree, tmp, True)
        os.makedirs(os.path.join(tmp, "seed"))
        data, metainfo = make_payload(os.path.join(tmp, "seed"), 11)
        torrent = os.path.join(tmp, "payload.torrent")
        with open(torrent, "wb") as f:
            f.write(lt.bencode(metainfo))
        info_hash = str(lt.torrent_info(torrent).info_hashes().v1)
        # An address of global scope on lo: without one, the kernel sends the
        # announces from 0.0.0.0, an address no peer on a network ever has.
        with NetNs([LPD_HOST]) as ns:
            for args in (["link", "set", "lo", "multicast", "on"],
                         ["route", "add", "239.0.0.0/8", "dev", "lo"]):
                subprocess.run(ns.wrap(["ip", *args]), check=True, capture_output=True)
            # A torrent announces itself once when it starts and then every five
            # minutes: the leecher listens to the group before the seeder starts,
            # so that the seeder's first announce reaches it.
            leecher = self.quarnc(ns, tmp, "dl", 6881, ["--dir=" + os.path.join(tmp, "dl"),
                                                        "--seed-time=0", "--bt-stop-timeout=60",
                                                        torrent])
            dl_log = os.path.join(tmp, "dl.log")
            wait_until(lambda: b"Sending LPD message is complete." in read_file(dl_log)
                       or leecher.poll() is not None, 60, "the leecher's own announce")
            self.quarnc(ns, tmp, "seed", 6882, ["--dir=" + os.path.join(tmp, "seed"),
                                                "--check-integrity=true",
                                                "--file-allocation=none", torrent])
            out, _ = leecher.communicate(timeout=120)
        self.assertEqual(0, leecher.returncode, out + read_file(dl_log)[-3000:])
        with open(os.path.join(tmp, "dl", "payload.bin"), "rb") as f:
            self.assertEqual(data, f.read())
        heard = ("LPD message received infohash=%s, port=6882 from %s" % (info_hash, LPD_HOST))
        heard = heard.encode()
        self.assertIn(heard, read_file(dl_log))


if __name__ == "__main__":
    unittest.main()
