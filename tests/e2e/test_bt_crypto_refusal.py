"""End-to-end: quarnc's encryption requirements against libtorrent peers that speak
only the plain handshake.

A quarnc that requires encryption must not trade data with a plain peer, whichever
side opens the connection: as a leecher it gets nothing and "--bt-stop-timeout"
ends it with a failure; as a seeder it refuses the plain handshake. The rows
without the requirement show the same peers do trade data with a default quarnc,
so that a refusal is the requirement's doing and not the fixture's.
"""

import os
import unittest

from bt_peers import HttpTracker, LtPeer, have_libtorrent, tree_sha256, wait_until
from httpservers import have
from test_bt_swarm import PEER_ID_PREFIX, SINGLE, Quarnc, Work

QUARNC = os.environ.get("QUARNC", "quarnc")

# libtorrent's encryption policy "disabled", both ways: a peer of the plain handshake only.
PLAIN_ONLY = {"out_enc_policy": 2, "in_enc_policy": 2, "allowed_enc_level": 1}
LEGACY_REFUSED = "The legacy BitTorrent handshake is not acceptable by the preference."
PLAIN_DISABLED = ("Establishing connection using legacy BitTorrent handshake is disabled by "
                  "preference.")


def tools():
    return have_libtorrent() and have("mktorrent") and (os.path.exists(QUARNC) or have(QUARNC))


@unittest.skipUnless(tools(), "libtorrent, mktorrent or quarnc missing")
class PlainPeerTest(unittest.TestCase):
    def test_leecher_requiring_crypto_gets_nothing_from_a_plain_seeder(self):
        cases = [
            # quarnc's options, whether the download completes, a line its log must hold
            ([], True, "Retry using legacy BitTorrent handshake."),
            (["--bt-require-crypto=true"], False, PLAIN_DISABLED),
        ]
        for options, completes, line in cases:
            with self.subTest(options=options):
                w = Work(self, SINGLE)
                with HttpTracker() as tracker:
                    w.make([[tracker.url()]])
                    with LtPeer(w.torrent, w.src, seed=True, settings=PLAIN_ONLY) as seeder:
                        tracker.peers = [("127.0.0.1", seeder.port)]
                        run = Quarnc(w.dir, ["--bt-stop-timeout=4", "--bt-tracker-interval=1",
                                             "--log-level=debug"] + options + [w.torrent])
                        result = run.run()
                        uploaded = seeder.status()["total_payload_upload"]
                    log = run.log_text()
                    self.assertIn(line, log)
                    if completes:
                        self.assertEqual(0, result.returncode, result.stdout + result.stderr)
                        self.assertEqual(tree_sha256(w.src), tree_sha256(run.dl))
                    else:
                        self.assertNotEqual(0, result.returncode)
                        self.assertIn("--bt-stop-timeout option.", log)
                        self.assertEqual(0, uploaded)

    def test_seeder_forcing_encryption_refuses_a_plain_leecher(self):
        cases = [([], True), (["--bt-force-encryption=true"], False)]
        for options, served in cases:
            with self.subTest(options=options):
                w = Work(self, SINGLE)
                with HttpTracker() as tracker:
                    w.make([[tracker.url()]])
                    run = Quarnc(w.dir, ["--check-integrity=true", "--seed-ratio=0.0",
                                         "--log-level=debug"] + options + [w.torrent],
                                 seed_time=None)
                    # quarnc seeds what it finds where it would download to.
                    os.rmdir(run.dl)
                    os.symlink(w.src, run.dl)
                    run.start()
                    self.addCleanup(run.stop)
                    # Seeding has begun once quarnc has told the tracker it is there.
                    wait_until(lambda: run.alive() and tracker.events(PEER_ID_PREFIX), 60,
                               "quarnc to announce itself")
                    leech = w.dir_for("leech")
                    with LtPeer(w.torrent, leech, connect=[("127.0.0.1", run.port)],
                                settings=PLAIN_ONLY) as leecher:
                        if served:
                            leecher.wait(lambda s: s["is_seeding"], 60, "the leecher to finish")
                            self.assertEqual(tree_sha256(w.src), tree_sha256(leech))
                        else:
                            wait_until(lambda: run.alive() and LEGACY_REFUSED in run.log_text(),
                                       60, "quarnc to refuse the plain handshake")
                            self.assertEqual(0, leecher.status()["total_payload_download"])
                    run.stop()


if __name__ == "__main__":
    unittest.main()
