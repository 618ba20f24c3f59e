"""End-to-end Metalink downloads: the real quarnc reads Metalink 3 and 4 documents
(from a file, from standard input, fetched over HTTP, or sent over JSON-RPC and
XML-RPC) and downloads their files from nginx mirrors on 127.0.0.1, checking
whole-file and piece hashes. A file that a torrent also holds is fetched through
that torrent (a libtorrent seeder and a small tracker of the test's own), or from
its mirrors when the torrent is of no use.

What the mirrors served is read from their access logs; which mirror quarnc chose
shows there too.
"""

import base64
import hashlib
import os
import random
import resource
import subprocess
import tempfile
import unittest
import xmlrpc.client

from httpservers import NginxServer, TestCA, have, sha256
from test_rpc import ControlServer, wait_until

QUARNC = os.environ.get("QUARNC", "quarnc")
RNG = random.Random(20261210)
DATA = RNG.randbytes(4 * 1024 * 1024 + 12345)
PIECE = 256 * 1024
NS4 = "urn:ietf:params:xml:ns:metalink"
NS3 = "http://www.metalinker.org/"


def run_quarnc(workdir, args, timeout=120, stdin=None):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run([QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
                           "--console-log-level=warn", "--log=log.txt", "--log-level=debug"]
                          + args, cwd=workdir, env=env, capture_output=True, timeout=timeout,
                          input=stdin)


def flipped(data, offset):
    return data[:offset] + bytes([data[offset] ^ 0xFF]) + data[offset + 1:]


def piece_hashes(data):
    return "".join("<hash>%s</hash>" % hashlib.sha1(data[i:i + PIECE]).hexdigest()
                   for i in range(0, len(data), PIECE))


def file4(urls, name="out.bin", pieces=True, signature=True, data=DATA):
    """A Metalink 4 file element for data; urls are (url, attributes) pairs."""
    body = "<size>%d</size><hash type=\"sha-256\">%s</hash>" % (len(data), sha256(data))
    if pieces:
        body += "<pieces length=\"%d\" type=\"sha-1\">%s</pieces>" % (PIECE, piece_hashes(data))
    if signature:
        body += "<signature mediatype=\"application/pgp-signature\">SIGNED</signature>"
    body += "".join("<url %s>%s</url>" % (attrs, url) for url, attrs in urls)
    return "<file name=\"%s\">%s</file>" % (name, body)


def meta4(urls, name="out.bin", pieces=True, signature=True, files=None):
    """A Metalink 4 document of one file, or of the given file elements."""
    body = files if files is not None else file4(urls, name, pieces, signature)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metalink xmlns=\"%s\">%s"
            "</metalink>\n" % (NS4, body))


def meta3(urls, name="out.bin", data=DATA):
    """A Metalink 3 document; urls are (url, type, location, preference) rows."""
    rows = "".join("<url type=\"%s\" location=\"%s\" preference=\"%d\">%s</url>"
                   % (t, loc, pref, url) for url, t, loc, pref in urls)
    return ("<?xml version=\"1.0\"?>\n<metalink version=\"3.0\" xmlns=\"%s\"><files>"
            "<file name=\"%s\"><size>%d</size><verification><hash type=\"sha256\">%s</hash>"
            "</verification><resources>%s</resources></file></files></metalink>\n"
            % (NS3, name, len(data), sha256(data), rows))


def gets(server):
    return [line for line in server.access_log() if "GET /" in line]


class MetalinkTestBase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def mkdir(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def mirror(self, name, data=DATA, ssl=None, extra="limit_rate 4m;", host="127.0.0.1"):
        root = self.mkdir(name + "-root")
        with open(os.path.join(root, "data.bin"), "wb") as f:
            f.write(data)
        return NginxServer(self.mkdir(name), root, extra=extra, ssl=ssl, host=host)

    def write(self, workdir, name, text):
        path = os.path.join(workdir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def log(self, workdir):
        with open(os.path.join(workdir, "log.txt"), errors="replace") as f:
            return f.read()

    def explain(self, result, workdir):
        return (result.stdout.decode(errors="replace") + result.stderr.decode(errors="replace")
                + self.log(workdir)[-4000:])


class TwoMirrors(MetalinkTestBase):
    """Metalink 4, two mirrors of equal priority, sha-256 and sha-1 piece hashes."""

    # name, data of mirror a, data of mirror b, pieces listed, exit status, log text
    CASES = [
        ("both good", DATA, DATA, True, 0, "Good chunk checksum"),
        # A flipped byte in each half, so that whichever half the bad mirror serves
        # holds one.
        ("one mirror flips a byte", flipped(flipped(DATA, 3 * PIECE + 17), 12 * PIECE + 5),
         DATA, True, 0, "Chunk checksum validation failed"),
        ("both mirrors flip a byte, whole-file hash only", flipped(DATA, 5),
         flipped(DATA, 5), False, 32, "Checksum error detected"),
        ("both mirrors flip a byte", flipped(DATA, 5), flipped(DATA, 5), True, 32,
         "Chunk checksum validation failed"),
    ]

    def test_cases(self):
        for case in self.CASES:
            with self.subTest(case[0]):
                self.run_case(*case)

    def run_case(self, name, data_a, data_b, pieces, rc, log_text):
        workdir = tempfile.mkdtemp(dir=self.dir)
        tag = name.replace(" ", "-").replace(",", "")
        # Mirrors count as one host per address, so each has its own.
        with self.mirror(tag + "-a", data_a) as a, \
                self.mirror(tag + "-b", data_b, host="127.0.0.2") as b:
            doc = self.write(workdir, "doc.meta4", meta4(
                [(a.url("/data.bin"), "priority=\"1\""), (b.url("/data.bin"), "priority=\"1\"")],
                pieces=pieces))
            result = run_quarnc(workdir, ["-M", doc, "--split=2", "--min-split-size=1M",
                                          "--max-tries=2", "--retry-wait=0"])
            self.assertEqual(rc, result.returncode, self.explain(result, workdir))
            log = self.log(workdir)
            self.assertTrue(log_text in log, log[-3000:])
            out = os.path.join(workdir, "out.bin")
            if rc == 0:
                self.assertEqual(sha256(DATA), sha256(self.read(out)))
                # Both mirrors served parts of the file.
                for server in (a, b):
                    self.assertTrue(any("\" 206 " in line for line in gets(server)),
                                    server.access_log())
                self.assertEqual(b"SIGNED", self.read(out + ".sig"))
            else:
                self.assertFalse(os.path.exists(out + ".sig"))


class MirrorChoice(MetalinkTestBase):
    """Metalink 3 locations and preferences decide which mirror a single connection uses."""

    def test_location(self):
        with self.mirror("jp") as jp, self.mirror("de", host="127.0.0.2") as de:
            for option in ("--metalink-location=jp", "--metalink-location=JP,xx"):
                with self.subTest(option):
                    workdir = tempfile.mkdtemp(dir=self.dir)
                    before = (len(gets(jp)), len(gets(de)))
                    # The document writes its locations in upper case and prefers de.
                    doc = self.write(workdir, "doc.metalink", meta3([
                        (de.url("/data.bin"), "http", "DE", 100),
                        (jp.url("/data.bin"), "http", "JP", 10)]))
                    result = run_quarnc(workdir, ["-M", doc, "--split=1", option])
                    self.assertEqual(0, result.returncode, self.explain(result, workdir))
                    self.assertEqual(sha256(DATA), sha256(self.read(
                        os.path.join(workdir, "out.bin"))))
                    self.assertGreater(len(gets(jp)), before[0])
                    self.assertEqual(before[1], len(gets(de)))

    def test_preferred_protocol(self):
        ca = TestCA(self.mkdir("ca"))
        cert = ca.issue("mirror")
        with self.mirror("plain", host="127.0.0.2") as plain, \
                self.mirror("tls", ssl=cert) as tls:
            workdir = tempfile.mkdtemp(dir=self.dir)
            doc = self.write(workdir, "doc.metalink", meta3([
                (plain.url("/data.bin"), "http", "", 50),
                (tls.url("/data.bin", scheme="https"), "https", "", 50)]))
            result = run_quarnc(workdir, ["-M", doc, "--split=1", "--ca-certificate=" + ca.ca_cert,
                                          "--metalink-preferred-protocol=https"])
            self.assertEqual(0, result.returncode, self.explain(result, workdir))
            self.assertEqual(sha256(DATA), sha256(self.read(os.path.join(workdir, "out.bin"))))
            self.assertTrue(gets(tls))
            self.assertEqual([], gets(plain))


class BadDocuments(MetalinkTestBase):
    """Documents that break the rules or are no XML fail with code 20 and read nothing."""

    def setUp(self):
        super().setUp()
        self.secret = os.path.join(self.dir, "secret.txt")
        with open(self.secret, "w") as f:
            f.write("TOPSECRETVALUE")
        # Opening a FIFO for reading blocks until someone writes: a reader of it hangs.
        self.fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(self.fifo)

    def docs(self):
        bomb = "".join("<!ENTITY l%d \"%s\">" % (i, "&l%d;" % (i - 1) * 10) for i in range(1, 10))
        head = "<?xml version=\"1.0\"?>\n"
        return [
            ("file without a name", meta4([("http://127.0.0.1:9/x", "")], name=""),
             "Metalink format violation: Missing file@name"),
            ("url priority 0", meta4([("http://127.0.0.1:9/x", "priority=\"0\"")]),
             "Metalink format violation: url@priority is out of range"),
            ("malformed XML", meta4([])[:-20], "Could not parse Metalink XML document."),
            ("XML bomb", head + "<!DOCTYPE metalink [<!ENTITY l0 \"lolololololol\">" + bomb
             + "]>" + meta4([("http://127.0.0.1:9/&l9;", "")]).split("\n", 1)[1],
             "Could not parse Metalink XML document."),
            ("external entity to a local file", head + "<!DOCTYPE metalink [<!ENTITY x SYSTEM "
             "\"file://%s\">]>" % self.secret + meta4([("http://127.0.0.1:9/&x;", "")],
                                                         name="&x;").split("\n", 1)[1],
             "Could not parse Metalink XML document."),
            ("external entity to a FIFO", head + "<!DOCTYPE metalink [<!ENTITY x SYSTEM "
             "\"%s\">]>" % self.fifo + meta4([("http://127.0.0.1:9/&x;", "")]).split("\n", 1)[1],
             "Could not parse Metalink XML document."),
            ("external DTD", head + "<!DOCTYPE metalink SYSTEM \"%s\">" % self.fifo
             + meta4([("http://127.0.0.1:9/x", "")], name="").split("\n", 1)[1],
             "Metalink format violation: Missing file@name"),
        ]

    def test_cases(self):
        for name, doc, message in self.docs():
            with self.subTest(name):
                workdir = tempfile.mkdtemp(dir=self.dir)
                path = self.write(workdir, "doc.meta4", doc)
                result = run_quarnc(workdir, ["-M", path], timeout=60)
                self.assertEqual(20, result.returncode, self.explain(result, workdir))
                output = result.stdout + result.stderr
                self.assertIn(message.encode(), output)
                self.assertNotIn(b"TOPSECRETVALUE", output)
                self.assertNotIn("TOPSECRETVALUE", self.log(workdir))
        # The expanded bomb would take gigabytes.
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, 400 * 1024)


class Sources(MetalinkTestBase):
    """Where the document comes from: standard input, a fetched file, show-files."""

    def test_stdin(self):
        with self.mirror("m") as m:
            workdir = tempfile.mkdtemp(dir=self.dir)
            # A signature file already there is kept.
            self.write(workdir, "out.bin.sig", "MINE")
            result = run_quarnc(workdir, ["-M", "-"],
                                stdin=meta4([(m.url("/data.bin"), "")]).encode())
            self.assertEqual(0, result.returncode, self.explain(result, workdir))
            self.assertEqual(sha256(DATA), sha256(self.read(os.path.join(workdir, "out.bin"))))
            self.assertEqual(b"MINE", self.read(os.path.join(workdir, "out.bin.sig")))
            self.assertIn("Maybe file already exists.", self.log(workdir))

    def test_metalink_file_as_argument(self):
        with self.mirror("m") as m:
            workdir = tempfile.mkdtemp(dir=self.dir)
            doc = self.write(workdir, "doc.meta4", meta4([(m.url("/data.bin"), "")]))
            result = run_quarnc(workdir, [doc])
            self.assertEqual(0, result.returncode, self.explain(result, workdir))
            self.assertEqual(sha256(DATA), sha256(self.read(os.path.join(workdir, "out.bin"))))

    def test_several_files_and_selection(self):
        with self.mirror("m") as m:
            url = m.url("/data.bin")
            doc = meta4(None, files="".join(
                file4([(url, "")], name=n, pieces=False, signature=False)
                for n in ("one.bin", "sub/two.bin", "three.bin")))
            for args, made in (([], ["one.bin", "sub/two.bin", "three.bin"]),
                               (["--select-file=2-3"], ["sub/two.bin", "three.bin"])):
                with self.subTest(args):
                    workdir = tempfile.mkdtemp(dir=self.dir)
                    path = self.write(workdir, "doc.meta4", doc)
                    result = run_quarnc(workdir, ["-M", path] + args)
                    self.assertEqual(0, result.returncode, self.explain(result, workdir))
                    for name in ("one.bin", "sub/two.bin", "three.bin"):
                        out = os.path.join(workdir, name)
                        self.assertEqual(name in made, os.path.exists(out), name)
                        if name in made:
                            self.assertEqual(sha256(DATA), sha256(self.read(out)))

    def test_follow_metalink(self):
        # The document on the server names its mirror relative to itself.
        with self.mirror("m", extra="") as m:
            root = os.path.join(self.dir, "m-root")
            with open(os.path.join(root, "doc.meta4"), "w") as f:
                f.write(meta4([("data.bin", "")]))
            for follow, doc_kept, followed in (("true", True, True), ("mem", False, True),
                                               ("false", True, False)):
                with self.subTest(follow):
                    workdir = tempfile.mkdtemp(dir=self.dir)
                    result = run_quarnc(workdir, ["--follow-metalink=" + follow,
                                                  m.url("/doc.meta4")])
                    self.assertEqual(0, result.returncode, self.explain(result, workdir))
                    self.assertEqual(doc_kept, os.path.exists(os.path.join(workdir, "doc.meta4")))
                    out = os.path.join(workdir, "out.bin")
                    self.assertEqual(followed, os.path.exists(out))
                    if followed:
                        self.assertEqual(sha256(DATA), sha256(self.read(out)))
                        self.assertEqual(b"SIGNED", self.read(out + ".sig"))

    def test_show_files(self):
        workdir = tempfile.mkdtemp(dir=self.dir)
        doc = self.write(workdir, "doc.meta4", meta4([("http://127.0.0.1:9/x", "")],
                                                     name="dir/listed.bin"))
        for args in (["-S", doc], ["-S", "-M", doc]):
            with self.subTest(args[1]):
                result = run_quarnc(workdir, args)
                self.assertEqual(0, result.returncode, self.explain(result, workdir))
                self.assertIn(b"dir/listed.bin", result.stdout)
                self.assertIn(b"(%s)" % format(len(DATA), ",").encode(), result.stdout)
                self.assertFalse(os.path.exists(os.path.join(workdir, "dir")))


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    return b"d" + b"".join(bencode(k) + bencode(v) for k, v in sorted(value.items())) + b"e"


def metaurl(url, name=None):
    return "<metaurl mediatype=\"torrent\"%s>%s</metaurl>" % (
        " name=\"%s\"" % name if name else "", url)


def file_with_torrent(mirror_urls, torrent_url, name="out.bin", torrent_name=None):
    """A file element listing a torrent that holds the file, besides its mirrors."""
    return file4([(u, "") for u in mirror_urls], name=name, pieces=False,
                  signature=False).replace("</file>", metaurl(torrent_url, torrent_name) + "</file>")


class MetaurlFallback(MetalinkTestBase):
    """A torrent that is of no use leaves the file to its mirrors, and the failed torrent
    download does not make the run fail."""

    # name, the torrent served (None: none, the mirror answers 404), name inside the torrent
    CASES = [
        ("torrent missing", None, None),
        ("not a torrent", b"this is no torrent", None),
        ("torrent without that file", bencode({"announce": "http://127.0.0.1:9/a", "info": {
            "name": "t", "piece length": 16384, "pieces": b"h" * 20,
            "files": [{"length": 10, "path": ["other.bin"]}]}}), "t/out.bin"),
    ]

    def test_cases(self):
        with self.mirror("m", extra="") as m:
            root = os.path.join(self.dir, "m-root")
            for name, torrent, inner in self.CASES:
                with self.subTest(name):
                    tag = name.replace(" ", "-")
                    if torrent is not None:
                        with open(os.path.join(root, tag + ".torrent"), "wb") as f:
                            f.write(torrent)
                    workdir = tempfile.mkdtemp(dir=self.dir)
                    doc = self.write(workdir, "doc.meta4", meta4(None, files=file_with_torrent(
                        [m.url("/data.bin")], m.url("/%s.torrent" % tag), torrent_name=inner)))
                    result = run_quarnc(workdir, ["-M", doc, "--max-tries=1"])
                    self.assertEqual(0, result.returncode, self.explain(result, workdir))
                    self.assertEqual(sha256(DATA), sha256(self.read(
                        os.path.join(workdir, "out.bin"))))
                    log = self.log(workdir)
                    self.assertIn("Go without Bt.", log)
                    self.assertNotIn("Dependency resolved", log)
                    # The torrent was asked for, and kept in memory only.
                    self.assertTrue(any("/%s.torrent" % tag in line for line in gets(m)))
                    self.assertFalse(os.path.exists(os.path.join(workdir, tag + ".torrent")))


SEEDER = r"""
import os, sys, time
import libtorrent as lt
data_dir, name, torrent_out, tracker = sys.argv[1:5]
fs = lt.file_storage()
lt.add_files(fs, os.path.join(data_dir, name))
t = lt.create_torrent(fs, %d, flags=lt.create_torrent.v1_only)
t.add_tracker(tracker)
lt.set_piece_hashes(t, data_dir)
with open(torrent_out, "wb") as f:
    f.write(lt.bencode(t.generate()))
ses = lt.session({"listen_interfaces": "127.0.0.1:0", "enable_dht": False,
                  "enable_lsd": False, "enable_upnp": False, "enable_natpmp": False,
                  "enable_incoming_utp": False, "enable_outgoing_utp": False,
                  "allow_multiple_connections_per_ip": True})
h = ses.add_torrent({"ti": lt.torrent_info(torrent_out), "save_path": data_dir})
while not h.status().is_seeding:
    time.sleep(0.05)
print("READY", flush=True)
sys.stdin.read()
""" % PIECE


class Tracker:
    """An HTTP tracker that hands every announcer the others, in compact form."""

    def __init__(self):
        import http.server
        import socket
        import threading
        import urllib.parse
        peers = self.peers = {}

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query,
                                              encoding="latin-1")
                me = query["peer_id"][0]
                peers[me] = (self.client_address[0], int(query["port"][0]))
                compact = b"".join(socket.inet_aton(ip) + port.to_bytes(2, "big")
                                   for pid, (ip, port) in peers.items() if pid != me)
                body = bencode({"interval": 5, "peers": compact})
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()

    def url(self):
        return "http://127.0.0.1:%d/announce" % self.httpd.server_address[1]


class Seeder:
    """A libtorrent peer that makes a torrent of one file and seeds it."""

    def __init__(self, data_dir, name, torrent_out, tracker_url):
        self.args = ["/usr/bin/python3", "-c", SEEDER, data_dir, name, torrent_out, tracker_url]

    def __enter__(self):
        self.proc = subprocess.Popen(self.args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        line = self.proc.stdout.readline()
        if not line.startswith(b"READY"):
            self.proc.kill()
            raise AssertionError("seeder did not start: %r" % line)
        return self

    def __exit__(self, *exc):
        self.proc.stdin.close()
        self.proc.wait(20)
        self.proc.stdout.close()


def have_libtorrent():
    return subprocess.run(["/usr/bin/python3", "-c", "import libtorrent"],
                          capture_output=True).returncode == 0


@unittest.skipUnless(have("nginx") and have_libtorrent(), "needs nginx and python3-libtorrent")
class MetaurlSwarm(MetalinkTestBase):
    """The torrent a file lies in is fetched and the file comes through it, saved under the
    Metalink's own path."""

    # name, whether the mirror has the file
    CASES = [
        ("swarm and mirror", True),
        ("swarm only", False),
    ]

    def test_cases(self):
        with self.mirror("m", extra="") as m, Tracker() as tracker:
            root = os.path.join(self.dir, "m-root")
            with Seeder(root, "data.bin", os.path.join(root, "data.torrent"), tracker.url()):
                for name, mirrored in self.CASES:
                    with self.subTest(name):
                        workdir = tempfile.mkdtemp(dir=self.dir)
                        mirror = m.url("/data.bin" if mirrored else "/absent.bin")
                        doc = self.write(workdir, "doc.meta4", meta4(None, files=file_with_torrent(
                            [mirror], m.url("/data.torrent"), name="got/here.bin")))
                        result = run_quarnc(workdir, ["-M", doc, "--seed-time=0",
                                                      "--enable-dht=false", "--bt-enable-lpd=false"])
                        self.assertEqual(0, result.returncode, self.explain(result, workdir))
                        self.assertEqual(sha256(DATA), sha256(self.read(
                            os.path.join(workdir, "got", "here.bin"))))
                        self.assertIn("Dependency resolved", self.log(workdir))
                        # quarnc announced itself beside the seeder.
                        self.assertGreaterEqual(len(tracker.peers), 2)
                        self.assertFalse(os.path.exists(os.path.join(workdir, "data.bin")))
                        self.assertFalse(os.path.exists(os.path.join(workdir, "data.torrent")))


    def test_one_file_of_a_multi_file_torrent(self):
        # "a.bin" fills whole pieces, so no piece of "b.bin" touches it.
        first = RNG.randbytes(4 * PIECE)
        with self.mirror("m", extra="") as m, Tracker() as tracker:
            root = os.path.join(self.dir, "m-root")
            os.makedirs(os.path.join(root, "t"))
            for name, data in (("a.bin", first), ("b.bin", DATA)):
                with open(os.path.join(root, "t", name), "wb") as f:
                    f.write(data)
            with Seeder(root, "t", os.path.join(root, "t.torrent"), tracker.url()):
                workdir = tempfile.mkdtemp(dir=self.dir)
                doc = self.write(workdir, "doc.meta4", meta4(None, files=file_with_torrent(
                    [m.url("/absent.bin")], m.url("/t.torrent"), name="mine.bin",
                    torrent_name="t/b.bin")))
                result = run_quarnc(workdir, ["-M", doc, "--seed-time=0", "--enable-dht=false",
                                              "--bt-enable-lpd=false"])
                self.assertEqual(0, result.returncode, self.explain(result, workdir))
                self.assertEqual(sha256(DATA), sha256(self.read(os.path.join(workdir, "mine.bin"))))
                # The torrent's other file is not fetched.
                self.assertFalse(os.path.exists(os.path.join(workdir, "t", "a.bin")))
                self.assertFalse(os.path.exists(os.path.join(workdir, "t", "b.bin")))


class AddMetalinkOverRpc(MetalinkTestBase):
    """quarn.addMetalink queues every download of the document sent, over JSON-RPC (Base64
    text) and XML-RPC (a base64 element), and keeps the document when asked to."""

    def add_json(self, s, doc, options):
        return s.call("quarn.addMetalink", base64.b64encode(doc).decode(), options)

    def add_xml(self, s, doc, options):
        with xmlrpc.client.ServerProxy(s.url("/rpc")) as proxy:
            try:
                return {"result": proxy.quarn.addMetalink("token:" + s.secret,
                                                          xmlrpc.client.Binary(doc), options)}
            except xmlrpc.client.Fault as fault:
                return {"error": {"code": fault.faultCode, "message": fault.faultString}}

    def test_cases(self):
        with self.mirror("m") as m:
            url = m.url("/data.bin")
            two = meta4(None, files="".join(file4([(url, "")], name=n, pieces=False,
                                                  signature=False)
                                            for n in ("one.bin", "sub/two.bin"))).encode()
            # transport, document, options, server arguments, files made, document kept
            cases = [
                ("json", two, {}, [], ["one.bin", "sub/two.bin"], True),
                ("xml", two, {}, [], ["one.bin", "sub/two.bin"], True),
                ("json, not kept", two, {}, ["--rpc-save-upload-metadata=false"],
                 ["one.bin", "sub/two.bin"], False),
                ("json, second file selected", two, {"select-file": "2"}, [], ["sub/two.bin"],
                 True),
                ("json, nothing selected", two, {"select-file": "9"}, [], [], True),
            ]
            for name, doc, options, args, made, kept in cases:
                with self.subTest(name):
                    workdir = tempfile.mkdtemp(dir=self.dir)
                    add = self.add_xml if name.startswith("xml") else self.add_json
                    with ControlServer(workdir, args) as s:
                        answer = add(s, doc, options)
                        self.assertNotIn("error", answer)
                        gids = answer["result"]
                        self.assertEqual(len(made), len(gids))
                        for gid in gids:
                            wait_until(lambda: s.status(gid, ["status"])["status"] == "complete",
                                       what="download " + gid)
                        self.assertEqual([os.path.join(workdir, n) for n in made],
                                         [s.status(g, ["files"])["files"][0]["path"]
                                          for g in gids])
                    for n in made:
                        self.assertEqual(sha256(DATA), sha256(self.read(os.path.join(workdir, n))))
                    saved = os.path.join(workdir, hashlib.sha1(doc).hexdigest() + ".meta4")
                    self.assertEqual(kept, os.path.exists(saved))

    def test_bad_document_is_an_error(self):
        workdir = tempfile.mkdtemp(dir=self.dir)
        with ControlServer(workdir) as s:
            answer = self.add_json(s, b"<metalink", {})
            self.assertEqual(1, answer["error"]["code"])
            self.assertIn("Could not parse Metalink XML document.", answer["error"]["message"])
            answer = s.call("quarn.addMetalink", base64.b64encode(b"x").decode(), {}, -1)
            self.assertEqual("Position must be greater than or equal to 0.",
                             answer["error"]["message"])
            self.assertEqual("0", s.result("quarn.getGlobalStat")["numWaiting"])


if __name__ == "__main__":
    unittest.main()
