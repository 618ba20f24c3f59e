"""End-to-end BitTorrent swarms: the real quarnc among libtorrent peers on loopback.

Every test starts its own trackers (a recording python tracker, or opentracker),
libtorrent seeders and leechers (tests/e2e/bt_peers.py) and nginx for web seeds on
free ports, and stops them itself. Download cases are rows of a table: the torrent's
layout, the trackers the torrent names, quarnc's extra options and what must hold.
The fixtures prove themselves first: libtorrent seeds to libtorrent through each
tracker.
"""

import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

from bt_peers import (HttpTracker, LtPeer, NetNs, OpenTracker, can_unshare, have_libtorrent,
                      info_hash, make_tree, mktorrent, read_torrent, tree_sha256, wait_until)
from httpservers import NginxServer, have
from ports import QUARNC_PORTS, LogTail, hold_port, quarnc_port
from procs import read_text

QUARNC = os.environ.get("QUARNC", "quarnc")
CONTROL_SUFFIX = ".quarn"
MIB = 1024 * 1024
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def package_version():
    with open(os.path.join(REPO, "src", "config", "version.h")) as f:
        text = f.read()
    return (re.search(r'PACKAGE_NAME "([^"]+)"', text).group(1),
            re.search(r'PACKAGE_VERSION "([^"]+)"', text).group(1))


NAME, VERSION = package_version()
AGENT = NAME + "/" + VERSION
PEER_ID_PREFIX = ("QN-%s-" % VERSION.replace(".", "-")).encode()

SINGLE = {"single.bin": 3 * MIB + 12345}
# Nested directories, a name with spaces and one in UTF-8; the small files share
# pieces with their neighbours.
MULTI = {"tree/a.bin": 1536 * 1024 + 7, "tree/sub dir/ünïcode ✓ name.bin": 700 * 1024,
         "tree/sub dir/deeper/z.txt": 100, "tree/zz last.bin": 300 * 1024}


def swarm_tools():
    return have_libtorrent() and have("mktorrent") and (os.path.exists(QUARNC) or have(QUARNC))


class Quarnc:
    """One quarnc run in `work`: downloads into work/dl, logs into work/log.txt."""

    def __init__(self, work, args, netns=None, port=None, seed_time="0"):
        self.work = work
        self.dl = os.path.join(work, "dl")
        os.makedirs(self.dl, exist_ok=True)
        self.log = os.path.join(work, "log.txt")
        # A port of its own only in a namespace of the test's own; elsewhere a
        # range, and `port` is the one quarnc took.
        self.fixed_port = port
        self.listening = None
        # No seeding unless a test asks for it (seed_time None: seed by share ratio).
        options = {"--seed-time": seed_time, "--enable-dht": "false", "--bt-enable-lpd": "false",
                   "--listen-port": str(port) if port else QUARNC_PORTS, "--log-level": "info"}
        plain = []
        for arg in args:
            key, eq, value = arg.partition("=")
            if eq and key in options:
                options[key] = value
            else:
                plain.append(arg)
        self.cmd = [QUARNC, "--no-conf", "--dir=" + self.dl, "--summary-interval=0",
                    "--console-log-level=warn", "--log=" + self.log] + \
            ["%s=%s" % (k, v) for k, v in options.items() if v is not None] + plain
        if netns:
            self.cmd = netns.wrap(self.cmd)
        self.env = dict(os.environ, HOME=work)
        self.proc = None

    def run(self, timeout=90):
        return subprocess.run(self.cmd, cwd=self.work, env=self.env, capture_output=True,
                              timeout=timeout)

    def start(self):
        # A resumed run appends to the log of the run before it.
        self.tail = LogTail(self.log)
        self.proc = subprocess.Popen(self.cmd, cwd=self.work, env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return self

    @property
    def port(self):
        """The port the started quarnc listens on, once it does."""
        if self.fixed_port:
            return self.fixed_port
        if self.listening is None:
            self.listening = quarnc_port(self.tail, self.proc)
        return self.listening

    def finish(self, timeout=60):
        out, _ = self.proc.communicate(timeout=timeout)
        return self.proc.returncode, out

    def alive(self, grace=0):
        """True while quarnc runs; AssertionError with its log once it has been gone
        for `grace` seconds, so that a wait on peers fails soon when quarnc gave up."""
        if self.proc.poll() is None:
            return True
        self.ended = getattr(self, "ended", None) or time.monotonic()
        if time.monotonic() - self.ended < grace:
            return True
        raise AssertionError("quarnc ended (exit %d):\n%s" % (self.proc.returncode,
                                                              self.log_text()[-3000:]))

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.communicate(timeout=30)

    def log_text(self):
        return read_text(self.log)


def control_files(root):
    return [os.path.join(d, f) for d, _, files in os.walk(root) for f in files
            if f.endswith(CONTROL_SUFFIX)]


class Work:
    """A temporary directory with the content in src/ and the torrent made by mktorrent."""

    def __init__(self, test, layout, seed=1):
        self.tmp = tempfile.TemporaryDirectory(prefix="quarn-bt-")
        test.addCleanup(self.tmp.cleanup)
        self.dir = self.tmp.name
        self.src = os.path.join(self.dir, "src")
        os.makedirs(self.src)
        make_tree(self.src, layout, seed)
        self.layout = layout
        self.target = sorted({rel.split("/")[0] for rel in layout})[0]
        self.torrent = os.path.join(self.dir, "x.torrent")

    def make(self, tiers=(), web_seeds=(), piece_exp=15):
        return mktorrent(self.torrent, self.target, tiers, web_seeds, piece_exp, cwd=self.src)

    def dir_for(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path


# ------------------------------------------------------------------------- fixtures

@unittest.skipUnless(have_libtorrent() and have("mktorrent"), "libtorrent or mktorrent missing")
class FixtureTest(unittest.TestCase):
    """libtorrent seeds to libtorrent through each tracker: the fixtures work."""

    def test_libtorrent_swarm_through_each_tracker(self):
        for kind in ("python tracker", "opentracker"):
            if kind == "opentracker" and not have("opentracker"):
                continue
            with self.subTest(kind):
                w = Work(self, MULTI)
                ih = info_hash(w.make([["http://127.0.0.1:1/announce"]]))
                tracker = HttpTracker() if kind == "python tracker" else OpenTracker(w.dir, [ih])
                with tracker:
                    w.make([[tracker.url()]])
                    with LtPeer(w.torrent, w.src, seed=True) as seeder:
                        seeder.wait(lambda s: s["tracker_replies"], 10, "the seeder's announce")
                        dst = w.dir_for("dst")
                        with LtPeer(w.torrent, dst) as leecher:
                            leecher.wait(lambda s: s["is_seeding"], 30, "the leecher to finish")
                self.assertEqual(tree_sha256(w.src), tree_sha256(dst))


# ------------------------------------------------------------------------- downloads

class Case:
    def __init__(self, name, layout, tiers, args=(), tracker=None, check=None, control=False):
        self.name = name
        self.control = control  # whether the control file stays (a selection of files)
        self.layout = layout
        # tiers(good, failing, dead): the announce tiers, from the URLs of a tracker
        # with the seeder, one answering "failure reason" and one nobody listens on.
        self.tiers = tiers
        self.args = list(args)
        self.tracker = tracker or {}  # HttpTracker options for the good tracker
        self.check = check  # callable(test, run, work, good_tracker) or None


def logged(text):
    def check(test, run, *_):
        test.assertIn(text, run.log_text())
    return check


def only_selected(index):
    """Of the torrent's files only the one numbered `index` (from 1) is complete."""
    def check(test, run, work, _):
        files = read_torrent(work.torrent)[b"info"][b"files"]
        name = read_torrent(work.torrent)[b"info"][b"name"].decode()
        want = tree_sha256(work.src)
        got = tree_sha256(run.dl)
        for i, entry in enumerate(files, 1):
            rel = os.path.join(name, *[p.decode() for p in entry[b"path"]])
            if i == index:
                test.assertEqual(want[rel], got.get(rel), rel)
            elif entry[b"length"] > 256 * 1024:
                test.assertNotEqual(want[rel], got.get(rel), "unselected %s is complete" % rel)
    return check


DOWNLOAD_CASES = [
    Case("single file", SINGLE, lambda good, failing, dead: [[good]]),
    Case("multi file, nested, spaces and UTF-8", MULTI, lambda good, failing, dead: [[good]]),
    Case("dictionary-model peer list", SINGLE, lambda good, failing, dead: [[good]],
         tracker={"dict_model": True}),
    Case("first tier answers failure reason", SINGLE,
         lambda good, failing, dead: [[failing], [good]],
         check=logged("Tracker returned failure reason: go away")),
    Case("dead first tier", SINGLE, lambda good, failing, dead: [[dead], [good]]),
    Case("one file selected", MULTI, lambda good, failing, dead: [[good]],
         args=["--select-file=4"], check=only_selected(4), control=True),
]


@unittest.skipUnless(swarm_tools(), "libtorrent, mktorrent or quarnc missing")
class DownloadTest(unittest.TestCase):
    def test_downloads_from_libtorrent_seeder(self):
        for case in DOWNLOAD_CASES:
            with self.subTest(case.name):
                self.run_case(case)

    def run_case(self, case):
        w = Work(self, case.layout)
        with HttpTracker(**case.tracker) as good, HttpTracker(failure="go away") as failing, \
                hold_port() as nobody:
            dead = "http://127.0.0.1:%d/announce" % nobody.port
            w.make(case.tiers(good.url(), failing.url(), dead))
            # Limited so that the connection outlives a few looks at the seeder's peers.
            with LtPeer(w.torrent, w.src, seed=True, upload_limit=2 * MIB) as seeder:
                seeder.wait(lambda s: s["tracker_replies"], 10, "the seeder's announce")
                run = Quarnc(w.dir, case.args + [w.torrent])
                result = run.run()
                self.assertEqual(0, result.returncode, result.stdout + result.stderr +
                                 run.log_text()[-3000:].encode())
                if case.check:
                    case.check(self, run, w, good)
                else:
                    self.assertEqual(tree_sha256(w.src), tree_sha256(run.dl))
                self.assertEqual(case.control, bool(control_files(run.dl)))
                self.assert_seen_as_quarnc(seeder.status())
            events = good.events(PEER_ID_PREFIX)
            self.assertEqual("started", events[0], good.announces)
            self.assertTrue(set(events) <= {"started", "completed", "stopped", ""}, events)

    def assert_seen_as_quarnc(self, status):
        ours = [c for c in status["clients"].values()
                if bytes.fromhex(c[1]).startswith(PEER_ID_PREFIX)]
        self.assertTrue(ours, status["clients"])
        # A connection that ended before the extension handshake has no name yet.
        self.assertIn(AGENT, [c[0] for c in ours], status["clients"])

    def test_from_opentracker(self):
        if not have("opentracker"):
            self.skipTest("opentracker is not installed")
        w = Work(self, MULTI)
        with OpenTracker(w.dir, [info_hash(w.make([["http://127.0.0.1:1/a"]]))]) as tracker:
            w.make([[tracker.url()]])
            with LtPeer(w.torrent, w.src, seed=True) as seeder:
                seeder.wait(lambda s: s["tracker_replies"], 10, "the seeder's announce")
                run = Quarnc(w.dir, [w.torrent])
                result = run.run()
                self.assertEqual(0, result.returncode, result.stdout + result.stderr)
                self.assertEqual(tree_sha256(w.src), tree_sha256(run.dl))
                self.assertEqual([], control_files(run.dl))

    def test_no_peer_ends_with_stop_timeout(self):
        w = Work(self, SINGLE)
        with HttpTracker(hide_peers=True) as tracker:
            w.make([[tracker.url()]])
            run = Quarnc(w.dir, ["--bt-stop-timeout=2", w.torrent])
            result = run.run()
            self.assertNotEqual(0, result.returncode)
            self.assertRegex(run.log_text(), "GID#[0-9a-f]{16} Stop downloading torrent due to "
                             "--bt-stop-timeout option.")
            self.assertIn("started", tracker.events(PEER_ID_PREFIX))


@unittest.skipUnless(swarm_tools() and have("nginx"), "libtorrent, mktorrent, nginx or quarnc "
                     "missing")
class WebSeedTest(unittest.TestCase):
    """Torrents without trackers whose only source is nginx, through "url-list"."""

    def test_web_seed_only(self):
        # A web seed ending in a slash gets the single file's name appended; one
        # without gets a slash and the file's path inside the torrent.
        for name, layout, slash in (("single file, slash", {"web seed.bin": 2 * MIB + 3}, "/"),
                                    ("multi file, no slash", MULTI, "")):
            with self.subTest(name):
                w = Work(self, layout)
                with NginxServer(w.dir, w.src) as nginx:
                    w.make(web_seeds=[nginx.url("/").rstrip("/") + slash])
                    run = Quarnc(w.dir, [w.torrent])
                    result = run.run()
                    self.assertEqual(0, result.returncode, result.stdout + result.stderr +
                                     run.log_text()[-3000:].encode())
                    self.assertEqual(tree_sha256(w.src), tree_sha256(run.dl))
                    self.assertEqual([], control_files(run.dl))
                    self.assertTrue(nginx.access_log())


# ------------------------------------------------------------------------- seeding

@unittest.skipUnless(swarm_tools(), "libtorrent, mktorrent or quarnc missing")
class SeedTest(unittest.TestCase):
    """quarnc has the data already and seeds it to libtorrent leechers."""

    def seeder(self, w, tracker, args):
        w.make([[tracker.url()]])
        run = Quarnc(w.dir, ["--check-integrity=true"] + args + [w.torrent], seed_time=None)
        # quarnc seeds what it finds where it would download to.
        os.rmdir(run.dl)
        os.symlink(w.src, run.dl)
        return run

    def test_seeding_criteria_end_seeding(self):
        none = "--file-allocation=none"
        cases = [("share ratio 1.0 after one leecher has it all", ["--seed-ratio=1.0", none], 1),
                 ("seed time with no leecher", ["--seed-time=0.05", "--seed-ratio=0.0", none], 0),
                 # Checked data must not be "allocated" again (written over) before seeding.
                 ("seed time, default file allocation", ["--seed-time=0.05", "--seed-ratio=0.0"],
                  0)]
        for name, args, leechers in cases:
            with self.subTest(name):
                w = Work(self, SINGLE)
                with HttpTracker() as tracker:
                    run = self.seeder(w, tracker, args).start()
                    self.addCleanup(run.stop)
                    peers = [LtPeer(w.torrent, w.dir_for("leech%d" % i),
                                    connect=[("127.0.0.1", run.port)]) for i in range(leechers)]
                    try:
                        for p in peers:
                            p.start()
                        for p in peers:
                            # quarnc may end as soon as it has sent the last piece.
                            p.wait(lambda s: s["is_seeding"] or not run.alive(grace=10), 60,
                                   "the leecher to finish")
                        rc, out = run.finish()
                    finally:
                        for p in peers:
                            p.close()
                    self.assertEqual(0, rc, out + run.log_text()[-3000:].encode())
                    self.assertIn("Seeding is over.", run.log_text())
                    for i in range(leechers):
                        self.assertEqual(tree_sha256(w.src), tree_sha256(w.dir_for("leech%d" % i)))
                    events = tracker.events(PEER_ID_PREFIX)
                    self.assertEqual("started", events[0])
                    self.assertEqual("stopped", events[-1])
                    self.assertNotIn("completed", events)

    def test_unchoked_leechers_stay_within_choke_rounds(self):
        """Seven leechers on one seeder: a seeder round unchokes three peers and an
        optimistic one, or four with the earlier optimistic one kept: never more than
        five at once, while the optimistic unchoke moves from peer to peer."""
        w = Work(self, {"big.bin": 6 * MIB})
        with HttpTracker() as tracker:
            run = self.seeder(w, tracker, ["--seed-ratio=0.0", "--max-upload-limit=200K",
                                           "--file-allocation=none"])
            run.start()
            self.addCleanup(run.stop)
            wait_until(lambda: run.alive() and tracker.events(PEER_ID_PREFIX), 30,
                       "quarnc's announce")
            peers = [LtPeer(w.torrent, w.dir_for("leech%d" % i), sample_chokes=True,
                            connect=[("127.0.0.1", run.port)]) for i in range(7)]
            try:
                for p in peers:
                    p.start()
                # Until the optimistic unchoke has moved on a few times: five leechers
                # have been unchoked, more than the first rounds give to the fastest.
                timelines = []

                def rotated():
                    run.alive()
                    timelines[:] = [[e for e in p.status()["unchoke_events"]
                                     if bytes.fromhex(e[3]).startswith(PEER_ID_PREFIX)]
                                    for p in peers]
                    return max_unchoked(timelines, slack=0)[1] >= 5
                wait_until(rotated, 90, "five leechers to have been unchoked", poll=0.5)
            finally:
                for p in peers:
                    p.close()
            run.proc.send_signal(signal.SIGINT)
            run.finish()
        self.assertLessEqual(max_unchoked(timelines)[0], 5, timelines)
        self.assertGreaterEqual(len(re.findall("Seeder state, [0-2] choke round started",
                                               run.log_text())), 3)


def max_unchoked(timelines, slack=0.5):
    """The most peers unchoked at one moment, and how many were unchoked at all.

    Each leecher samples its own view every 50 ms, so a hand-over from one peer to
    another can look like an overlap for a moment: every unchoked span is shortened
    by `slack` seconds at both ends before the spans are counted.
    """
    spans = []
    for events in timelines:
        since = {}  # endpoint -> unchoked since
        for t, endpoint, unchoked, _ in events:
            if unchoked:
                since.setdefault(endpoint, t)
            elif endpoint in since:
                spans.append((since.pop(endpoint), t))
        spans += [(t, float("inf")) for t in since.values()]
    edges = sorted([(a + slack, 1) for a, b in spans if b - a > 2 * slack] +
                   [(b - slack, -1) for a, b in spans if b - a > 2 * slack])
    most = now = 0
    for _, step in edges:
        now += step
        most = max(most, now)
    return most, sum(1 for events in timelines if any(e[2] for e in events))


# ------------------------------------------------------------------------- resume

@unittest.skipUnless(swarm_tools(), "libtorrent, mktorrent or quarnc missing")
class ResumeTest(unittest.TestCase):
    def test_kill_interrupt_and_resume(self):
        """Killed halfway, then interrupted, then run to the end: each run resumes
        from the control file; only the interrupted one can tell the tracker it stopped."""
        # Each stop comes a third of the file after the last: at the seeder's
        # rate that is a margin of seconds for the control file to be saved
        # before the stop, also on a loaded machine.
        w = Work(self, {"slow.bin": 6 * MIB})
        size = 6 * MIB
        with HttpTracker() as tracker:
            w.make([[tracker.url()]])
            with LtPeer(w.torrent, w.src, seed=True, upload_limit=400 * 1024) as seeder:
                seeder.wait(lambda s: s["tracker_replies"], 10, "the seeder's announce")
                args = ["--auto-save-interval=1", w.torrent]

                # 1. kill -9 once a third has arrived and been saved.
                first = Quarnc(w.dir, args).start()
                self.addCleanup(first.stop)
                self.wait_saved_progress(first, seeder, size // 3)
                first.proc.kill()
                first.proc.communicate(timeout=30)
                self.assertTrue(control_files(first.dl))
                runs = [tracker.by_peer(PEER_ID_PREFIX)]

                # 2. Resumed, then SIGINT: a graceful stop tells the tracker.
                second = Quarnc(w.dir, args).start()
                self.addCleanup(second.stop)
                self.wait_saved_progress(second, seeder, 2 * size // 3)
                second.proc.send_signal(signal.SIGINT)
                second.finish()
                self.assertTrue(control_files(second.dl))
                runs.append(tracker.by_peer(PEER_ID_PREFIX)[len(runs[0]):])

                # 3. Resumed to the end.
                third = Quarnc(w.dir, ["--seed-time=0.05"] + args)
                result = third.run()
                self.assertEqual(0, result.returncode, result.stdout + result.stderr)
                runs.append(tracker.by_peer(PEER_ID_PREFIX)[len(runs[0]) + len(runs[1]):])

        self.assertEqual(tree_sha256(w.src), tree_sha256(third.dl))
        self.assertEqual([], control_files(third.dl))
        events = [[a["event"] for a in run] for run in runs]
        self.assertEqual(["started"], events[0][:1], events)
        self.assertNotIn("stopped", events[0], events)  # nobody could send it
        self.assertEqual(["started", "stopped"], [events[1][0], events[1][-1]], events)
        self.assertEqual(["started", "completed"], [e for e in events[2] if e][:2], events)
        # Each run started with what the previous ones had saved.
        lefts = [run[0]["left"] for run in runs]
        self.assertEqual(size, lefts[0])
        self.assertLess(lefts[1], size * 3 // 4, runs)
        self.assertLess(lefts[2], lefts[1], runs)

    def wait_saved_progress(self, run, seeder, amount):
        """Waits until the seeder has sent `amount` bytes in all and quarnc has saved
        its control file after that."""
        seeder.wait(lambda s: run.alive() and s["total_payload_upload"] >= amount, 60, "progress")
        mark = control_mtime(run.dl)
        wait_until(lambda: run.alive() and control_mtime(run.dl) > mark, 15,
                   "the control file to be saved")


def control_mtime(root):
    files = control_files(root)
    return os.stat(files[0]).st_mtime_ns if files else 0


# ------------------------------------------------------------------------- corrupt peer

@unittest.skipUnless(swarm_tools() and can_unshare(), "libtorrent, mktorrent, quarnc or "
                     "network namespaces missing")
class CorruptSeederTest(unittest.TestCase):
    """A seeder serving wrong data beside a good one. They sit on their own addresses
    in a namespace: the ban is by address and must not hit the good seeder."""

    def test_bad_piece_bans_the_seeder_and_the_file_is_right(self):
        w = Work(self, SINGLE)
        bad = w.dir_for("bad")
        make_tree(bad, SINGLE, seed=99)
        with NetNs(["10.254.0.1", "10.254.0.2", "10.254.0.3"]) as ns, \
                HttpTracker(host="10.254.0.1", netns=ns) as tracker:
            w.make([[tracker.url()]])
            # The good seeder is slow so that the corrupt one gets asked for pieces.
            with LtPeer(w.torrent, w.src, seed=True, ip="10.254.0.2", upload_limit=300 * 1024,
                        netns=ns) as good, \
                    LtPeer(w.torrent, bad, seed=True, seed_mode=True, ip="10.254.0.3",
                           netns=ns) as corrupt:
                for p in (good, corrupt):
                    p.wait(lambda s: s["tracker_replies"], 10, "the seeders' announces")
                run = Quarnc(w.dir, ["--log-level=debug", w.torrent], netns=ns, port=6881)
                result = run.run(timeout=120)
                log = run.log_text()
                self.assertEqual(0, result.returncode, result.stdout + result.stderr +
                                 log[-3000:].encode())
                self.assertIn("Bad piece hash.", log)
                self.assertIn("Added 10.254.0.3 as bad peer", log)
                self.assertNotIn("Added 10.254.0.2 as bad peer", log)
                self.assertEqual(tree_sha256(w.src), tree_sha256(run.dl))
                self.assertEqual([], control_files(run.dl))
                self.assertGreater(corrupt.status()["total_payload_upload"], 0)


if __name__ == "__main__":
    unittest.main()
