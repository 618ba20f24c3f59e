"""End-to-end HTTP(S) downloads: the real quarnc against real servers on 127.0.0.1.

Each row of CASES says what the crafted server answers and what the client must
do: exit status, the output's bytes, whether the control file stays, and what
the server saw. The server-program cases (nginx, tinyproxy, TLS) follow.
"""

import base64
import fcntl
import gzip
import os
import pty
import random
import signal
import socket
import sqlite3
import struct
import subprocess
import tempfile
import termios
import threading
import time
import unittest

from httpservers import LOOPBACK, CraftedServer, NginxServer, Route, TestCA, TinyProxy, have, \
    sha256
from ports import hold_port

QUARNC = os.environ.get("QUARNC", "quarnc")
CONTROL_SUFFIX = ".quarn"
RNG = random.Random(20261210)
DATA = RNG.randbytes(300 * 1024)
BIG = RNG.randbytes(3 * 1024 * 1024)
TEXT = (b"quarn end-to-end text line\n" * 20000)


def ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def run_quarnc(workdir, args, timeout=90):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run([QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
                           "--console-log-level=warn"] + args,
                          cwd=workdir, env=env, capture_output=True, timeout=timeout)


def ranges_seen(seen, path):
    return [r["headers"].get("range") for r in seen if r["path"] == path]


class Case:
    def __init__(self, name, routes, args, rc, out=None, name_out="f", control=False,
                 check=None, timeout=90):
        self.name = name
        self.routes = routes  # callable returning {path: Route}
        self.args = args  # "{path}" items become URLs of the crafted server
        self.rc = rc
        self.out = out  # the expected bytes of the output file, or None for "no check"
        self.name_out = name_out
        self.control = control
        self.check = check  # callable(test, server, workdir)
        self.timeout = timeout


def saw_ranges(test, srv, _):
    test.assertGreater(len([r for r in ranges_seen(srv.seen, "/f") if r]), 1, srv.seen)


def sent_cookie(test, srv, workdir):
    later = [r for r in srv.seen if r["path"] == "/f"]
    test.assertTrue(later and "k=v" in later[0]["headers"].get("cookie", ""), srv.seen)
    with open(os.path.join(workdir, "cookies.txt")) as f:
        test.assertIn("\tk\tv", f.read())


def sent_gzip(test, srv, _):
    test.assertIn("gzip", srv.seen[0]["headers"].get("accept-encoding", ""))


def retried_once(test, srv, _):
    test.assertEqual(2, len([r for r in srv.seen if r["path"] == "/f"]), srv.seen)


def redirected(test, srv, _):
    test.assertEqual(["/r1", "/r2", "/r3", "/f"], [r["path"] for r in srv.seen][:4])


def stayed_inside(test, _, workdir):
    parent = os.path.dirname(workdir)
    for place in (parent, os.path.dirname(parent)):
        test.assertFalse(os.path.exists(os.path.join(place, "escape.bin")))
    test.assertTrue(os.listdir(workdir))


def left_no_file(test, _, workdir):
    test.assertFalse(os.path.exists(os.path.join(workdir, "f")))


def logged(text):
    def check(test, _, workdir):
        with open(os.path.join(workdir, "log.txt"), errors="replace") as f:
            test.assertIn(text, f.read())
    return check


def modified_at(seconds):
    def check(test, _, workdir):
        test.assertEqual(seconds, int(os.stat(os.path.join(workdir, "f")).st_mtime))
    return check


def all_of(*checks):
    def check(test, srv, workdir):
        for c in checks:
            c(test, srv, workdir)
    return check


def stopped_after_tries(n):
    def check(test, srv, _):
        test.assertEqual(n, len(srv.seen), srv.seen)
    return check


CASES = [
    Case("plain", lambda: {"/f": Route(DATA)}, ["{/f}"], 0, DATA),
    Case("no range support, several connections",
         lambda: {"/f": Route(DATA, ranges=False)}, ["-x4", "-s4", "{/f}"], 0, DATA),
    # The limit keeps the first connection from fetching the whole file before
    # the others have connected.
    Case("several connections", lambda: {"/f": Route(BIG)},
         ["-x4", "-s4", "-k1M", "--max-download-limit=1M", "{/f}"], 0, BIG, check=saw_ranges),
    Case("chunked with extensions and trailer", lambda: {"/f": Route(DATA, chunked=True,
                                                                     ranges=False)},
         ["{/f}"], 0, DATA),
    Case("gzip inflated when accepted", lambda: {"/f": Route(TEXT, encoding="gzip")},
         ["--http-accept-gzip=true", "{/f}"], 0, TEXT, check=sent_gzip),
    Case("deflate inflated when accepted", lambda: {"/f": Route(TEXT, encoding="deflate")},
         ["--http-accept-gzip=true", "{/f}"], 0, TEXT),
    Case("gzip kept as sent when not asked for", lambda: {"/f": Route(TEXT, encoding="gzip")},
         ["{/f}"], 0, gzip.compress(TEXT, mtime=0)),
    Case("content length zero", lambda: {"/f": Route(b"")}, ["{/f}"], 0, b""),
    Case("redirect chain with relative location",
         lambda: {"/r1": Route(status=302, location="/r2"),
                  "/r2": Route(status=301, location="r3"),
                  "/r3": Route(status=307, location="/f"), "/f": Route(DATA)},
         ["{/r1}"], 0, DATA, name_out="f", check=redirected),
    Case("redirect loop", lambda: {"/loop": Route(status=302, location="/loop")},
         ["{/loop}"], 23),
    Case("not found", lambda: {}, ["--max-file-not-found=0", "{/missing}"], 3),
    Case("max-file-not-found", lambda: {},
         ["--max-file-not-found=2", "--max-tries=5", "--retry-wait=0", "{/missing}"], 4),
    Case("503 without retry wait", lambda: {"/f": Route(DATA, fail_first=100)},
         ["--retry-wait=0", "{/f}"], 29, check=stopped_after_tries(1)),
    Case("503 then success with retries", lambda: {"/f": Route(DATA, fail_first=1)},
         ["--retry-wait=1", "{/f}"], 0, DATA, check=retried_once),
    Case("authorization failure", lambda: {"/f": Route(DATA, auth=("u", "p"))},
         ["{/f}"], 24),
    Case("basic auth from options", lambda: {"/f": Route(DATA, auth=("u", "p"))},
         ["--http-user=u", "--http-passwd=p", "{/f}"], 0, DATA),
    Case("basic auth after challenge", lambda: {"/f": Route(DATA, auth=("u", "p"))},
         ["--http-user=u", "--http-passwd=p", "--http-auth-challenge=true", "{/f}"], 0, DATA),
    Case("stalled server", lambda: {"/f": Route(BIG, stall_after=50000)},
         ["--timeout=2", "--max-tries=1", "{/f}"], 2, control=True, timeout=60),
    Case("too slow", lambda: {"/f": Route(BIG, stall_after=50000)},
         ["--lowest-speed-limit=1M", "--timeout=30", "{/f}"], 5,
         control=True, timeout=60),
    Case("body cut short is retried", lambda: {"/f": Route(DATA, close_after=100000)},
         ["--max-tries=3", "{/f}"], 0, DATA),
    Case("cookies sent back and saved",
         lambda: {"/c": Route(status=302, location="/f", set_cookie="k=v; Path=/"),
                  "/f": Route(DATA)},
         ["--save-cookies=cookies.txt", "{/c}"], 0, DATA, check=sent_cookie),
    Case("huge head across several reads", lambda: {"/f": Route(DATA, huge_head=40000)},
         ["{/f}"], 0, DATA),
    Case("absurd announced length is refused before storage",
         lambda: {"/f": Route(announce_length=2 ** 63 - 1)},
         ["--max-tries=1", "{/f}"], 1, check=left_no_file),
    Case("unsupported transfer coding gives up the URI",
         lambda: {"/f": Route(DATA, headers={"Transfer-Encoding": "gzip"})},
         ["--log=log.txt", "{/f}"], 1, check=all_of(
             stopped_after_tries(1), logged("Transfer encoding gzip is not supported."))),
    Case("unknown content coding is stored as received",
         lambda: {"/f": Route(DATA, chunked=True, headers={"Content-Encoding": "br"})},
         ["--http-accept-gzip", "--log=log.txt", "--log-level=info", "{/f}"], 0, DATA,
         check=logged("Content-Encoding br is specified, but the current implementation "
                      "doesn't support it.")),
    Case("remote time given to the file", lambda: {"/f": Route(DATA, last_modified=1600000000)},
         ["--remote-time", "{/f}"], 0, DATA, check=modified_at(1600000000)),
    Case("dry run fetches no body", lambda: {"/f": Route(DATA)}, ["--dry-run", "{/f}"], 0,
         check=all_of(left_no_file, stopped_after_tries(1))),
    Case("server file name stays inside dir",
         lambda: {"/f": Route(DATA, headers={
             "Content-Disposition": 'attachment; filename="../../escape.bin"'})},
         ["{/f}"], 0, name_out=None, check=stayed_inside),
]


def expand(args, srv):
    out = []
    for a in args:
        if a.startswith("{") and a.endswith("}"):
            out.append(srv.url(a[1:-1]))
        else:
            out.append(a)
    return out


class SandboxCase(unittest.TestCase):
    """A fresh directory per test in self.dir, removed afterwards."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()


class CraftedServerCases(SandboxCase):

    def test_cases(self):
        for case in CASES:
            with self.subTest(case.name):
                self.run_case(case)

    def test_existing_file_is_never_truncated(self):
        workdir = tempfile.mkdtemp(dir=self.dir)
        target = os.path.join(workdir, "f")
        with open(target, "wb") as f:
            f.write(b"precious")
        with CraftedServer({"/f": Route(DATA)}) as srv:
            refused = run_quarnc(workdir, ["--auto-file-renaming=false", srv.url("/f")])
            self.assertEqual(13, refused.returncode, refused.stderr)
            renamed = run_quarnc(workdir, [srv.url("/f")])
            self.assertEqual(0, renamed.returncode, renamed.stderr)
        with open(target, "rb") as f:
            self.assertEqual(b"precious", f.read())
        with open(target + ".1", "rb") as f:
            self.assertEqual(sha256(DATA), sha256(f.read()))

    def test_server_stat_written_and_read_back(self):
        def records(path):
            with open(path) as f:
                lines = f.read().splitlines()
            return [dict(field.split("=", 1) for field in line.split(", ")) for line in lines]

        workdir = tempfile.mkdtemp(dir=self.dir)
        first = os.path.join(workdir, "first.stat")
        second = os.path.join(workdir, "second.stat")
        # Paced answers keep both runs' speeds alike: a much slower second run
        # would rightly reset the counter.
        paced = 1 << 20
        with CraftedServer({"/a": Route(DATA, rate=paced), "/b": Route(DATA, rate=paced)}) as srv:
            result = run_quarnc(workdir, ["--server-stat-of=" + first, srv.url("/a")])
            self.assertEqual(0, result.returncode, result.stderr)
            [record] = records(first)
            self.assertEqual(("127.0.0.1", "http", "OK", "1"),
                             (record["host"], record["protocol"], record["status"],
                              record["counter"]))
            self.assertGreater(int(record["dl_speed"]), 0)
            self.assertGreater(int(record["sc_avg_speed"]), 0)
            self.assertEqual("0", record["mc_avg_speed"])
            # The loaded record goes on counting: a second download makes it 2.
            result = run_quarnc(workdir, ["--server-stat-if=" + first,
                                          "--server-stat-of=" + second, srv.url("/b")])
            self.assertEqual(0, result.returncode, result.stderr)
            [record] = records(second)
            self.assertEqual("2", record["counter"])
        with hold_port() as nobody:
            dead = "http://%s:%d/x" % (LOOPBACK, nobody.port)
            result = run_quarnc(workdir, ["--max-tries=1", "--server-stat-if=" + second,
                                          "--server-stat-timeout=0", "--server-stat-of=" + first,
                                          dead])
        self.assertNotEqual(0, result.returncode)
        # A zero timeout drops every loaded record; the failed server is marked.
        [record] = records(first)
        self.assertEqual("ERROR", record["status"])
        self.assertEqual("0", record["counter"])

    def test_cookies_loaded_from_files(self):
        """The jar is filled from a Netscape text file or a browser's SQLite database."""
        later = int(time.time()) + 3600
        chromium_epoch = 11644473600

        def text(path):
            with open(path, "w") as f:
                f.write("# comment line\n\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tfrom-text\n")

        def mozilla(path):
            with sqlite3.connect(path) as db:
                db.execute("CREATE TABLE moz_cookies (host TEXT, path TEXT, isSecure INTEGER,"
                           " expiry INTEGER, name TEXT, value TEXT, lastAccessed INTEGER)")
                db.execute("INSERT INTO moz_cookies VALUES (?, ?, ?, ?, ?, ?, ?)",
                           ("127.0.0.1", "/", 0, later, "sid", "from-mozilla", 1))
            db.close()

        def chromium(path):
            with sqlite3.connect(path) as db:
                db.execute("CREATE TABLE cookies (host_key TEXT, path TEXT, secure INTEGER,"
                           " expires_utc INTEGER, name TEXT, value TEXT, last_access_utc INTEGER)")
                db.execute("INSERT INTO cookies VALUES (?, ?, ?, ?, ?, ?, ?)",
                           ("127.0.0.1", "/", 0, (later + chromium_epoch) * 1000000, "sid",
                            "from-chromium", (int(time.time()) + chromium_epoch) * 1000000))
            db.close()

        def garbage(path):
            with open(path, "wb") as f:
                f.write(b"SQLite format 3\0" + b"\xff" * 200)

        rows = [("text", text, "sid=from-text;"), ("mozilla", mozilla, "sid=from-mozilla;"),
                ("chromium", chromium, "sid=from-chromium;"), ("unreadable", garbage, None)]
        for name, write, cookie in rows:
            with self.subTest(name):
                workdir = tempfile.mkdtemp(dir=self.dir)
                jar = os.path.join(workdir, "jar")
                write(jar)
                with CraftedServer({"/f": Route(DATA)}) as srv:
                    result = run_quarnc(workdir, ["--load-cookies=" + jar, srv.url("/f")])
                    self.assertEqual(0, result.returncode, result.stderr)
                    sent = srv.seen[0]["headers"].get("cookie")
                self.assertEqual(cookie, sent)
                if cookie is None:
                    self.assertIn(b"Failed to load cookies from", result.stdout + result.stderr)

    def test_credentials_stay_with_the_given_host(self):
        # The first server redirects to the second, which is another origin:
        # another port on 127.0.0.1, or the host name localhost. The user's
        # credentials are for the first; only a netrc entry of the second
        # host itself may go there.
        def netrc_for(host):
            def write(workdir):
                path = os.path.join(workdir, "netrc")
                with open(path, "w") as f:
                    f.write("machine %s login nu password np\n" % host)
                os.chmod(path, 0o600)
                return ["--netrc-path=" + path]
            return write

        def options(workdir):
            return ["--http-user=u", "--http-passwd=secret", "--no-netrc"]

        sent_none = None
        nu_np = "Basic " + base64.b64encode(b"nu:np").decode()
        rows = [("options, other port", options, LOOPBACK, sent_none),
                ("options, other host", options, "localhost", sent_none),
                ("netrc of the given host, other port", netrc_for(LOOPBACK), LOOPBACK, sent_none),
                ("netrc of the given host, other host", netrc_for(LOOPBACK), "localhost",
                 sent_none),
                ("netrc of the new host", netrc_for("localhost"), "localhost", nu_np)]
        for name, creds, host, expected in rows:
            with self.subTest(name):
                workdir = tempfile.mkdtemp(dir=self.dir)
                with CraftedServer({"/f": Route(DATA)}) as second:
                    target = "http://%s:%d/f" % (host, second.port)
                    with CraftedServer({"/r": Route(status=302, location=target)}) as first:
                        result = run_quarnc(workdir, creds(workdir) + [first.url("/r")])
                        self.assertEqual(0, result.returncode, result.stderr)
                        given = first.seen[0]["headers"].get("authorization")
                        self.assertEqual(expected is None, given is not None)
                    self.assertEqual([expected], [r["headers"].get("authorization")
                                                  for r in second.seen], second.seen)

    def test_credentials_follow_a_redirect_on_the_same_origin(self):
        routes = {"/r": Route(status=302, location="/f"), "/f": Route(DATA, auth=("u", "p"))}
        with CraftedServer(routes) as srv:
            result = run_quarnc(self.dir, ["--http-user=u", "--http-passwd=p", srv.url("/r")])
            self.assertEqual(0, result.returncode, result.stderr)

    def test_ftp_through_get_proxy_asks_open_ranges(self):
        # An FTP server behind the proxy cannot stop at a byte, so the ranges
        # asked of the proxy run to the end; an http URI's ranges are closed.
        rows = [("ftp", "--ftp-proxy", "ftp://anonymous@127.0.0.1:1/big", r"bytes=\d+-$"),
                ("http", "--http-proxy", "http://127.0.0.1:1/big", r"bytes=\d+-\d+$")]
        for scheme, option, target, pattern in rows:
            with self.subTest(scheme):
                workdir = tempfile.mkdtemp(dir=self.dir)
                with CraftedServer({target: Route(BIG)}) as proxy:
                    result = run_quarnc(workdir, [option + "=" + proxy.url(""), "-s3", "-x3",
                                                  "--min-split-size=1M",
                                                  scheme + "://127.0.0.1:1/big"])
                    self.assertEqual(0, result.returncode, result.stderr)
                    ranges = [r for r in ranges_seen(proxy.seen, target) if r]
                self.assertTrue(ranges, proxy.seen)
                for r in ranges:
                    self.assertRegex(r, pattern)
                with open(os.path.join(workdir, "big"), "rb") as f:
                    self.assertEqual(sha256(BIG), sha256(f.read()))

    def run_case(self, case):
        workdir = tempfile.mkdtemp(dir=self.dir)
        with CraftedServer(case.routes()) as srv:
            result = run_quarnc(workdir, expand(case.args, srv), timeout=case.timeout)
            self.assertEqual(case.rc, result.returncode, result.stderr.decode(errors="replace"))
            if case.name_out:
                path = os.path.join(workdir, case.name_out)
                if case.out is not None:
                    with open(path, "rb") as f:
                        self.assertEqual(sha256(case.out), sha256(f.read()))
                self.assertEqual(case.control, os.path.exists(path + CONTROL_SUFFIX))
            if case.check:
                case.check(self, srv, workdir)


class InterruptionCases(SandboxCase):

    def start_stalled(self, srv, extra=()):
        proc = subprocess.Popen([QUARNC, "--no-conf", "--dir=" + self.dir, "--summary-interval=0",
                                 "--auto-save-interval=1", *extra, srv.url("/f")],
                                cwd=self.dir, env=dict(os.environ, HOME=self.dir),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = os.path.join(self.dir, "f")
        end = time.monotonic() + 30
        while time.monotonic() < end and not (os.path.exists(out + CONTROL_SUFFIX)
                                               and os.path.getsize(out) > 0):
            time.sleep(0.1)
        time.sleep(1.5)
        return proc, out

    def test_sigint_exits_7_and_keeps_control_file(self):
        with CraftedServer({"/f": Route(BIG, stall_after=1024 * 1024)}) as srv:
            proc, out = self.start_stalled(srv)
            proc.send_signal(signal.SIGINT)
            self.assertEqual(7, proc.wait(30))
            self.assertTrue(os.path.exists(out + CONTROL_SUFFIX))

    def test_stopped_download_ends_in_progress(self):
        # Connections beyond the first find no URI of their own; that is no
        # error of the download, which a stop leaves resumable.
        def hook(name):
            path = os.path.join(self.dir, name + ".sh")
            with open(path, "w") as f:
                f.write("#!/bin/sh\ntouch '%s'\n" % os.path.join(self.dir, name + ".ran"))
            os.chmod(path, 0o755)
            return path

        def by_signal(sig):
            return lambda proc, watched: proc.send_signal(sig)

        def by_watched_process(proc, watched):
            watched.kill()
            watched.wait(10)

        stops = [("SIGINT", by_signal(signal.SIGINT)), ("SIGTERM", by_signal(signal.SIGTERM)),
                 ("stop-with-process", by_watched_process)]
        splits = [("one connection", ["-s1"]), ("default split", []),
                  ("split over small pieces", ["-k1M"])]
        for stop_name, stop in stops:
            for split_name, split in splits:
                with self.subTest(stop=stop_name, split=split_name):
                    for leftover in os.listdir(self.dir):
                        os.remove(os.path.join(self.dir, leftover))
                    watched = subprocess.Popen(["sleep", "600"])
                    try:
                        extra = [*split, "--on-download-stop=" + hook("stop"),
                                 "--on-download-error=" + hook("error"),
                                 "--stop-with-process=%d" % watched.pid]
                        with CraftedServer({"/f": Route(BIG, stall_after=1024 * 1024)}) as srv:
                            proc, out = self.start_stalled(srv, extra)
                            stop(proc, watched)
                            self.assertEqual(7, proc.wait(30))
                    finally:
                        watched.kill()
                        watched.wait(10)
                    self.assertTrue(os.path.exists(out + CONTROL_SUFFIX))
                    # The hook runs on its own; wait for it rather than race it.
                    ran = os.path.join(self.dir, "stop.ran")
                    end = time.monotonic() + 20
                    while time.monotonic() < end and not os.path.exists(ran):
                        time.sleep(0.1)
                    self.assertTrue(os.path.exists(ran))
                    self.assertFalse(os.path.exists(os.path.join(self.dir, "error.ran")))

    def test_kill_and_rerun_fetches_only_the_rest(self):
        stalled = Route(BIG, stall_after=1024 * 1024)
        with CraftedServer({"/f": stalled}) as srv:
            proc, out = self.start_stalled(srv)
            proc.kill()
            proc.wait(10)
            self.assertTrue(os.path.exists(out + CONTROL_SUFFIX))
            stalled.stall_after = None
            srv.seen.clear()
            result = run_quarnc(self.dir, [srv.url("/f")])
            self.assertEqual(0, result.returncode, result.stderr)
            with open(out, "rb") as f:
                self.assertEqual(sha256(BIG), sha256(f.read()))
            self.assertFalse(os.path.exists(out + CONTROL_SUFFIX))
            # The first request learns the size; its body is not read when the
            # control file says the start is already there. Every ranged
            # request then starts past what the first run saved.
            ranged = [r for r in ranges_seen(srv.seen, "/f") if r]
            self.assertTrue(ranged, srv.seen)
            self.assertFalse([r for r in ranged if r.startswith("bytes=0-")], srv.seen)


class HangUpServer:
    """Accepts connections, counts them and closes each one at once."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind((LOOPBACK, 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.accepted = 0
        self.thread = threading.Thread(target=self._serve, daemon=True)

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.accepted += 1
            conn.close()

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.sock.close()


class RetryPacingCases(SandboxCase):
    """Endless retries against a dead or broken server stay paced.

    Each run stops itself after 3 seconds (--stop); the attempts made in that
    window are counted, from the client's log for a refused port and by the
    server otherwise. Unpaced, they run into the thousands."""

    def attempts(self, kind, args):
        log = os.path.join(self.dir, "log.txt")
        if os.path.exists(log):
            os.remove(log)
        common = ["--max-tries=0", "--stop=3", "--log=" + log, "--log-level=info"]
        if kind == "refused":
            with hold_port() as nobody:
                result = run_quarnc(self.dir, common + args + ["http://%s:%d/f" % (LOOPBACK,
                                                                                   nobody.port)])
            with open(log, errors="replace") as f:
                count = f.read().count("Failed to establish connection")
        elif kind == "hang-up":
            with HangUpServer() as srv:
                result = run_quarnc(self.dir, common + args + ["http://%s:%d/f" % (LOOPBACK,
                                                                                   srv.port)])
                count = srv.accepted
        else:
            with CraftedServer({"/f": Route(DATA, fail_first=10 ** 6)}) as srv:
                result = run_quarnc(self.dir, common + args + [srv.url("/f")])
                count = len(srv.seen)
        self.assertNotEqual(0, result.returncode)
        return count

    def test_retries_are_spaced(self):
        rows = [("refused", ["--retry-wait=2"], 3), ("hang-up", ["--retry-wait=2"], 3),
                ("503", ["--retry-wait=2"], 3), ("refused", ["--retry-wait=0"], 5),
                ("hang-up", ["--retry-wait=0"], 5)]
        for kind, args, most in rows:
            with self.subTest(kind=kind, args=args):
                count = self.attempts(kind, args)
                self.assertGreaterEqual(count, 1)
                self.assertLessEqual(count, most)


class ConsoleCases(SandboxCase):

    def test_terminal_without_a_width_gets_readouts(self):
        # A terminal that reports 0 columns is taken as 80 wide.
        with CraftedServer({"/f": Route(BIG, stall_after=1000)}) as srv:
            master, slave = pty.openpty()
            fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 0, 0, 0))
            proc = subprocess.Popen([QUARNC, "--no-conf", "--dir=" + self.dir, "--stop=3",
                                     srv.url("/f")], stdin=slave, stdout=slave, stderr=slave,
                                    env=dict(os.environ, HOME=self.dir))
            os.close(slave)
            out = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                out += chunk
            os.close(master)
            self.assertEqual(7, proc.wait(30))
        self.assertIn(b"CN:1", out)


class MirrorAndListCases(SandboxCase):

    def test_two_mirrors_share_one_file(self):
        with CraftedServer({"/f": Route(BIG)}) as a, CraftedServer({"/f": Route(BIG)}) as b:
            # Both mirrors are on 127.0.0.1: the per-server limit must allow two.
            result = run_quarnc(self.dir, ["-x2", "-s2", "-k1M", a.url("/f"), b.url("/f")])
            self.assertEqual(0, result.returncode, result.stderr)
            with open(os.path.join(self.dir, "f"), "rb") as f:
                self.assertEqual(sha256(BIG), sha256(f.read()))
            self.assertTrue(a.seen and b.seen)

    def test_stalled_connection_moves_to_a_faster_mirror(self):
        stat = os.path.join(self.dir, "known.stat")
        with open(stat, "w") as f:
            f.write("host=localhost, protocol=http, dl_speed=10000000, sc_avg_speed=10000000, "
                    "mc_avg_speed=0, last_updated=%d, counter=1, status=OK\n" % time.time())
        log = os.path.join(self.dir, "run.log")
        with CraftedServer({"/f": Route(BIG, stall_after=50000)}) as slow, \
                CraftedServer({"/f": Route(BIG)}) as fast:
            # The slow mirror comes first; the statistics say the other one is
            # fast, so after ten seconds the stalled connection moves to it
            # long before the slow one would time out.
            fast_url = "http://localhost:%d/f" % fast.port
            result = run_quarnc(self.dir, ["--uri-selector=inorder", "-s1", "--timeout=600",
                                           "--server-stat-if=" + stat, "--log=" + log,
                                           "--log-level=info", slow.url("/f"), fast_url],
                                timeout=300)
            self.assertEqual(0, result.returncode, result.stderr)
            with open(os.path.join(self.dir, "f"), "rb") as f:
                self.assertEqual(sha256(BIG), sha256(f.read()))
            with open(log) as f:
                self.assertIn("Use faster Request hostname=localhost", f.read())
            self.assertTrue([r for r in ranges_seen(fast.seen, "/f") if r and r != "bytes=0-"],
                            fast.seen)

    def test_input_list_with_concurrency(self):
        routes = {"/a": Route(DATA), "/b": Route(BIG), "/c": Route(TEXT)}
        with CraftedServer(routes) as srv:
            listing = os.path.join(self.dir, "list.txt")
            with open(listing, "w") as f:
                f.write("\n".join(srv.url(p) for p in ("/a", "/b", "/c")) + "\n")
            result = run_quarnc(self.dir, ["-i", listing, "-j2"])
            self.assertEqual(0, result.returncode, result.stderr)
            for name, data in (("a", DATA), ("b", BIG), ("c", TEXT)):
                with open(os.path.join(self.dir, name), "rb") as f:
                    self.assertEqual(sha256(data), sha256(f.read()), name)


@unittest.skipUnless(have("nginx"), "nginx is not installed")
class NginxCases(SandboxCase):
    def setUp(self):
        super().setUp()
        self.root = os.path.join(self.dir, "www")
        os.makedirs(self.root)
        with open(os.path.join(self.root, "big.bin"), "wb") as f:
            f.write(BIG)
        with open(os.path.join(self.root, "text.txt"), "wb") as f:
            f.write(TEXT)
        self.out = os.path.join(self.dir, "out")
        os.makedirs(self.out)

    def fetch(self, url, *args):
        return run_quarnc(self.out, [*args, url])

    def assert_file(self, name, data):
        with open(os.path.join(self.out, name), "rb") as f:
            self.assertEqual(sha256(data), sha256(f.read()))
        self.assertFalse(os.path.exists(os.path.join(self.out, name + CONTROL_SUFFIX)))

    def test_one_and_eight_connections(self):
        with NginxServer(self.dir, self.root) as ng:
            for args in ([], ["-x8", "-s8", "-k1M"]):
                for leftover in ("big.bin",):
                    p = os.path.join(self.out, leftover)
                    if os.path.exists(p):
                        os.remove(p)
                result = self.fetch(ng.url("/big.bin"), *args)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assert_file("big.bin", BIG)
            self.assertTrue(any("206" in line for line in ng.access_log()))

    def test_gzip_and_redirect(self):
        extra = ("gzip on; gzip_types text/plain; gzip_min_length 10;"
                 "location = /old { return 302 /text.txt; }")
        with NginxServer(self.dir, self.root, extra=extra) as ng:
            result = self.fetch(ng.url("/old"), "--http-accept-gzip=true")
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("text.txt", TEXT)

    def test_basic_auth_from_netrc(self):
        htpasswd = os.path.join(self.dir, "htpasswd")
        hashed = subprocess.run(["openssl", "passwd", "-apr1", "secret"], check=True,
                                capture_output=True).stdout.decode().strip()
        with open(htpasswd, "w") as f:
            f.write("user:%s\n" % hashed)
        netrc = os.path.join(self.dir, "netrc")
        with open(netrc, "w") as f:
            f.write("machine %s login user password secret\n" % LOOPBACK)
        os.chmod(netrc, 0o600)
        extra = 'auth_basic "e2e"; auth_basic_user_file %s;' % htpasswd
        with NginxServer(self.dir, self.root, extra=extra) as ng:
            result = self.fetch(ng.url("/big.bin"), "--netrc-path=" + netrc)
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("big.bin", BIG)

    def test_https_with_throwaway_ca(self):
        ca = TestCA(self.dir)
        cert, key = ca.issue("server")
        with NginxServer(self.dir, self.root, ssl=(cert, key)) as ng:
            url = ng.url("/big.bin", scheme="https")
            refused = self.fetch(url)
            self.assertNotEqual(0, refused.returncode)
            result = self.fetch(url, "--ca-certificate=" + ca.ca_cert, "--allow-overwrite=true")
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("big.bin", BIG)
            os.remove(os.path.join(self.out, "big.bin"))
            result = self.fetch(url, "--check-certificate=false")
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("big.bin", BIG)

    def test_unreadable_ca_file_is_reported_when_tls_is_first_used(self):
        # The trusted authorities are loaded for the first TLS connection only: a
        # plain HTTP run never reads them, an HTTPS run still names the bad file.
        missing = os.path.join(self.dir, "no-such-ca.pem")
        complaint = b"Failed to load trusted CA certificates from " + missing.encode()
        ca = TestCA(self.dir)
        cert, key = ca.issue("server")
        with NginxServer(self.dir, self.root) as plain:
            result = self.fetch(plain.url("/big.bin"), "--ca-certificate=" + missing)
            self.assertEqual(0, result.returncode, result.stderr)
            self.assertNotIn(complaint, result.stdout + result.stderr)
            self.assert_file("big.bin", BIG)
        os.remove(os.path.join(self.out, "big.bin"))
        with NginxServer(self.dir, self.root, ssl=(cert, key)) as tls:
            result = self.fetch(tls.url("/big.bin", scheme="https"),
                                "--ca-certificate=" + missing, "--max-tries=1")
            self.assertNotEqual(0, result.returncode)
            self.assertIn(complaint, result.stdout + result.stderr)

    def test_https_wrong_host_is_refused(self):
        ca = TestCA(self.dir)
        cert, key = ca.issue("other", san="DNS:other.invalid")
        with NginxServer(self.dir, self.root, ssl=(cert, key)) as ng:
            result = self.fetch(ng.url("/big.bin", scheme="https"),
                                "--ca-certificate=" + ca.ca_cert)
            self.assertNotEqual(0, result.returncode)

    def test_https_client_certificate(self):
        ca = TestCA(self.dir)
        cert, key = ca.issue("server")
        client_cert, client_key = ca.issue("client", san="DNS:client.invalid", client=True)
        extra = "ssl_verify_client on; ssl_client_certificate %s;" % ca.ca_cert
        with NginxServer(self.dir, self.root, ssl=(cert, key), extra=extra) as ng:
            url = ng.url("/big.bin", scheme="https")
            trust = "--ca-certificate=" + ca.ca_cert
            refused = self.fetch(url, trust, "--max-tries=1")
            self.assertNotEqual(0, refused.returncode)
            self.assertFalse(os.path.exists(os.path.join(self.out, "big.bin")))
            result = self.fetch(url, trust, "--certificate=" + client_cert,
                                "--private-key=" + client_key)
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("big.bin", BIG)

    @unittest.skipUnless(ipv6_loopback(), "::1 is not available")
    def test_ipv6_loopback(self):
        with NginxServer(self.dir, self.root, ipv6=True) as ng:
            url = "http://[::1]:%d/big.bin" % ng.port
            for args in ([], ["-x4", "-s4", "-k1M"]):
                p = os.path.join(self.out, "big.bin")
                if os.path.exists(p):
                    os.remove(p)
                result = self.fetch(url, *args)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assert_file("big.bin", BIG)

    @unittest.skipUnless(have("tinyproxy"), "tinyproxy is not installed")
    def test_proxy_authentication(self):
        with NginxServer(self.dir, self.root) as ng, \
                TinyProxy(self.dir, basic_auth=("pu", "pw")) as proxy:
            url = ng.url("/big.bin")
            proxy_arg = "--http-proxy=" + proxy.url()
            creds = ["--http-proxy-user=pu", "--http-proxy-passwd=pw"]
            # Through a GET proxy the 407 is the answer to the request itself,
            # an error status that gives up the URI; refused CONNECT is retried
            # until max-tries and fails as "Proxy connection failed.".
            for method, rc in (("get", 22), ("tunnel", 1)):
                result = self.fetch(url, proxy_arg, "--proxy-method=" + method, "--max-tries=2",
                                    "--retry-wait=0")
                self.assertEqual(rc, result.returncode, (method, result.stderr))
                self.assertFalse(os.path.exists(os.path.join(self.out, "big.bin")))
            for method in ("get", "tunnel"):
                p = os.path.join(self.out, "big.bin")
                if os.path.exists(p):
                    os.remove(p)
                result = self.fetch(url, proxy_arg, "--proxy-method=" + method, *creds)
                self.assertEqual(0, result.returncode, (method, result.stderr))
                self.assert_file("big.bin", BIG)
            self.assertIn("): CONNECT %s:%d " % (LOOPBACK, ng.port), proxy.log_text())

    @unittest.skipUnless(have("tinyproxy"), "tinyproxy is not installed")
    def test_get_proxy_tunnel_and_no_proxy(self):
        with NginxServer(self.dir, self.root) as ng, TinyProxy(self.dir) as proxy:
            for args in (["--http-proxy=" + proxy.url()],
                         ["--http-proxy=" + proxy.url(), "--proxy-method=tunnel"]):
                p = os.path.join(self.out, "big.bin")
                if os.path.exists(p):
                    os.remove(p)
                result = self.fetch(ng.url("/big.bin"), *args)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assert_file("big.bin", BIG)
            self.assertIn("): CONNECT %s:%d " % (LOOPBACK, ng.port), proxy.log_text())
            os.remove(os.path.join(self.out, "big.bin"))
            with hold_port() as nobody:
                dead = "http://%s:%d" % (LOOPBACK, nobody.port)
                result = self.fetch(ng.url("/big.bin"), "--all-proxy=" + dead,
                                    "--no-proxy=" + LOOPBACK)
            self.assertEqual(0, result.returncode, result.stderr)
            self.assert_file("big.bin", BIG)


if __name__ == "__main__":
    unittest.main()
