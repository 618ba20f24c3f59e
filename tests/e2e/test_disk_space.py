"""End-to-end: a download of known length that cannot fit on the disk.

The target is a 16 MiB tmpfs mounted in a mount namespace of its own (so the
test needs root); the servers announce 1 GiB, by a lying Content-Length, a
lying SIZE reply or a sparse file. The run fails at once with "not enough
disk space" and leaves nothing behind, whatever the allocation method. A
file-size limit makes an allocation fail midway instead: what it allocated
for the file it created goes too.
"""

import hashlib
import os
import resource
import shlex
import signal
import subprocess
import tempfile
import unittest

from ftpservers import ScriptedFtpServer, Sshd
from httpservers import CraftedServer, NginxServer, Route

QUARNC = os.environ.get("QUARNC", "quarnc")
GIB = 1 << 30
METHODS = ("prealloc", "falloc", "trunc", "none")


def quarnc_argv(workdir, args):
    return [QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
            "--console-log-level=warn", "--max-tries=1"] + args


def can_mount_tmpfs():
    if os.geteuid() != 0:
        return False
    probe = subprocess.run(["unshare", "-m", "sh", "-c", "mount -t tmpfs -o size=1m none /mnt"],
                           capture_output=True)
    return probe.returncode == 0


class SmallDisk(unittest.TestCase):
    """Runs quarnc with --dir on a fresh 16 MiB tmpfs; the listing of that
    directory after the run is written outside it."""

    def setUp(self):
        if not can_mount_tmpfs():
            self.skipTest("mounting a tmpfs needs root and unshare")
        self.tmp = tempfile.TemporaryDirectory()
        self.target = os.path.join(self.tmp.name, "small")
        os.mkdir(self.target)
        self.listing = os.path.join(self.tmp.name, "listing")

    def tearDown(self):
        self.tmp.cleanup()

    def run_on_small_disk(self, args):
        argv = " ".join(shlex.quote(a) for a in quarnc_argv(self.target, args))
        script = ("mount -t tmpfs -o size=16m none %s || exit 99; %s; rc=$?; "
                  "ls -A %s > %s; exit $rc" % (shlex.quote(self.target), argv,
                                               shlex.quote(self.target),
                                               shlex.quote(self.listing)))
        result = subprocess.run(["unshare", "-m", "sh", "-c", script], capture_output=True,
                                timeout=120, cwd=self.tmp.name)
        with open(self.listing) as f:
            left = f.read().split()
        return result, left

    def assert_refused(self, args):
        result, left = self.run_on_small_disk(args)
        self.assertEqual(9, result.returncode, result.stdout.decode(errors="replace"))
        self.assertEqual([], left)
        self.assertIn(b"No space left on device", result.stdout)

    def test_lying_http_length(self):
        with CraftedServer({"/f": Route(announce_length=GIB)}) as srv:
            for method in METHODS:
                with self.subTest(method):
                    self.assert_refused(["--file-allocation=" + method, srv.url("/f")])

    def test_lying_ftp_size(self):
        srv = ScriptedFtpServer(replies={"SIZE": "213 %d" % GIB})
        try:
            if not srv.available:
                self.skipTest(srv.why)
            srv.put("f.bin", b"x" * 1000)
            for method in METHODS:
                with self.subTest(method):
                    self.assert_refused(["--file-allocation=" + method, srv.url("f.bin")])
        finally:
            srv.__exit__(None, None, None)

    def test_huge_sftp_file(self):
        srv = Sshd()
        try:
            if not srv.available:
                self.skipTest(srv.why)
            path = srv.put("sparse.bin", b"")
            os.truncate(path, GIB)
            self.assert_refused([srv.url("sparse.bin")])
        finally:
            srv.__exit__(None, None, None)


def file_size_limit(limit):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


class AllocationFailingMidway(unittest.TestCase):
    def test_created_file_is_removed(self):
        limit_file_size = file_size_limit(1 << 20)

        with CraftedServer({"/f": Route(announce_length=64 << 20)}) as srv:
            for method in METHODS[:3]:
                with self.subTest(method), tempfile.TemporaryDirectory() as workdir:
                    result = subprocess.run(
                        quarnc_argv(workdir, ["--file-allocation=" + method, srv.url("/f")]),
                        capture_output=True, timeout=120, preexec_fn=limit_file_size)
                    self.assertEqual(17, result.returncode, result.stdout.decode(errors="replace"))
                    self.assertEqual([], os.listdir(workdir))
                    if method == "falloc":
                        # The message names the call this system makes.
                        self.assertIn(b"fallocate of", result.stdout)


class WritesFailingMidway(unittest.TestCase):
    """Writes past a file-size limit fail while the download runs; the data
    before them is kept and the control file claims none of what was lost."""

    CASES = (
        ("one connection", ["-x1"]),
        ("four connections", ["-x4", "-s4", "-k1M"]),
    )

    def test_resume_after_failed_writes_gives_the_right_file(self):
        size = 12 << 20
        body = bytes((i * 31 + (i >> 12)) & 0xFF for i in range(size))
        with tempfile.TemporaryDirectory() as root:
            with open(os.path.join(root, "f.bin"), "wb") as f:
                f.write(body)
            with NginxServer(root, root) as srv:
                url = "http://%s:%d/f.bin" % (srv.host, srv.port)
                for name, split in self.CASES:
                    with self.subTest(name), tempfile.TemporaryDirectory() as workdir:
                        args = ["--file-allocation=none"] + split + [url]
                        first = subprocess.run(quarnc_argv(workdir, args), capture_output=True,
                                               timeout=120, preexec_fn=file_size_limit(5 << 20))
                        out = first.stdout.decode(errors="replace")
                        self.assertNotEqual(0, first.returncode, out)
                        self.assertIn("File too large", out)
                        self.assertTrue(os.path.exists(os.path.join(workdir, "f.bin.quarn")), out)
                        second = subprocess.run(quarnc_argv(workdir, ["-c"] + args),
                                                capture_output=True, timeout=120)
                        self.assertEqual(0, second.returncode, second.stdout.decode(errors="replace"))
                        with open(os.path.join(workdir, "f.bin"), "rb") as f:
                            got = hashlib.sha256(f.read()).hexdigest()
                        self.assertEqual(hashlib.sha256(body).hexdigest(), got)


if __name__ == "__main__":
    unittest.main()
