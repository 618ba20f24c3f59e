"""End-to-end whole-file integrity over HTTP: Digest and Link fields, the
checksum option, and conditional GET, with the real quarnc against the crafted
server on 127.0.0.1; and the checksum option over FTP, which ends the same way.

Each row of CASES says what the server answers and what must come of it: exit
status, the output's bytes, whether the control file stays, and what the log or
the server saw.
"""

import base64
import hashlib
import os
import random
import subprocess
import tempfile
import time
import unittest

from ftpservers import ScriptedFtpServer
from httpservers import CraftedServer, Route, sha256

QUARNC = os.environ.get("QUARNC", "quarnc")
CONTROL_SUFFIX = ".quarn"
RNG = random.Random(20261211)
DATA = RNG.randbytes(300 * 1024)
BIG = RNG.randbytes(3 * 1024 * 1024)
OTHER = b"not the file the server has"


def run_quarnc(workdir, args, timeout=90):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run([QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
                           "--console-log-level=warn", "--log=log.txt", "--log-level=debug"]
                          + args, cwd=workdir, env=env, capture_output=True, timeout=timeout)


def digest(name, data):
    """The value of a Digest field for data, e.g. digest("SHA-256", b"...")."""
    algo = {"SHA-256": "sha256", "SHA-1": "sha1", "SHA": "sha1", "MD5": "md5",
            "SHA-512": "sha512"}[name.upper()]
    return "%s=%s" % (name, base64.b64encode(hashlib.new(algo, data).digest()).decode())


def checksum_option(data):
    return "--checksum=sha-256=" + sha256(data)


def log_text(workdir):
    with open(os.path.join(workdir, "log.txt"), errors="replace") as f:
        return f.read()


def log_has(*texts):
    def check(test, srv, workdir):
        log = log_text(workdir)
        for text in texts:
            test.assertIn(text, log)
    return check


def log_lacks(*texts):
    def check(test, srv, workdir):
        log = log_text(workdir)
        for text in texts:
            test.assertNotIn(text, log)
    return check


def all_of(*checks):
    def check(test, srv, workdir):
        for c in checks:
            c(test, srv, workdir)
    return check


def saw_later_range(test, srv, _):
    later = [r for r in srv.seen
             if r["headers"].get("range", "bytes=0-").split("=")[1].split("-")[0] != "0"]
    test.assertTrue(later, srv.seen)


class Case:
    def __init__(self, name, routes, args, rc, out=None, control=False, check=None):
        self.name = name
        self.routes = routes  # callable returning {path: Route}
        self.args = args  # "{path}" items become URLs of the crafted server
        self.rc = rc
        self.out = out  # expected bytes of the output "f", or None for "no check"
        self.control = control
        self.check = check  # callable(test, server, workdir)


WRONG_SHA256 = digest("SHA-256", OTHER)

CASES = [
    Case("Digest that matches", lambda: {"/f": Route(DATA, headers={
        "Digest": digest("SHA-256", DATA)})},
        ["{/f}"], 0, DATA,
        check=log_has("Setting digest: type=sha-256", "Verification finished successfully")),
#The bytes stay as received and the control file(no piece marked) stays,
#so that a second run downloads the file again.
    Case("Digest that does not match", lambda: {"/f": Route(DATA, headers={
        "Digest": WRONG_SHA256})},
        ["{/f}"], 32, DATA, control=True,
        check=log_has("Checksum validation failed", "Checksum error detected")),
    Case("strongest Digest decides", lambda: {"/f": Route(DATA, headers={
        "Digest": "%s, %s" % (digest("MD5", OTHER), digest("SHA-512", DATA))})},
        ["{/f}"], 0, DATA, check=log_has("Setting digest: type=sha-512")),
    Case("conflicting Digest values of one type are dropped", lambda: {"/f": Route(
        DATA, headers={"Digest": "%s, %s" % (digest("SHA-256", DATA), WRONG_SHA256)})},
        ["{/f}"], 0, DATA, check=log_lacks("Setting digest")),
    Case("RFC 3230 SHA name is not a known hash type", lambda: {"/f": Route(DATA, headers={
        "Digest": digest("SHA", OTHER)})},
        ["{/f}"], 0, DATA, check=log_lacks("Setting digest", "Checksum error")),
    Case("checksum option that matches", lambda: {"/f": Route(DATA)},
         [checksum_option(DATA), "{/f}"], 0, DATA,
         check=log_has("Verification finished successfully")),
    Case("checksum option that does not match", lambda: {"/f": Route(DATA)},
         [checksum_option(OTHER), "{/f}"], 32, DATA, control=True),
    Case("checksum option of another type than the Digest", lambda: {"/f": Route(
        DATA, headers={"Digest": digest("SHA-1", OTHER)})},
        [checksum_option(DATA), "{/f}"], 0, DATA),
    Case("Digest agrees with the checksum option", lambda: {"/f": Route(DATA, headers={
        "Digest": digest("SHA-256", DATA)})},
        [checksum_option(DATA), "{/f}"], 0, DATA,
        check=log_has("Valid hash found in Digest header field.")),
#The server contradicts the digest the user gave : the URI is given up
#before any byte is stored.
    Case("Digest contradicts the checksum option", lambda: {"/f": Route(DATA, headers={
        "Digest": WRONG_SHA256})},
        [checksum_option(DATA), "--max-tries=1", "{/f}"], 1,
        check=log_has("Invalid hash found in Digest header field.")),
    Case("chunked body of unknown length with a wrong Digest", lambda: {"/f": Route(
        DATA, chunked=True, ranges=False, headers={"Digest": WRONG_SHA256})},
        ["{/f}"], 32, DATA),
    Case("chunked body of unknown length with a right Digest", lambda: {"/f": Route(
        DATA, chunked=True, ranges=False, headers={"Digest": digest("SHA-256", DATA)})},
        ["{/f}"], 0, DATA),
    Case("Content-Length 0 with a Digest that matches", lambda: {"/f": Route(b"", headers={
        "Digest": digest("SHA-256", b"")})},
        ["{/f}"], 0, b"", check=log_has("Verify checksum for zero-length file")),
    Case("Content-Length 0 with a Digest that does not match", lambda: {"/f": Route(
        b"", headers={"Digest": WRONG_SHA256})},
        ["{/f}"], 32, b""),
#Later answers only check against a digest that is already known.
    Case("Digest on later answers only, none known", lambda: {"/f": Route(
        BIG, rate=2 << 20, later_headers={"Digest": WRONG_SHA256})},
        ["-x2", "-s2", "-k1M", "{/f}"], 0, BIG,
        check=all_of(saw_later_range, log_lacks("Setting digest", "Invalid hash found"))),
    Case("Digest on later answers agrees", lambda: {"/f": Route(
        BIG, rate=2 << 20, later_headers={"Digest": digest("SHA-256", BIG)})},
        ["-x2", "-s2", "-k1M", checksum_option(BIG), "{/f}"], 0, BIG,
        check=all_of(saw_later_range, log_has("Valid hash found in Digest header field."))),
#The connection that got the contradicting answer gives up its URI; the
#first connection fetches the rest from its own answer.
    Case("Digest on later answers contradicts", lambda: {"/f": Route(
        BIG, rate=2 << 20, later_headers={"Digest": WRONG_SHA256})},
        ["-x2", "-s2", "-k1M", checksum_option(BIG), "{/f}"], 0, BIG,
        check=all_of(saw_later_range, log_has("Invalid hash found in Digest header field."))),
]


def expand(args, srv):
    return [srv.url(a[1:-1]) if a.startswith("{") and a.endswith("}") else a for a in args]


class IntegrityTestBase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def workdir(self):
        return tempfile.mkdtemp(dir=self.dir)

    def assert_file(self, path, data):
        with open(path, "rb") as f:
            self.assertEqual(sha256(data), sha256(f.read()))


class DigestCases(IntegrityTestBase):
    def test_cases(self):
        for case in CASES:
            with self.subTest(case.name):
                self.run_case(case)

    def run_case(self, case):
        workdir = self.workdir()
        with CraftedServer(case.routes()) as srv:
            result = run_quarnc(workdir, expand(case.args, srv))
            self.assertEqual(case.rc, result.returncode,
                             result.stderr.decode(errors="replace") + log_text(workdir)[-3000:])
            path = os.path.join(workdir, "f")
            if case.out is not None:
                self.assert_file(path, case.out)
            self.assertEqual(case.control, os.path.exists(path + CONTROL_SUFFIX))
            if case.check:
                case.check(self, srv, workdir)

    def test_wrong_file_is_fetched_again_on_the_next_run(self):
        workdir = self.workdir()
        path = os.path.join(workdir, "f")
        broken = b"X" * 100 + DATA[100:]
        with CraftedServer({"/f": Route(broken)}) as srv:
            failed = run_quarnc(workdir, [checksum_option(DATA), srv.url("/f")])
            self.assertEqual(32, failed.returncode)
        self.assertTrue(os.path.exists(path + CONTROL_SUFFIX))
        with CraftedServer({"/f": Route(DATA)}) as srv:
            again = run_quarnc(workdir, [checksum_option(DATA), srv.url("/f")])
            self.assertEqual(0, again.returncode, log_text(workdir)[-3000:])
            self.assertEqual([None], [r["headers"].get("range") for r in srv.seen][:1])
        self.assert_file(path, DATA)
        self.assertFalse(os.path.exists(path + CONTROL_SUFFIX))


    def test_existing_empty_file_against_an_empty_answer(self):
        rows = [
            ({}, 0, "Download has already completed"),
            ({"Digest": digest("SHA-256", b"")}, 0, "Zero length file exists. Verify checksum."),
            ({"Digest": WRONG_SHA256}, 32, "Checksum error detected"),
        ]
        for headers, rc, logged in rows:
            with self.subTest(headers=headers):
                workdir = self.workdir()
                path = os.path.join(workdir, "f")
                open(path, "wb").close()
                with CraftedServer({"/f": Route(b"", headers=headers)}) as srv:
                    result = run_quarnc(workdir, [srv.url("/f")])
                self.assertEqual(rc, result.returncode, log_text(workdir)[-3000:])
                self.assertIn(logged, log_text(workdir))
                self.assertEqual(["f", "log.txt"], sorted(os.listdir(workdir)))


class LinkMirrorCases(IntegrityTestBase):
    def run_with_link(self, link_params, args=()):
        """Serves BIG from a first server whose answer announces a second one."""
        workdir = self.workdir()
        with CraftedServer({"/f": Route(BIG)}) as mirror:
            link = "<%s>; %s" % (mirror.url("/f"), link_params)
            with CraftedServer({"/f": Route(BIG, headers={"Link": link})}) as first:
#The first server is named by host name, so that the mirror
#on 127.0.0.1 counts as another server.
                url = first.url("/f").replace("127.0.0.1", "localhost")
                result = run_quarnc(workdir, ["-s2", "-k1M", "--disable-ipv6", *args, url])
                self.assertEqual(0, result.returncode, log_text(workdir)[-3000:])
                self.assert_file(os.path.join(workdir, "f"), BIG)
                return first.seen, mirror.seen, workdir

    def test_duplicate_link_adds_a_mirror(self):
        first, mirror, workdir = self.run_with_link("rel=duplicate; pri=1; geo=de")
        self.assertTrue(first)
        self.assertTrue(mirror)
        self.assertTrue(all(r["headers"].get("range") for r in mirror), mirror)
        self.assertIn("Adding URI=", log_text(workdir))

    def test_other_relations_add_nothing(self):
        _, mirror, _ = self.run_with_link("rel=describedby")
        self.assertEqual([], mirror)


class ConditionalGetCases(IntegrityTestBase):
    FILE_MTIME = 1_600_000_000

    def run_conditional(self, server_mtime):
        workdir = self.workdir()
        path = os.path.join(workdir, "f")
        with open(path, "wb") as f:
            f.write(OTHER)
        os.utime(path, (self.FILE_MTIME, self.FILE_MTIME))
        with CraftedServer({"/f": Route(DATA, last_modified=server_mtime)}) as srv:
            result = run_quarnc(workdir, ["--conditional-get", "--allow-overwrite",
                                          srv.url("/f")])
            self.assertEqual(0, result.returncode, log_text(workdir)[-3000:])
            self.assertTrue(srv.seen[0]["headers"].get("if-modified-since"), srv.seen)
        self.assertFalse(os.path.exists(path + CONTROL_SUFFIX))
        return path, workdir

    def test_up_to_date_file_is_left_untouched(self):
        path, workdir = self.run_conditional(self.FILE_MTIME - 3600)
        self.assert_file(path, OTHER)
        self.assertEqual(self.FILE_MTIME, int(os.stat(path).st_mtime))
        self.assertIn("Download has already completed", log_text(workdir))

    def test_newer_file_is_downloaded(self):
        path, _ = self.run_conditional(self.FILE_MTIME + 3600)
        self.assert_file(path, DATA)
        self.assertGreater(os.stat(path).st_mtime, time.time() - 600)

    def test_control_file_turns_the_condition_off(self):
        # A control file beside the output means the file is partial: asking
        # whether it is up to date would keep it broken.
        workdir = self.workdir()
        path = os.path.join(workdir, "f")
        with CraftedServer({"/f": Route(OTHER + DATA[len(OTHER):])}) as srv:
            failed = run_quarnc(workdir, [checksum_option(DATA), srv.url("/f")])
            self.assertEqual(32, failed.returncode, log_text(workdir)[-3000:])
        self.assertTrue(os.path.exists(path + CONTROL_SUFFIX))
        os.utime(path, (self.FILE_MTIME, self.FILE_MTIME))
        with CraftedServer({"/f": Route(DATA, last_modified=self.FILE_MTIME - 3600)}) as srv:
            result = run_quarnc(workdir, ["--conditional-get", checksum_option(DATA),
                                          srv.url("/f")])
            self.assertEqual(0, result.returncode, log_text(workdir)[-3000:])
            self.assertNotIn("if-modified-since", srv.seen[0]["headers"], srv.seen)
        self.assert_file(path, DATA)
        self.assertFalse(os.path.exists(path + CONTROL_SUFFIX))


class FtpChecksumCases(IntegrityTestBase):
    def test_checksum_option_over_ftp(self):
        for data, rc in ((DATA, 0), (OTHER, 32)):
            with self.subTest(rc=rc):
                workdir = self.workdir()
                with ScriptedFtpServer() as srv:
                    if not srv.available:
                        self.skipTest(srv.why)
                    srv.put("f", DATA)
                    result = run_quarnc(workdir, [checksum_option(data), srv.url("f")])
                self.assertEqual(rc, result.returncode, log_text(workdir)[-3000:])
                path = os.path.join(workdir, "f")
                self.assert_file(path, DATA)
                self.assertEqual(rc != 0, os.path.exists(path + CONTROL_SUFFIX))


if __name__ == "__main__":
    unittest.main()
