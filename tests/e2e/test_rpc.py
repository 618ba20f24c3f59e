"""End-to-end tests of the control server: the real quarnc with --enable-rpc, driven
by python's own JSON-over-urllib, xmlrpc.client and http.client, and by
python3-websockets, while nginx serves the downloads on 127.0.0.1.
"""

import asyncio
import base64
import gzip
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request
import xmlrpc.client

from bt_peers import HttpTracker, LtPeer, have_libtorrent, info_hash, make_tree, mktorrent, \
    tree_sha256
from httpservers import LOOPBACK, NginxServer, TestCA, have, wait_for_port
from ports import QUARNC_PORTS, hold_port, rpc_hosts
from procs import stop_process

try:
    import websockets
except ImportError:  # an interpreter beside Debian's: its package is pure python
    sys.path.append("/usr/lib/python3/dist-packages")
    import websockets

QUARNC = os.environ.get("QUARNC", "quarnc")
SECRET = "s3cret"
SLOW_SIZE = 8 * 1024 * 1024


def wait_until(predicate, timeout=20.0, what="condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


class ControlServer:
    """A quarnc process with the control server on a port the test holds while
    quarnc runs: quarnc shares it, nobody else can take it."""

    def __init__(self, workdir, args=(), secret=SECRET, scheme="http"):
        self.workdir = workdir
        self.hold = hold_port(rpc_hosts())
        self.port = self.hold.port
        self.secret = secret
        self.scheme = scheme
        self.args = list(args)
        if secret is not None:
            self.args.append("--rpc-secret=" + secret)
        self.proc = None
        self.ssl_context = None

    def __enter__(self):
        env = dict(os.environ, HOME=self.workdir)
        self.proc = subprocess.Popen(
            [QUARNC, "--no-conf", "--dir=" + self.workdir, "--enable-rpc",
             "--rpc-listen-port=%d" % self.port, "--summary-interval=0",
             "--console-log-level=warn", "--quiet"] + self.args,
            cwd=self.workdir, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        wait_for_port(self.port)
        return self

    def __exit__(self, *exc):
        stop_process(self.proc, grace=15)
        self.hold.release()
        output = self.proc.stdout.read().decode(errors="replace")
        self.proc.stdout.close()
        # Sanitizer builds report there; nothing a client sends may trip them.
        if "Sanitizer" in output or "runtime error:" in output:
            raise AssertionError("quarnc reported:\n" + output)

    def url(self, path="/jsonrpc"):
        return "%s://%s:%d%s" % (self.scheme, LOOPBACK, self.port, path)

    def params(self, *params, token=True):
        p = list(params)
        if token and self.secret is not None:
            p.insert(0, "token:" + (token if isinstance(token, str) else self.secret))
        return p

    def post(self, body, headers=None):
        """(status, headers, body) of one POST to /jsonrpc."""
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        req = urllib.request.Request(self.url(), data=data, headers=headers or {})
        try:
            with urllib.request.urlopen(req, timeout=20, context=self.ssl_context) as r:
                return r.status, r.headers, r.read()
        except urllib.error.HTTPError as e:
            with e:
                return e.code, e.headers, e.read()

    def call(self, method, *params, token=True):
        """The answer object of one JSON-RPC call."""
        _, _, body = self.post({"jsonrpc": "2.0", "id": "t", "method": method,
                                "params": self.params(*params, token=token)})
        return json.loads(body)

    def result(self, method, *params):
        answer = self.call(method, *params)
        if "error" in answer:
            raise AssertionError("%s failed: %r" % (method, answer["error"]))
        return answer["result"]

    def status(self, gid, keys=None):
        return self.result("quarn.tellStatus", gid, *([keys] if keys else []))

    def control_connections(self):
        """The process's open sockets of accepted control connections."""
        inodes = set()
        for name in ("tcp", "tcp6"):
            with open("/proc/net/" + name) as f:
                for line in f.readlines()[1:]:
                    fields = line.split()
                    port = int(fields[1].rsplit(":", 1)[1], 16)
                    if port == self.port and fields[3] != "0A":  # not the listener
                        inodes.add(fields[9])
        fd_dir = "/proc/%d/fd" % self.proc.pid
        links = []
        for fd in os.listdir(fd_dir):
            try:
                links.append(os.readlink(os.path.join(fd_dir, fd)))
            except OSError:
                pass
        return sum(1 for link in links if link.startswith("socket:[") and link[8:-1] in inodes)


class RpcTestBase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not have("nginx"):
            raise unittest.SkipTest("nginx is not installed")
        cls.tmp = tempfile.TemporaryDirectory()
        root = os.path.join(cls.tmp.name, "www")
        os.makedirs(root)
        with open(os.path.join(root, "slow.bin"), "wb") as f:
            f.write(os.urandom(SLOW_SIZE))
        with open(os.path.join(root, "small.bin"), "wb") as f:
            f.write(os.urandom(64 * 1024))
        extra = """
        location /slow/ { alias %s/; limit_rate 40k; }
        location /fast/ { alias %s/; limit_rate 1m; }
        """ % (root, root)
        cls.nginx = NginxServer(cls.tmp.name, root, extra=extra)
        cls.nginx.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.nginx.__exit__(None, None, None)
        cls.tmp.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(dir=self.tmp.name)

    def server(self, *args, **kw):
        return ControlServer(self.work, *args, **kw)

    def slow_url(self):
        return self.nginx.url("/slow/slow.bin")


class JsonRpcTest(RpcTestBase):
    def test_download_control(self):
        with self.server() as s:
            gid = s.result("quarn.addUri", [self.slow_url()])
            wait_until(lambda: s.status(gid)["status"] == "active"
                       and int(s.status(gid)["completedLength"]) > 0, what="progress")
            self.assertEqual({"gid", "status", "totalLength"},
                             set(s.status(gid, ["gid", "status", "totalLength"])))
            self.assertEqual(str(SLOW_SIZE), s.status(gid)["totalLength"])
            self.assertEqual(gid, s.result("quarn.pause", gid))
            wait_until(lambda: s.status(gid)["status"] == "paused", what="pause")
            self.assertEqual([gid], [e["gid"] for e in s.result("quarn.tellWaiting", 0, 10)])
            self.assertEqual(gid, s.result("quarn.unpause", gid))
            wait_until(lambda: s.status(gid)["status"] == "active", what="unpause")
            self.assertEqual(gid, s.result("quarn.remove", gid))
            stopped = wait_until(lambda: s.result("quarn.tellStopped", 0, 10), what="removal")
            self.assertEqual(("removed", "31"), (stopped[0]["status"], stopped[0]["errorCode"]))
            stat = s.result("quarn.getGlobalStat")
            self.assertEqual(("0", "0", "1"),
                             (stat["numActive"], stat["numWaiting"], stat["numStopped"]))

    def test_wrong_token_is_refused_late(self):
        with self.server() as s:
            started = time.monotonic()
            status, headers, body = s.post({"jsonrpc": "2.0", "id": 1,
                                            "method": "quarn.getVersion",
                                            "params": ["token:wrong"]})
            self.assertGreaterEqual(time.monotonic() - started, 0.8)
            self.assertEqual(400, status)
            self.assertEqual("close", headers["Connection"])
            self.assertEqual({"code": 1, "message": "Unauthorized"}, json.loads(body)["error"])

    def test_changed_limits_take_effect(self):
        with self.server() as s:
            gid = s.result("quarn.addUri", [self.nginx.url("/fast/slow.bin")])
            wait_until(lambda: int(s.status(gid)["completedLength"]) > 0, what="progress")
            self.assertEqual("OK", s.result("quarn.changeOption", gid,
                                            {"max-download-limit": "20K"}))
            self.assertEqual("20480", s.result("quarn.getOption", gid)["max-download-limit"])
            # Give the limit a moment to bite, then measure over a few seconds: the
            # server alone would send 1 MiB/s.
            time.sleep(1.5)
            first = int(s.status(gid)["completedLength"])
            started = time.monotonic()
            time.sleep(3)
            rate = (int(s.status(gid)["completedLength"]) - first) / (time.monotonic() - started)
            self.assertLess(rate, 200 * 1024)
            self.assertEqual("OK", s.result("quarn.changeGlobalOption",
                                            {"max-overall-download-limit": "10K",
                                             "max-concurrent-downloads": "3"}))
            options = s.result("quarn.getGlobalOption")
            self.assertEqual(("10240", "3"), (options["max-overall-download-limit"],
                                              options["max-concurrent-downloads"]))
            self.assertNotIn("rpc-secret", options)

    def test_option_for_a_stopped_download_restarts_it(self):
        with self.server() as s:
            gid = s.result("quarn.addUri", [self.slow_url()])
            wait_until(lambda: int(s.status(gid)["completedLength"]) > 0, what="progress")
            # "out" can only change while the download is stopped: it stops and
            # comes back under the new name.
            self.assertEqual("OK", s.result("quarn.changeOption", gid, {"out": "renamed.bin"}))
            path = os.path.join(self.work, "renamed.bin")
            wait_until(lambda: s.status(gid)["files"][0]["path"] == path
                       and s.status(gid)["status"] == "active", what="restart")
            wait_until(lambda: os.path.exists(path), what="renamed file")
            self.assertEqual("renamed.bin", s.result("quarn.getOption", gid)["out"])

    def test_save_session_restart_and_shutdown(self):
        session = os.path.join(self.work, "session.txt")
        with self.server(["--save-session=" + session]) as s:
            gid = s.result("quarn.addUri", [self.slow_url()], {"pause": "true"})
            self.assertEqual("OK", s.result("quarn.saveSession"))
            with open(session) as f:
                self.assertIn(self.slow_url(), f.read())
            self.assertEqual("OK", s.result("quarn.shutdown"))
            s.proc.wait(15)
        with self.server(["--input-file=" + session]) as s:
            def restored():
                entries = s.result("quarn.tellWaiting", 0, 10) + s.result("quarn.tellActive")
                return [e for e in entries if e["gid"] == gid]
            entry = wait_until(restored, what="restored download")[0]
            self.assertEqual(self.slow_url(), entry["files"][0]["uris"][0]["uri"])
            self.assertEqual("OK", s.result("quarn.forceShutdown"))
            s.proc.wait(15)

    def test_unsupported_inputs_are_refused(self):
        with self.server() as s:
            torrent = base64.b64encode(b"d4:infod6:lengthi1e4:name1:aee").decode()
            self.assertEqual(1, s.call("quarn.addTorrent", torrent)["error"]["code"])
            self.assertEqual(1, s.call("quarn.addMetalink", torrent)["error"]["code"])


class XmlRpcTest(RpcTestBase):
    def test_core_calls_and_multicall(self):
        with self.server() as s:
            proxy = xmlrpc.client.ServerProxy(s.url("/rpc"))
            self.assertEqual(36, len(proxy.system.listMethods()))
            token = "token:" + SECRET
            gid = proxy.quarn.addUri(token, [self.slow_url()])
            self.assertEqual(gid, proxy.quarn.tellStatus(token, gid, ["gid"])["gid"])
            self.assertEqual(gid, proxy.quarn.forcePause(token, gid))
            # The pause takes effect on a later turn of the loop, once the data
            # written so far has been synced; only then is the download waiting.
            wait_until(lambda: proxy.quarn.tellStatus(token, gid, ["status"])["status"] == "paused",
                       what="pause")
            results = proxy.system.multicall([
                {"methodName": "quarn.getVersion", "params": [token]},
                {"methodName": "system.multicall", "params": []},
                {"methodName": "quarn.tellStatus", "params": [token, "zz"]},
                {"methodName": "quarn.getGlobalStat", "params": [token]},
            ])
            self.assertEqual(4, len(results))
            self.assertIn("version", results[0][0])
            self.assertEqual("Recursive system.multicall forbidden.", results[1]["faultString"])
            self.assertEqual(1, results[2]["faultCode"])
            self.assertEqual("1", results[3][0]["numWaiting"])
            started = time.monotonic()
            with self.assertRaises(xmlrpc.client.Fault) as fault:
                proxy.quarn.getVersion("token:wrong")
            self.assertGreaterEqual(time.monotonic() - started, 0.8)
            self.assertEqual("Unauthorized", fault.exception.faultString)


@unittest.skipUnless(have_libtorrent() and have("mktorrent"), "libtorrent or mktorrent missing")
class TorrentRpcTest(unittest.TestCase):
    """Torrents uploaded through the control server download from a libtorrent seeder
    found through a tracker of the test's own, and report their peers while they run."""

    PAYLOAD = {"payload.bin": 1536 * 1024 + 99}

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.seed_dir = os.path.join(self.tmp.name, "seed")
        make_tree(self.seed_dir, self.PAYLOAD)
        self.tracker = HttpTracker().__enter__()
        self.addCleanup(self.tracker.__exit__, None, None, None)
        self.torrent = os.path.join(self.tmp.name, "payload.torrent")
        mktorrent(self.torrent, "payload.bin", tiers=[[self.tracker.url()]], cwd=self.seed_dir)
        with open(self.torrent, "rb") as f:
            self.data = f.read()
        # Slow enough that the download is still running when its peers are asked for.
        self.seeder = LtPeer(self.torrent, self.seed_dir, seed=True, upload_limit=400 * 1024)
        self.seeder.start()
        self.addCleanup(self.seeder.close)
        self.addCleanup(self.tmp.cleanup)

    def server(self):
        work = os.path.join(self.tmp.name, "quarnc")
        os.makedirs(work, exist_ok=True)
        return ControlServer(work, ["--enable-dht=false", "--bt-enable-lpd=false",
                                    "--seed-time=0", "--listen-port=" + QUARNC_PORTS])

    def add_json(self, s, dl):
        return s.result("quarn.addTorrent", base64.b64encode(self.data).decode(), [],
                        {"dir": dl})

    def add_xml(self, s, dl):
        with xmlrpc.client.ServerProxy(s.url("/rpc")) as proxy:
            return proxy.quarn.addTorrent("token:" + SECRET, xmlrpc.client.Binary(self.data), [],
                                          {"dir": dl})

    def test_uploaded_torrents_download_from_the_seeder(self):
        cases = [("JSON-RPC, Base64 text", self.add_json),
                 ("XML-RPC, base64 element", self.add_xml)]
        with self.server() as s:
            for name, add in cases:
                with self.subTest(name):
                    dl = os.path.join(s.workdir, name.split(",")[0])
                    gid = add(s, dl)
                    # A peer counts as a seeder once its bitfield has arrived.
                    peers = wait_until(
                        lambda: [p for p in s.result("quarn.getPeers", gid)
                                 if p["seeder"] == "true"], timeout=60,
                        what="the seeder among the peers")
                    self.assertEqual([(LOOPBACK, str(self.seeder.port), "true")],
                                     [(p["ip"], p["port"], p["seeder"]) for p in peers])
                    # The seeder has every piece (mktorrent's pieces are 32 KiB).
                    pieces = -(-sum(self.PAYLOAD.values()) // (1 << 15))
                    self.assertEqual(pieces, bin(int(peers[0]["bitfield"], 16)).count("1"))
                    status = s.status(gid)
                    self.assertEqual(info_hash(self.torrent).hex(), status["infoHash"])
                    self.assertEqual("payload.bin", status["bittorrent"]["info"]["name"])
                    self.assertEqual("single", status["bittorrent"]["mode"])
                    self.assertEqual([[self.tracker.url()]],
                                     status["bittorrent"]["announceList"])
                    self.assertEqual("1", status["numSeeders"])
                    self.assertEqual("false", status["seeder"])
                    done = wait_until(
                        lambda: [e for e in s.result("quarn.tellStopped", 0, 10)
                                 if e["gid"] == gid], timeout=90, what="the download's end")[0]
                    self.assertEqual(("complete", "0"), (done["status"], done["errorCode"]))
                    self.assertEqual(info_hash(self.torrent).hex(), done["infoHash"])
                    self.assertEqual("payload.bin", done["bittorrent"]["info"]["name"])
                    self.assertEqual(tree_sha256(self.seed_dir), tree_sha256(dl))


def ws_connect(s, **kw):
    return websockets.connect(s.url("/jsonrpc").replace("http", "ws", 1), ping_interval=None,
                              max_size=None, **kw)


def raw_request(port, text):
    with socket.create_connection((LOOPBACK, port), timeout=10) as c:
        c.sendall(text.encode())
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = c.recv(4096)
            if not chunk:
                break
            data += chunk
        return data.decode("latin-1")


class WebSocketTest(RpcTestBase):
    def test_calls_and_notifications(self):
        with self.server() as s:
            async def session():
                async with ws_connect(s) as ws:
                    await ws.send(json.dumps({"jsonrpc": "2.0", "id": 5, "method": "quarn.addUri",
                                              "params": s.params([self.nginx.url("/small.bin")])}))
                    seen = []
                    gid = None
                    while "quarn.onDownloadComplete" not in seen:
                        msg = json.loads(await asyncio.wait_for(ws.recv(), 20))
                        if msg.get("id") == 5:
                            gid = msg["result"]
                        elif "method" in msg:
                            self.assertEqual(gid, msg["params"][0]["gid"])
                            seen.append(msg["method"])
                    self.assertEqual(["quarn.onDownloadStart", "quarn.onDownloadComplete"], seen)
                    batch = [{"jsonrpc": "2.0", "id": i, "method": "quarn.getVersion",
                              "params": [tok]} for i, tok in
                             enumerate(["token:" + SECRET, "token:wrong", "token:" + SECRET])]
                    started = time.monotonic()
                    await ws.send(json.dumps(batch))
                    answer = json.loads(await asyncio.wait_for(ws.recv(), 10))
                    self.assertGreaterEqual(time.monotonic() - started, 0.8)
                    self.assertEqual(["result", "error", "error"],
                                     [("result" if "result" in a else "error") for a in answer])
            asyncio.run(session())

    def test_oversized_messages_are_dropped_whole(self):
        with self.server(["--rpc-max-request-size=1024"]) as s:
            call = json.dumps({"jsonrpc": "2.0", "id": 9, "method": "quarn.getVersion",
                               "params": s.params()})

            async def session():
                async with ws_connect(s) as ws:
                    await ws.send(" " * 2000 + call)
                    self.assertEqual(-32700, json.loads(await ws.recv())["error"]["code"])
                    # A dropped first part must not let a later, smaller part run.
                    await ws.send(iter([" " * 1500, call]))
                    self.assertEqual(-32700, json.loads(await ws.recv())["error"]["code"])
                    await ws.send(call)
                    self.assertEqual(9, json.loads(await ws.recv())["id"])
                    # A ping is answered by the library, and told it is no call.
                    await ws.ping()
                    self.assertEqual({"id": None, "jsonrpc": "2.0",
                                      "error": {"code": -32600, "message": "Invalid Request."}},
                                     json.loads(await ws.recv()))
            asyncio.run(session())

    def test_handshake_refusals(self):
        with self.server(secret=None) as s:
            head = ("GET /jsonrpc HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n"
                    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n")
            answer = raw_request(s.port, head + "Sec-WebSocket-Version: 8\r\n\r\n")
            self.assertTrue(answer.startswith("HTTP/1.1 426 Upgrade Required\r\n"), answer)
            self.assertIn("\r\nSec-WebSocket-Version: 13\r\n", answer)
            answer = raw_request(s.port, head + "Sec-WebSocket-Version: 13\r\n"
                                 "Origin: http://evil.example\r\n\r\n")
            self.assertTrue(answer.startswith("HTTP/1.1 403 Forbidden\r\n"), answer)
            answer = raw_request(s.port, head + "Sec-WebSocket-Version: 13\r\n"
                                 "Origin: http://localhost:8080\r\n\r\n")
            self.assertTrue(answer.startswith("HTTP/1.1 101 Switching Protocols\r\n"), answer)
            self.assertIn("\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n", answer)


class HttpDetailsTest(RpcTestBase):
    def test_jsonp_and_gzip(self):
        with self.server() as s:
            params = base64.b64encode(json.dumps(s.params()).encode()).decode()
            url = s.url("/jsonrpc?method=quarn.getVersion&id=3&params=%s&jsoncallback=cb"
                        % urllib.request.quote(params))
            req = urllib.request.Request(url, headers={"Accept-Encoding": "gzip"})
            with urllib.request.urlopen(req, timeout=10) as r:
                self.assertEqual("text/javascript", r.headers["Content-Type"])
                self.assertEqual("gzip", r.headers["Content-Encoding"])
                text = gzip.decompress(r.read()).decode()
            self.assertTrue(text.startswith("cb(") and text.endswith(")"), text)
            self.assertEqual("1.37.0", json.loads(text[3:-1])["result"]["version"])

    def test_preflight(self):
        preflight = {"Origin": "http://example.org", "Access-Control-Request-Method": "POST",
                     "Access-Control-Request-Headers": "Content-Type"}
        for allow_all in (False, True):
            with self.server(["--rpc-allow-origin-all"] if allow_all else []) as s:
                conn = http.client.HTTPConnection(LOOPBACK, s.port, timeout=10)
                conn.request("OPTIONS", "/jsonrpc", headers=preflight)
                r = conn.getresponse()
                r.read()
                self.assertEqual(200, r.status)
                if allow_all:
                    self.assertEqual("*", r.headers["Access-Control-Allow-Origin"])
                    self.assertEqual("POST, GET, OPTIONS", r.headers["Access-Control-Allow-Methods"])
                    self.assertEqual("Content-Type", r.headers["Access-Control-Allow-Headers"])
                else:
                    self.assertIsNone(r.headers["Access-Control-Allow-Methods"])
                conn.close()

    def test_cross_origin_without_secret(self):
        with self.server(secret=None) as s:
            call = {"jsonrpc": "2.0", "id": 1, "method": "quarn.getVersion"}
            self.assertEqual(403, s.post(call, {"Origin": "http://evil.example"})[0])
            self.assertEqual(200, s.post(call, {"Origin": "http://127.0.0.1:9"})[0])
            self.assertEqual(200, s.post(call)[0])

    def test_basic_auth(self):
        with self.server(["--rpc-user=u", "--rpc-passwd=p"], secret=None) as s:
            call = {"jsonrpc": "2.0", "id": 1, "method": "quarn.getVersion"}
            status, headers, _ = s.post(call)
            self.assertEqual(401, status)
            self.assertEqual('Basic realm="quarn"', headers["WWW-Authenticate"])
            good = "Basic " + base64.b64encode(b"u:p").decode()
            self.assertEqual(200, s.post(call, {"Authorization": good})[0])
            bad = "Basic " + base64.b64encode(b"u:x").decode()
            self.assertEqual(401, s.post(call, {"Authorization": bad})[0])

    def test_request_size_limit(self):
        with self.server(["--rpc-max-request-size=100"]) as s:
            call = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "quarn.getVersion",
                               "params": s.params()}).encode()
            exact = call + b" " * (100 - len(call))
            self.assertEqual(200, s.post(exact)[0])
            with self.assertRaises((http.client.RemoteDisconnected, ConnectionError,
                                    urllib.error.URLError)):
                s.post(exact + b" ")

    def test_secure_transport(self):
        ca = TestCA(self.work)
        cert, key = ca.issue("rpc")
        with self.server(["--rpc-secure", "--rpc-certificate=" + cert,
                          "--rpc-private-key=" + key], scheme="https") as s:
            s.ssl_context = ssl.create_default_context(cafile=ca.ca_cert)
            self.assertEqual("1.37.0", s.result("quarn.getVersion")["version"])

    def test_keep_alive(self):
        with self.server() as s:
            conn = http.client.HTTPConnection(LOOPBACK, s.port, timeout=10)
            for i in range(2):
                conn.request("POST", "/jsonrpc", json.dumps(
                    {"jsonrpc": "2.0", "id": i, "method": "quarn.getVersion",
                     "params": s.params()}))
                if i == 0:
                    sock = conn.sock
                r = conn.getresponse()
                self.assertEqual(i, json.loads(r.read())["id"])
                self.assertIsNone(r.headers["Connection"])
            self.assertIs(sock, conn.sock)
            conn.close()


class ManyClientsTest(RpcTestBase):
    def test_concurrent_clients(self):
        with self.server(["--max-concurrent-downloads=20"]) as s:
            for _ in range(20):
                s.result("quarn.addUri", [self.slow_url()])
            wait_until(lambda: len(s.result("quarn.tellActive", ["gid"])) == 20, what="downloads")
            errors = []
            body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "quarn.tellActive",
                               "params": s.params(["gid", "status"])})

            def client():
                try:
                    conn = http.client.HTTPConnection(LOOPBACK, s.port, timeout=30)
                    conn.request("POST", "/jsonrpc", body)
                    answer = json.loads(conn.getresponse().read())
                    conn.close()
                    if len(answer["result"]) != 20:
                        errors.append(answer)
                except Exception as e:  # noqa: BLE001 - every failure counts
                    errors.append(e)
            threads = [threading.Thread(target=client) for _ in range(200)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(60)
            self.assertEqual([], errors)
            stat = s.result("quarn.getGlobalStat")
            self.assertEqual(("20", "0"), (stat["numActive"], stat["numStopped"]))
            wait_until(lambda: s.control_connections() == 0, what="descriptors to be released")


if __name__ == "__main__":
    unittest.main()
