"""End-to-end BitTorrent against a second implementation: transmission-daemon.

transmission refuses peers on 127.0.0.0/8, so every case runs in a network
namespace of its own whose `lo` carries three addresses: the test's tracker on
one, transmission on another, quarnc (bound with --interface) on the third.
transmission runs without uTP, DHT, local discovery and peer exchange, driven by
transmission-remote; the tracker is the only way the two find each other.

Cases are rows of a table: who seeds, the content, transmission's encryption
mode, quarnc's extra options and whether the connection must be encrypted. The
transfer is rate limited so that it outlives many looks at transmission's peer
list, whose "E" flag tells whether the payload was encrypted with RC4.
"""

import os
import unittest

from bt_peers import (HttpTracker, NetNs, TransmissionPeer, can_unshare, have_transmission,
                      tree_sha256, wait_until)
from httpservers import have
from test_bt_swarm import MULTI, PEER_ID_PREFIX, QUARNC, SINGLE, Quarnc, Work, control_files

TRACKER_IP = "10.254.0.1"
TRANSMISSION_IP = "10.254.0.2"
QUARNC_IP = "10.254.0.3"
# The namespace is the case's own: nothing else there takes a port below the
# ephemeral range.
QUARNC_PORT = 6881
TRANSMISSION_PEER_ID = b"-TR"
# transmission's "encryption" setting.
PREFER_PLAIN, PREFER_ENCRYPTED, REQUIRE_ENCRYPTED = 0, 1, 2
# Keeps the transfer going for a few seconds: long enough to see the connection.
RATE = "1M"


class Case:
    def __init__(self, name, seeder, layout, encryption, encrypted, args=(), logged=None):
        self.name = name
        self.seeder = seeder  # "transmission" or "quarnc"
        self.layout = layout
        self.encryption = encryption
        self.encrypted = encrypted  # whether transmission must flag the connection "E"
        self.args = list(args)
        # Text quarnc's debug log must have (one of them, for a tuple), or None.
        self.logged = (logged,) if isinstance(logged, str) else logged


# quarnc connects out when it downloads (it finds transmission through the tracker
# first) and takes the connection when it seeds (transmission then announces after
# it). As the one connecting, quarnc offers RC4 and plaintext and takes RC4 when
# the other side picks it; as the one connected to, it picks plaintext only when
# the other side offers it. transmission, unless it prefers plaintext, answers and
# connects with RC4 alone: by default the connection is encrypted either way.
CASES = [
    Case("transmission seeds one file", "transmission", SINGLE, PREFER_ENCRYPTED, True,
         logged="peer prefers ARC4"),
    Case("transmission seeds a tree", "transmission", MULTI, PREFER_ENCRYPTED, True),
    Case("transmission seeds, requires encryption", "transmission", SINGLE, REQUIRE_ENCRYPTED,
         True, logged="peer prefers ARC4"),
    # Preferring plaintext, transmission mostly answers the encrypted handshake and
    # picks plaintext, but now and then (seen under load) closes it after quarnc's
    # key: quarnc then connects again with the plain handshake.
    Case("transmission seeds, prefers plaintext", "transmission", SINGLE, PREFER_PLAIN, False,
         logged=("peer prefers plaintext.", "Retry using legacy BitTorrent handshake.")),
    Case("quarnc seeds one file", "quarnc", SINGLE, PREFER_ENCRYPTED, True,
         logged="peer provides ARC4."),
    Case("quarnc seeds a tree, transmission requires encryption", "quarnc", MULTI,
         REQUIRE_ENCRYPTED, True, logged="peer provides ARC4."),
    Case("quarnc seeds, transmission prefers plaintext", "quarnc", SINGLE, PREFER_PLAIN, False),
    Case("quarnc seeds with RC4 as its lowest level", "quarnc", SINGLE, PREFER_ENCRYPTED, True,
         args=["--bt-min-crypto-level=arc4"], logged="peer provides ARC4."),
]


RETRY_PLAIN = "Retry using legacy BitTorrent handshake."


def handshake_lines(log):
    """quarnc's log lines about its handshakes and how they ended."""
    keys = ("MSE", "handshake", "Handshake", "ARC4", "plaintext", "Exception", "EOF")
    return "\n".join(line for line in log.splitlines()
                     if any(k in line for k in keys) and " piece " not in line)[-4000:]


def missing():
    """Why the test cannot run here, or None."""
    if os.geteuid() != 0 or not can_unshare():
        return "not root: the test needs a network namespace of its own (unshare -n)"
    if not have_transmission():
        return "transmission-daemon or transmission-remote is not installed"
    if not have("mktorrent"):
        return "mktorrent is not installed"
    if not (os.path.exists(QUARNC) or have(QUARNC)):
        return "quarnc not found"
    return None


MISSING = missing()


@unittest.skipIf(MISSING, MISSING)
class TransmissionTest(unittest.TestCase):
    def test_swarm_with_transmission(self):
        for case in CASES:
            with self.subTest(case.name):
                self.run_case(case)

    def run_case(self, case, again=True):
        w = Work(self, case.layout)
        with NetNs([TRACKER_IP, TRANSMISSION_IP, QUARNC_IP]) as ns, \
                HttpTracker(host=TRACKER_IP, netns=ns) as tracker:
            w.make([[tracker.url()]])
            if case.seeder == "transmission":
                run, got, flags = self.transmission_seeds(case, w, ns, tracker)
            else:
                run, got, flags = self.quarnc_seeds(case, w, ns, tracker)
        self.assertEqual(tree_sha256(w.src), tree_sha256(got))
        self.assertTrue(flags, "transmission never listed quarnc among its peers")
        encrypted = any("E" in f for f in flags)
        log = run.log_text()
        if case.encrypted and not encrypted and RETRY_PLAIN in log and again:
            # Under heavy load transmission has been seen to end an encrypted
            # handshake early; quarnc then rightly falls back to plaintext.
            # That must not happen twice in a row.
            print("%s: encrypted handshake ended early, once more:\n%s" %
                  (case.name, handshake_lines(log)))
            return self.run_case(case, again=False)
        self.assertEqual(case.encrypted, encrypted, "transmission's peer flags: %s\n%s" %
                         (sorted(set(flags)), handshake_lines(log)))
        if case.logged:
            self.assertTrue([t for t in case.logged if t in log], case.logged)
        events = tracker.events(PEER_ID_PREFIX)
        self.assertEqual("started", events[0], events)
        self.assertEqual("stopped", events[-1], events)

    def quarnc(self, w, ns, args, seed_time="0"):
        return Quarnc(w.dir, ["--interface=" + QUARNC_IP, "--log-level=debug"] + args,
                      netns=ns, port=QUARNC_PORT, seed_time=seed_time)

    def transmission_seeds(self, case, w, ns, tracker):
        with TransmissionPeer(w.dir, TRANSMISSION_IP, ns, case.encryption,
                              download_dir=w.src) as trx:
            tid = trx.add(w.torrent)
            # transmission announces once it has checked the data it seeds.
            wait_until(lambda: [a for a in tracker.by_peer(TRANSMISSION_PEER_ID)
                                if a["left"] == 0], 60, "transmission to announce as a seeder")
            run = self.quarnc(w, ns, ["--max-overall-download-limit=" + RATE] + case.args +
                              [w.torrent]).start()
            self.addCleanup(run.stop)
            flags = []

            def done():
                flags.extend(f for ip, f in trx.peers(tid) if ip == QUARNC_IP)
                return run.proc.poll() is not None
            wait_until(done, 120, "quarnc to finish")
            rc, out = run.finish()
            self.assertEqual(0, rc, out + run.log_text()[-3000:].encode())
            self.assertEqual([], control_files(run.dl))
        return run, run.dl, flags

    def quarnc_seeds(self, case, w, ns, tracker):
        run = self.quarnc(w, ns, ["--check-integrity=true", "--seed-ratio=1.0",
                                  "--max-upload-limit=" + RATE] + case.args + [w.torrent],
                          seed_time=None)
        # quarnc seeds what it finds where it would download to.
        os.rmdir(run.dl)
        os.symlink(w.src, run.dl)
        run.start()
        self.addCleanup(run.stop)
        wait_until(lambda: tracker.by_peer(PEER_ID_PREFIX) or not run.alive(),
                   60, "quarnc to announce")
        with TransmissionPeer(w.dir, TRANSMISSION_IP, ns, case.encryption) as trx:
            tid = trx.add(w.torrent)
            flags = []

            def done():
                flags.extend(f for ip, f in trx.peers(tid) if ip == QUARNC_IP)
                run.alive(grace=10)
                return trx.percent_done(tid) == 100.0
            wait_until(done, 120, "transmission to have it all")
            got = trx.download_dir
            rc, out = run.finish()
            self.assertEqual(0, rc, out + run.log_text()[-3000:].encode())
            self.assertIn("Seeding is over.", run.log_text())
        return run, got, flags


if __name__ == "__main__":
    unittest.main()
