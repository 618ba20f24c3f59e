"""End-to-end following of torrent files fetched over HTTP.

A .torrent (by its name or by the server's content type) fetched with
"--follow-torrent=true" or "mem" must become the torrent download it describes,
which shows up in the result table. With "false" the file is only saved, and a
file that is no torrent is saved and reported, not followed. A followed torrent
whose swarm is alive downloads to the seeder's bytes.
"""

import os
import re
import subprocess
import tempfile
import unittest

from bt_peers import HttpTracker, LtPeer, tree_sha256
from httpservers import CraftedServer, Route
from ports import QUARNC_PORTS
from test_bt_swarm import MULTI, Work, swarm_tools

QUARNC = os.environ.get("QUARNC", "quarnc")
STALLED = b"Stop downloading torrent due to --bt-stop-timeout option."
INFO = (b"d6:lengthi1000e4:name11:payload.bin12:piece lengthi16384e6:pieces20:" + b"h" * 20
        + b"e")
TORRENT = b"d8:announce20:http://127.0.0.1:1/a4:info" + INFO + b"e"
TORRENT_TYPE = {"Content-Type": "application/x-bittorrent"}


def run_quarnc(workdir, args, timeout=60):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run([QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
                           "--enable-dht=false", "--bt-enable-lpd=false",
                           "--bt-stop-timeout=1"] + args,
                          cwd=workdir, env=env, capture_output=True, timeout=timeout)


def result_rows(stdout):
    """(status, path) of every row of the result table."""
    return re.findall(r"^[0-9a-f]{6}\|(\w+) *\|[^|]*\|(.*)$", stdout.decode(), re.M)


class Case:
    def __init__(self, name, follow, path, rc, rows, saved, message=None):
        self.name = name
        self.follow = follow
        self.path = path  # what the crafted server is asked for
        self.rc = rc
        self.rows = rows  # [(status, path relative to the work dir)] of the result table
        self.saved = saved  # files left in the work dir
        self.message = message  # bytes the output must hold


CASES = [
    # The torrent's tracker is dead, so the followed download stalls and the
    # stop timeout ends it as in progress, resumable from its control file.
    Case("true by extension", "true", "/x.torrent", 7,
         [("OK", "x.torrent"), ("INPR", "payload.bin")],
         ["payload.bin", "payload.bin.quarn", "x.torrent"], STALLED),
    Case("mem keeps the torrent in memory", "mem", "/x.torrent", 7,
         [("OK", "[MEMORY]x.torrent"), ("INPR", "payload.bin")],
         ["payload.bin", "payload.bin.quarn"], STALLED),
    Case("true by content type", "true", "/get", 7,
         [("OK", "get"), ("INPR", "payload.bin")], ["get", "payload.bin", "payload.bin.quarn"],
         STALLED),
    Case("false only saves", "false", "/x.torrent", 0, [("OK", "x.torrent")], ["x.torrent"]),
    Case("false with content type only saves", "false", "/get", 0, [("OK", "get")], ["get"]),
    Case("not a torrent is saved, not followed", "true", "/bad.torrent", 0,
         [("OK", "bad.torrent")], ["bad.torrent"], b"Could not parse BitTorrent metainfo"),
    Case("not a torrent in memory", "mem", "/bad.torrent", 0,
         [("OK", "[MEMORY]bad.torrent")], [], b"Could not parse BitTorrent metainfo"),
]


class FollowTorrentTest(unittest.TestCase):
    def test_follow_torrent(self):
        routes = {"/x.torrent": Route(TORRENT),
                  "/get": Route(TORRENT, headers=TORRENT_TYPE),
                  "/bad.torrent": Route(b"<html>no torrent</html>")}
        with CraftedServer(routes) as srv:
            for case in CASES:
                with self.subTest(case.name), tempfile.TemporaryDirectory() as work:
                    result = run_quarnc(work, ["--follow-torrent=" + case.follow,
                                               srv.url(case.path)])
                    out = result.stdout + result.stderr
                    self.assertEqual(case.rc, result.returncode, out)
                    rows = [(status, path.replace(work + "/", "").replace(
                        "[MEMORY]" + work + "/", "[MEMORY]")) for status, path in
                        result_rows(result.stdout)]
                    self.assertEqual(case.rows, rows, out)
                    self.assertEqual(sorted(case.saved), sorted(os.listdir(work)))
                    if case.message:
                        self.assertIn(case.message, out)
                    else:
                        self.assertNotIn(STALLED, out)


@unittest.skipUnless(swarm_tools(), "libtorrent, mktorrent or quarnc missing")
class FollowedTorrentCompletesTest(unittest.TestCase):
    """The torrent fetched over HTTP names a live tracker and a libtorrent seeder:
    the download it becomes must end with the seeder's bytes."""

    def test_followed_torrent_downloads_from_the_swarm(self):
        w = Work(self, MULTI)
        with HttpTracker() as tracker:
            w.make([[tracker.url()]])
            with open(w.torrent, "rb") as f:
                torrent = f.read()
            routes = {"/x.torrent": Route(torrent)}
            with CraftedServer(routes) as srv, LtPeer(w.torrent, w.src, seed=True):
                for follow, rows in (("true", ["x.torrent", "tree/a.bin (3more)"]),
                                     ("mem", ["[MEMORY]x.torrent", "tree/a.bin (3more)"])):
                    with self.subTest(follow):
                        work = w.dir_for("dl-" + follow)
                        result = run_quarnc(work, ["--follow-torrent=" + follow,
                                                   "--bt-stop-timeout=60", "--seed-time=0",
                                                   "--listen-port=" + QUARNC_PORTS,
                                                   srv.url("/x.torrent")], timeout=120)
                        out = result.stdout + result.stderr
                        self.assertEqual(0, result.returncode, out)
                        got = [(status, path.replace(work + "/", "").replace(
                            "[MEMORY]" + work + "/", "[MEMORY]"))
                            for status, path in result_rows(result.stdout)]
                        self.assertEqual([("OK", r) for r in rows], got, out)
                        self.assertEqual(tree_sha256(os.path.join(w.src, "tree")),
                                         tree_sha256(os.path.join(work, "tree")))


if __name__ == "__main__":
    unittest.main()
