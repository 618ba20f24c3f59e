"""End-to-end: the order of the file-system calls that make a download durable.

quarnc runs under strace; the trace is replayed to check that
  - a control file is put in place (rename of its temporary file) only when
    every data file written to since its last sync has been synced, so that
    it never claims data a crash could take back;
  - a control file is removed only when the data is synced;
  - the temporary control file is synced before it replaces the old one.
Cases cover one small file, many small files in parallel, a slow download
whose control file is saved while data is still arriving, and a torrent whose
files are closed and reopened on the way by the open-file limit.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from bt_peers import HttpTracker, LtPeer, have_libtorrent, make_tree, mktorrent, tree_sha256
from httpservers import NginxServer
from ports import QUARNC_PORTS

QUARNC = os.environ.get("QUARNC", "quarnc")
CONTROL_SUFFIX = ".quarn"
TRACED = ",".join([
    "openat", "close", "write", "pwrite64", "pwritev", "pwritev2", "fsync", "fdatasync", "rename",
    "renameat", "renameat2", "unlink", "unlinkat", "ftruncate", "fallocate", "dup", "dup2", "dup3",
    "fcntl"])

# strace -f lines: "PID call(args) = result", split ones as
# "PID call(args <unfinished ...>" and "PID <... call resumed>args) = result".
LINE = re.compile(r"^(\d+)\s+(?:<\.\.\. (\w+) resumed>(.*)|(\w+)\((.*))$")
RESULT = re.compile(r"^(.*)\)\s+=\s+(.*)$")


def split_result(rest):
    m = RESULT.match(rest)
    return (m.group(1), m.group(2)) if m else (rest, "")


class Replay:
    """Follows descriptors and dirty state through a trace, recording violations."""

    def __init__(self, data_dir):
        self.data_dir = data_dir
        self.fds = {}  # descriptor -> path; one process, its threads share them
        self.dirty = set()  # paths written since their last sync
        self.synced_temp = set()
        self.violations = []
        self.renames = 0
        self.unlinks = 0

    def data_path(self, path):
        return (path.startswith(self.data_dir) and CONTROL_SUFFIX not in os.path.basename(path))

    def on_start(self, call, args):
        # Calls that consume state are judged where they start. A descriptor
        # is gone once its close has begun: another thread may be handed the
        # same number before strace reports the close as finished.
        fd_arg = re.match(r"\s*(\d+)", args)
        if call == "close" and fd_arg:
            self.fds.pop(int(fd_arg.group(1)), None)
        elif call in ("rename", "renameat", "renameat2"):
            paths = re.findall(r'"([^"]*)"', args)
            if len(paths) == 2 and paths[1].endswith(CONTROL_SUFFIX):
                self.renames += 1
                if paths[0] not in self.synced_temp:
                    self.violations.append("control file %s put in place from an unsynced "
                                           "temporary file" % paths[1])
                self.check_clean(paths[1], "put in place")
        elif call in ("unlink", "unlinkat"):
            paths = re.findall(r'"([^"]*)"', args)
            if paths and paths[-1].endswith(CONTROL_SUFFIX):
                self.unlinks += 1
                self.check_clean(paths[-1], "removed")

    def on_done(self, call, args, result):
        m = re.match(r"\s*(-?\d+)", result)
        rv = int(m.group(1)) if m else -1
        fd_arg = re.match(r"\s*(?:AT_FDCWD, )?(\d+)", args)
        if call == "openat" and rv >= 0:
            path = re.search(r'"([^"]*)"', args).group(1)
            self.fds[rv] = path
        elif (call in ("dup", "dup2", "dup3") or (call == "fcntl" and "F_DUPFD" in args)) and \
                rv >= 0 and fd_arg:
            self.fds[rv] = self.fds.get(int(fd_arg.group(1)))
        elif fd_arg and rv >= 0:
            path = self.fds.get(int(fd_arg.group(1)))
            if path is None:
                return
            if call in ("write", "pwrite64", "pwritev", "pwritev2", "ftruncate", "fallocate"):
                if self.data_path(path):
                    self.dirty.add(path)
                elif path.endswith(CONTROL_SUFFIX + "__temp"):
                    self.synced_temp.discard(path)
            elif call in ("fsync", "fdatasync"):
                self.dirty.discard(path)
                if path.endswith("__temp"):
                    self.synced_temp.add(path)

    def check_clean(self, control, what):
        # A control file is named after its data file, or after the directory
        # that holds a torrent's files.
        data = control[: -len(CONTROL_SUFFIX)]
        unsynced = sorted(p for p in self.dirty if p == data or p.startswith(data + "/"))
        if unsynced:
            self.violations.append("control file %s %s while %s is not synced" %
                                   (control, what, ", ".join(unsynced)))

    def feed(self, text):
        pending = {}
        for line in text.splitlines():
            m = LINE.match(line)
            if not m:
                continue
            pid = m.group(1)
            if m.group(2):  # resumed
                call, start_args = pending.pop(pid, (m.group(2), ""))
                rest = m.group(3)
                args, result = split_result(rest)
                self.on_done(call, start_args + args, result)
                continue
            call, rest = m.group(4), m.group(5)
            if rest.endswith("<unfinished ...>"):
                args = rest[: -len("<unfinished ...>")]
                pending[pid] = (call, args)
                self.on_start(call, args)
                continue
            args, result = split_result(rest)
            self.on_start(call, args)
            self.on_done(call, args, result)


class DurabilityOrder(unittest.TestCase):
    def setUp(self):
        if not shutil.which("strace"):
            self.skipTest("strace is not installed")
        self.dir = tempfile.mkdtemp()
        self.root = os.path.join(self.dir, "www")
        self.out = os.path.join(self.dir, "out")
        os.makedirs(self.root)
        os.makedirs(self.out)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def traced_run(self, args):
        trace = os.path.join(self.dir, "trace")
        cmd = ["strace", "-f", "-qq", "-e", "trace=" + TRACED, "-o", trace, QUARNC, "--no-conf",
               "--dir=" + self.out, "--summary-interval=0", "--console-log-level=warn", *args]
        # The leak checker cannot work under ptrace; a sanitizer build would
        # fail every run for that alone.
        asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        result = subprocess.run(cmd, cwd=self.dir, capture_output=True, timeout=120,
                                env=dict(os.environ, HOME=self.dir, ASAN_OPTIONS=asan))
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)
        with open(trace) as f:
            replay = Replay(self.out)
            replay.feed(f.read())
        self.assertEqual([], replay.violations)
        return replay

    def make(self, name, size):
        data = os.urandom(size)
        with open(os.path.join(self.root, name), "wb") as f:
            f.write(data)
        return data

    def assert_done(self, name, data):
        with open(os.path.join(self.out, name), "rb") as f:
            self.assertEqual(data, f.read())
        self.assertFalse(os.path.exists(os.path.join(self.out, name + CONTROL_SUFFIX)))

    def test_orders(self):
        cases = [
            # (name, files and sizes, extra options)
            ("one small file", {"a.bin": 1024}, []),
            ("one small file, fallocate", {"a.bin": 1024}, ["--file-allocation=falloc"]),
            ("many small files", {"f%02d.bin" % i: 1024 + i for i in range(24)}, ["-j8"]),
            ("saved while data arrives", {"slow.bin": 3 << 20},
             ["--max-download-limit=1M", "--auto-save-interval=1", "-x2", "-s2", "-k1M"]),
        ]
        for title, files, extra in cases:
            with self.subTest(title):
                for name in os.listdir(self.out):
                    os.remove(os.path.join(self.out, name))
                datas = {name: self.make(name, size) for name, size in files.items()}
                with NginxServer(self.dir, self.root) as ng:
                    urls = [ng.url("/" + name) for name in files]
                    if len(urls) > 1:
                        listing = os.path.join(self.dir, "list")
                        with open(listing, "w") as f:
                            f.write("".join(u + "\n" for u in urls))
                        replay = self.traced_run(extra + ["-i", listing])
                    else:
                        replay = self.traced_run(extra + urls)
                for name, data in datas.items():
                    self.assert_done(name, data)
                # Every download removed its control file, and the slow one
                # saved it more than once on the way.
                self.assertEqual(len(files), replay.unlinks)
                self.assertGreaterEqual(replay.renames, len(files))
                if title.startswith("saved"):
                    self.assertGreaterEqual(replay.renames, 2)

    @unittest.skipUnless(have_libtorrent() and shutil.which("mktorrent"),
                         "libtorrent or mktorrent missing")
    def test_torrent_files_closed_by_the_open_file_limit(self):
        # With one open file at a time every piece that spans two files closes
        # one to write the other; the control files saved every second must
        # still claim only synced data.
        src = os.path.join(self.dir, "src")
        make_tree(src, {"tree/f%d.bin" % i: 200 * 1024 + 3 * i for i in range(6)})
        torrent = os.path.join(self.dir, "x.torrent")
        with HttpTracker() as tracker:
            mktorrent(torrent, "tree", [[tracker.url()]], piece_exp=15, cwd=src)
            with LtPeer(torrent, src, seed=True) as seeder:
                tracker.peers = [("127.0.0.1", seeder.port)]
                replay = self.traced_run([
                    "--bt-max-open-files=1", "--auto-save-interval=1",
                    "--max-download-limit=400K", "--seed-time=0", "--enable-dht=false",
                    "--bt-enable-lpd=false", "--listen-port=" + QUARNC_PORTS, torrent])
        self.assertEqual(tree_sha256(src), tree_sha256(self.out))
        self.assertGreaterEqual(replay.renames, 2)
        self.assertGreaterEqual(replay.unlinks, 1)


if __name__ == "__main__":
    unittest.main()
