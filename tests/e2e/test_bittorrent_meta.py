"""End-to-end torrent and magnet reading: the real quarnc on torrents made by mktorrent.

"quarnc -S" must print what mktorrent put into each torrent (checked against the
torrent's own bytes, decoded here); a malformed torrent must end with exit code 26;
and until the swarm exists every torrent or magnet download must end with a clear
error and leave neither a file nor a control file behind.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest
from email.utils import formatdate
from urllib.parse import quote

QUARNC = os.environ.get("QUARNC", "quarnc")
STALLED = b"Stop downloading torrent due to --bt-stop-timeout option."


def bdecode(data, i=0):
    """The value at data[i:] and the index after it."""
    c = data[i:i + 1]
    if c == b"i":
        end = data.index(b"e", i)
        return int(data[i + 1:end]), end + 1
    if c in (b"l", b"d"):
        items, i = [], i + 1
        while data[i:i + 1] != b"e":
            value, i = bdecode(data, i)
            items.append(value)
        if c == b"l":
            return items, i + 1
        return dict(zip(items[::2], items[1::2])), i + 1
    colon = data.index(b":", i)
    length = int(data[i:colon])
    return data[colon + 1:colon + 1 + length], colon + 1 + length


def info_bytes(torrent):
    """The raw bytes of the "info" dictionary (mktorrent writes it canonically)."""
    start = torrent.index(b"4:info") + len(b"4:info")
    _, end = bdecode(torrent, start)
    return torrent[start:end]


def run_quarnc(workdir, args, timeout=60):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run([QUARNC, "--no-conf", "--summary-interval=0", "--enable-dht=false",
                           "--console-log-level=warn"] + args,
                          cwd=workdir, env=env, capture_output=True, timeout=timeout)


def make_content(root, layout):
    for rel, size in layout.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(os.urandom(size))


class ShowCase:
    def __init__(self, name, layout, mktorrent_args, target):
        self.name = name
        self.layout = layout  # relative path -> size
        self.mktorrent_args = mktorrent_args
        self.target = target  # what mktorrent is pointed at


SHOW_CASES = [
    ShowCase("single file, two tiers, private", {"one.bin": 70000},
             ["-a", "http://127.0.0.1:1/a,http://127.0.0.1:2/a", "-a", "http://127.0.0.1:3/b",
              "-p", "-l", "15", "-c", "made for quarn"], "one.bin"),
    ShowCase("multi file, nested, web seeds", {"tree/a.bin": 300000, "tree/x/y z.txt": 10,
                                                 "tree/x/deep/c.bin": 40000},
             ["-a", "http://127.0.0.1:1/announce", "-w", "http://127.0.0.1:9/seed/"], "tree"),
    ShowCase("name given, no date", {"data.bin": 5},
             ["-a", "udp://127.0.0.1:1", "-n", "renamed", "-d"], "data.bin"),
]


@unittest.skipUnless(shutil.which("mktorrent"), "mktorrent is not installed")
class ShowFilesTest(unittest.TestCase):
    def test_show_files_prints_what_mktorrent_wrote(self):
        for case in SHOW_CASES:
            with self.subTest(case.name), tempfile.TemporaryDirectory() as work:
                make_content(work, case.layout)
                subprocess.run(["mktorrent", "-o", "x.torrent"] + case.mktorrent_args +
                               [case.target], cwd=work, check=True, capture_output=True)
                with open(os.path.join(work, "x.torrent"), "rb") as f:
                    raw = f.read()
                self.check_listing(work, raw, run_quarnc(work, ["-S", "x.torrent"]))
                # "--torrent-file" with -S shows the same torrent.
                other = run_quarnc(work, ["-S", "--torrent-file=x.torrent"])
                self.assertEqual(0, other.returncode)
                self.assertIn(b"Info Hash: ", other.stdout)

    def check_listing(self, work, raw, result):
        self.assertEqual(0, result.returncode, result.stderr)
        out = result.stdout.decode()
        torrent, _ = bdecode(raw)
        info = torrent[b"info"]
        name = info[b"name"].decode()
        lines = out.splitlines()
        self.assertIn("*** BitTorrent File Information ***", lines)
        self.assertIn("Name: " + name, lines)
        self.assertIn("Info Hash: " + hashlib.sha1(info_bytes(raw)).hexdigest(), lines)
        pieces = len(info[b"pieces"]) // 20
        self.assertIn("The Number of Pieces: %d" % pieces, lines)
        files = info.get(b"files") or [{b"length": info[b"length"], b"path": []}]
        total = sum(f[b"length"] for f in files)
        self.assertTrue(any(l.startswith("Total Length: ") and l.endswith("(%s)" % f"{total:,}")
                            for l in lines), out)
        self.assertIn("Mode: " + ("multi" if b"files" in info else "single"), lines)
        tiers = torrent.get(b"announce-list") or [[torrent[b"announce"]]]
        announce = lines.index("Announce:")
        for i, tier in enumerate(tiers):
            self.assertEqual("".join(" " + u.decode() for u in tier), lines[announce + 1 + i])
        if b"comment" in torrent:
            self.assertIn("Comment: " + torrent[b"comment"].decode(), lines)
        if b"creation date" in torrent:
            self.assertIn("Creation Date: " + formatdate(torrent[b"creation date"], usegmt=True),
                          lines)
        else:
            self.assertFalse(any(l.startswith("Creation Date: ") for l in lines))
        self.assertIn("Created By: " + torrent[b"created by"].decode(), lines)
        seeds = torrent.get(b"url-list", [])
        for seed in [seeds] if isinstance(seeds, bytes) else seeds:
            self.assertIn(" " + seed.decode(), lines)
        magnet = "Magnet URI: magnet:?xt=urn:btih:" + hashlib.sha1(
            info_bytes(raw)).hexdigest().upper() + "&dn=" + quote(name, safe="-._~")
        self.assertTrue(any(l.startswith(magnet) for l in lines), out)
        for f in files:
            path = "/".join([name] + [p.decode() for p in f[b"path"]])
            self.assertIn("|./" + path, [l[3:] for l in lines])

    def test_files_that_are_no_torrent_are_skipped(self):
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "plain.txt"), "w") as f:
                f.write("just text")
            with open(os.path.join(work, "bad.torrent"), "w") as f:
                f.write("d4:infod4:name1:xee")
            result = run_quarnc(work, ["-S", "plain.txt", "bad.torrent"])
            self.assertEqual(0, result.returncode)
            self.assertIn(b"This file is neither Torrent nor Metalink file. Skipping.",
                          result.stdout)
            self.assertIn(b"Missing pieces in torrent metainfo.", result.stdout)


BAD_TORRENTS = [
    ("piece length 0", b"d4:infod6:lengthi5e4:name1:x12:piece lengthi0e6:pieces20:"
     + b"p" * 20 + b"ee"),
    ("too few hashes", b"d4:infod6:lengthi5e4:name1:x12:piece lengthi1e6:pieces20:"
     + b"p" * 20 + b"ee"),
    ("traversal in name", b"d4:infod6:lengthi5e4:name5:../ev12:piece lengthi16e6:pieces20:"
     + b"p" * 20 + b"ee"),
    ("traversal in path", b"d4:infod5:filesld6:lengthi5e4:pathl2:..2:evee"
     + b"e4:name1:d12:piece lengthi16e6:pieces20:" + b"p" * 20 + b"ee"),
    ("no info", b"d8:announce8:http://xe"),
]


class DownloadTest(unittest.TestCase):
    def assert_nothing_written(self, work, before):
        self.assertEqual(sorted(before), sorted(os.listdir(work)))

    def test_malformed_torrents_exit_26_and_leave_nothing(self):
        for name, doc in BAD_TORRENTS:
            for form in ("positional", "torrent-file", "input-list"):
                with self.subTest(name=name, form=form), tempfile.TemporaryDirectory() as work:
                    with open(os.path.join(work, "x.torrent"), "wb") as f:
                        f.write(doc)
                    args = {"positional": ["x.torrent"],
                            "torrent-file": ["--torrent-file=x.torrent"],
                            "input-list": ["-i", "list.txt"]}[form]
                    with open(os.path.join(work, "list.txt"), "w") as f:
                        f.write("x.torrent\n")
                    before = os.listdir(work)
                    result = run_quarnc(work, args)
                    # An input list only logs the bad entry and has nothing left to do.
                    self.assertEqual(0 if form == "input-list" else 26, result.returncode,
                                     result.stderr)
                    self.assertIn(b"errorCode=26", result.stdout + result.stderr)
                    self.assert_nothing_written(work, before)

    @unittest.skipUnless(shutil.which("mktorrent"), "mktorrent is not installed")
    def test_torrents_and_magnets_become_downloads(self):
        with tempfile.TemporaryDirectory() as src:
            make_content(src, {"payload.bin": 1000})
            subprocess.run(["mktorrent", "-a", "http://127.0.0.1:1/a", "-o", "x.torrent",
                            "payload.bin"], cwd=src, check=True, capture_output=True)
            with open(os.path.join(src, "x.torrent"), "rb") as f:
                raw = f.read()
        magnet = "magnet:?xt=urn:btih:" + hashlib.sha1(info_bytes(raw)).hexdigest() + \
            "&dn=payload.bin&tr=http%3A%2F%2F127.0.0.1%3A1%2Fa"
        # The input list names one torrent twice (file and magnet): the
        # second of the same info hash is refused while the first runs.
        forms = [("torrent argument", ["x.torrent"], 7, STALLED),
                 ("torrent-file", ["--torrent-file=x.torrent"], 7, STALLED),
                 ("magnet argument", [magnet], 7, STALLED),
                 ("input list", ["-i", "list.txt"], 12, b"is already registered.")]
        for name, args, rc, message in forms:
            with self.subTest(name), tempfile.TemporaryDirectory() as work:
                with open(os.path.join(work, "x.torrent"), "wb") as f:
                    f.write(raw)
                with open(os.path.join(work, "list.txt"), "w") as f:
                    f.write("x.torrent\n" + magnet + "\n")
                before = os.listdir(work)
                # The tracker is dead: the downloads start, find no peer and
                # are stopped by the stall timeout, resumable.
                result = run_quarnc(work, ["--bt-stop-timeout=1", "--bt-enable-lpd=false",
                                           "--console-log-level=notice"] + args)
                out = result.stdout + result.stderr
                self.assertEqual(rc, result.returncode, out)
                self.assertIn(message, out)
                self.assertNotIn(b"Unrecognized URI", out)
                # A magnet's metadata stays in memory; a torrent's file and
                # control file are kept for the next run.
                new = set(os.listdir(work)) - set(before)
                self.assertLessEqual(new, {"payload.bin", "payload.bin.quarn"}, out)


if __name__ == "__main__":
    unittest.main()
