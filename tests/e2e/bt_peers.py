"""Swarm fixtures for the BitTorrent end-to-end tests and the benchmark.

- `LtPeer`: a libtorrent session in a child process (run by /usr/bin/python3, the
  interpreter Debian's python3-libtorrent belongs to), seeding or leeching one
  torrent on a loopback address, answering "status" on its stdin with one JSON line.
- `HttpTracker`: a small HTTP tracker in this process that records every announce
  and can be told to fail, to answer in the dictionary model, or to hide peers.
- `OpenTracker`: Debian's opentracker on a free port, with a whitelist.
- `NetNs`: a network namespace with extra addresses on `lo`, for tests that need
  peers on different addresses (a ban by address must not hit the good peer).
- `make_tree`, `mktorrent`, `read_torrent`, `info_hash`: content and torrents.

Run as `bt_peers.py peer CONFIG_JSON` it is the peer process itself.
"""

import contextlib
import ctypes
import functools
import hashlib
import json
import os
import random
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote_to_bytes

from ports import hold_port, udp_bound_elsewhere
from procs import read_text, stop_process

LT_PYTHON = "/usr/bin/python3"
LOOPBACK = "127.0.0.1"
HERE = os.path.dirname(os.path.abspath(__file__))


@functools.lru_cache(maxsize=None)
def have_libtorrent():
    if not os.path.exists(LT_PYTHON):
        return False
    probe = subprocess.run([LT_PYTHON, "-c", "import libtorrent"], capture_output=True)
    return probe.returncode == 0


def wait_until(predicate, timeout, what, poll=0.05):
    """Polls until `predicate()` is truthy; its value, or AssertionError naming `what`."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(poll)


# ---------------------------------------------------------------- content and torrents

def make_tree(root, layout, seed=1):
    """Writes files of pseudo-random bytes: `layout` maps relative path to size."""
    rng = random.Random(seed)
    for rel, size in layout.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path) or root, exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(size))


def file_sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def tree_sha256(root):
    """Relative path -> SHA-256 of every file under root."""
    out = {}
    for dirpath, _, files in os.walk(root):
        for name in files:
            path = os.path.join(dirpath, name)
            out[os.path.relpath(path, root)] = file_sha256(path)
    return out


def mktorrent(out, target, tiers=(), web_seeds=(), piece_exp=15, private=False, cwd=None):
    """A v1 torrent of `target` made by mktorrent; `tiers` is a list of URL lists."""
    args = ["mktorrent", "-o", out, "-l", str(piece_exp)]
    for tier in tiers:
        args += ["-a", ",".join(tier)]
    for url in web_seeds:
        args += ["-w", url]
    if private:
        args.append("-p")
    # mktorrent will not overwrite; a test remakes a torrent once it knows its trackers.
    if os.path.exists(os.path.join(cwd or ".", out)):
        os.remove(os.path.join(cwd or ".", out))
    subprocess.run(args + [target], cwd=cwd, check=True, capture_output=True)
    return out


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


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    items = sorted((k.encode() if isinstance(k, str) else k, v) for k, v in value.items())
    return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"


def read_torrent(path):
    with open(path, "rb") as f:
        return bdecode(f.read())[0]


def info_hash(path):
    """The 20-byte info hash (mktorrent writes the info dictionary canonically)."""
    with open(path, "rb") as f:
        raw = f.read()
    start = raw.index(b"4:info") + len(b"4:info")
    _, end = bdecode(raw, start)
    return hashlib.sha1(raw[start:end]).digest()


# ---------------------------------------------------------------- libtorrent peer

class LtPeer:
    """A libtorrent peer process for one torrent.

    `seed` True waits until it seeds (its data is checked first unless `seed_mode`,
    which serves the data unchecked: the way to make a corrupt seeder).
    """

    def __init__(self, torrent, save_path, seed=False, seed_mode=False, ip=LOOPBACK,
                 upload_limit=0, download_limit=0, connect=(), sample_chokes=False,
                 exit_when_done=False, netns=None, settings=None):
        # `settings` are extra libtorrent session settings, e.g. an encryption policy.
        self.config = {"settings": settings or {}, "torrent": os.path.abspath(torrent), "save_path": os.path.abspath(save_path),
                       "seed_mode": seed_mode, "ip": ip, "upload_limit": upload_limit,
                       "download_limit": download_limit, "connect": [list(c) for c in connect],
                       "sample_chokes": sample_chokes, "exit_when_done": exit_when_done}
        self.seed = seed
        self.ip = ip
        self.netns = netns
        self.proc = None
        self.port = None
        self._lock = threading.Lock()

    def command(self):
        cmd = [LT_PYTHON, os.path.join(HERE, "bt_peers.py"), "peer", json.dumps(self.config)]
        return self.netns.wrap(cmd) if self.netns else cmd

    def start(self):
        self.proc = subprocess.Popen(self.command(), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("libtorrent peer did not start: " + self.proc.stderr.read())
        self.port = json.loads(line)["port"]
        if self.seed:
            self.wait(lambda s: s["is_seeding"], 60, "the libtorrent seeder to seed")
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def status(self):
        with self._lock:
            self.proc.stdin.write("status\n")
            self.proc.stdin.flush()
            line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("libtorrent peer died: " + self.proc.stderr.read())
        return json.loads(line)

    def wait(self, predicate, timeout, what):
        last = {}

        def check():
            last["s"] = self.status()
            return predicate(last["s"])
        try:
            wait_until(check, timeout, what, poll=0.1)
        except AssertionError as e:
            raise AssertionError("%s; last status: %s" % (e, last.get("s"))) from None
        return last["s"]

    def close(self):
        if not self.proc:
            return
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
                self.proc.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait(10)
        for pipe in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            with contextlib.suppress(OSError):
                pipe.close()


def _peer_main(config):
    """The peer process: one libtorrent session, driven line by line through stdin."""
    import libtorrent as lt

    settings = {
        "listen_interfaces": "%s:0" % config["ip"],
        "outgoing_interfaces": config["ip"],
        "allow_multiple_connections_per_ip": True,
        "enable_incoming_utp": False, "enable_outgoing_utp": False,
        "enable_upnp": False, "enable_natpmp": False, "enable_lsd": False, "enable_dht": False,
        # Loopback peers would otherwise bypass every rate limit.
        "ignore_limits_on_local_network": False,
        # A seed-mode seeder would otherwise check each piece before serving it and
        # so never send the wrong data it is meant to send.
        "disable_hash_checks": config["seed_mode"],
        "alert_mask": lt.alert.category_t.error_notification |
        lt.alert.category_t.status_notification | lt.alert.category_t.tracker_notification |
        lt.alert.category_t.peer_notification | lt.alert.category_t.connect_notification,
    }
    settings.update(config["settings"])
    ses = lt.session(settings)
    params = lt.add_torrent_params()
    params.ti = lt.torrent_info(config["torrent"])
    params.save_path = config["save_path"]
    params.flags &= ~lt.torrent_flags.auto_managed
    params.flags &= ~lt.torrent_flags.paused
    if config["seed_mode"]:
        params.flags |= lt.torrent_flags.seed_mode
    handle = ses.add_torrent(params)
    if config["upload_limit"]:
        handle.set_upload_limit(config["upload_limit"])
    if config["download_limit"]:
        handle.set_download_limit(config["download_limit"])
    for ip, port in config["connect"]:
        handle.connect_peer((ip, port))
    print(json.dumps({"port": ses.listen_port()}), flush=True)

    counts = {"tracker_replies": 0, "tracker_errors": 0, "hash_failed": 0, "finished": 0}
    unchoked = {}  # endpoint -> whether the remote peer unchokes us, as last sampled
    events = []  # [monotonic time, endpoint, unchoked, peer id hex] at every change
    clients = {}  # endpoint -> [client name, peer id hex], kept after a peer leaves

    def peers():
        out = []
        for p in handle.get_peer_info():
            endpoint = "%s:%d" % tuple(p.ip)
            pid = bytes(p.pid.to_bytes()).hex() if hasattr(p.pid, "to_bytes") else str(p.pid)
            client = p.client.decode(errors="replace") if isinstance(p.client, bytes) \
                else p.client
            # Keep the name from the extension handshake once a peer has sent it.
            if endpoint not in clients or not client.startswith("Unknown"):
                clients[endpoint] = [client, pid]
            out.append({"endpoint": endpoint, "client": client, "pid": pid,
                        "remote_choked": bool(p.flags & lt.peer_info.remote_choked),
                        "seed": bool(p.flags & lt.peer_info.seed),
                        "total_download": p.total_download, "total_upload": p.total_upload})
        return out

    def sample_chokes(now):
        seen = set()
        for p in peers():
            seen.add(p["endpoint"])
            state = not p["remote_choked"]
            if unchoked.get(p["endpoint"]) != state:
                unchoked[p["endpoint"]] = state
                events.append([now, p["endpoint"], state, p["pid"]])
        for endpoint in [e for e in unchoked if e not in seen]:
            if unchoked.pop(endpoint):
                events.append([now, endpoint, False, clients[endpoint][1]])

    def status():
        st = handle.status()
        return {"state": str(st.state), "progress": st.progress, "is_seeding": st.is_seeding,
                "total_payload_upload": st.total_payload_upload,
                "total_payload_download": st.total_payload_download,
                "peers": peers(), "clients": clients, "unchoke_events": events, **counts}

    while True:
        for a in ses.pop_alerts():
            if isinstance(a, lt.tracker_reply_alert):
                counts["tracker_replies"] += 1
            elif isinstance(a, lt.tracker_error_alert):
                counts["tracker_errors"] += 1
                counts["last_tracker_error"] = a.message()
            elif isinstance(a, lt.peer_disconnected_alert):
                counts.setdefault("disconnects", []).append(a.message())
            elif isinstance(a, lt.hash_failed_alert):
                counts["hash_failed"] += 1
            elif isinstance(a, lt.torrent_finished_alert):
                counts["finished"] += 1
        # Every pass looks at the peers, so that a peer that came and went between
        # two status requests is still known by its client name and id.
        if config["sample_chokes"]:
            sample_chokes(time.monotonic())
        else:
            peers()
        if config["exit_when_done"] and counts["finished"]:
            return 0
        ready, _, _ = select.select([sys.stdin], [], [], 0.05)
        if not ready:
            continue
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            return 0
        print(json.dumps(status()), flush=True)


# ---------------------------------------------------------------- trackers

class HttpTracker:
    """An HTTP tracker that records announces and serves peers it was told of.

    `failure`: a "failure reason" text to answer every announce with.
    `dict_model`: answer peers as a list of dictionaries instead of a compact string.
    `hide_peers`: answer without any peer (a swarm nobody can reach).
    """

    def __init__(self, host=LOOPBACK, failure=None, dict_model=False, hide_peers=False,
                 interval=60, netns=None):
        self.failure = failure
        self.dict_model = dict_model
        self.hide_peers = hide_peers
        self.interval = interval
        self.announces = []  # dicts: event, peer_id, port, left, ip, info_hash, ...
        self.swarm = {}  # info hash -> {(ip, port): peer id}
        self.lock = threading.Lock()
        tracker = self

        class Handler(BaseHTTPRequestHandler):
            def do_GET(self):
                tracker._answer(self)

            def log_message(self, *args):
                pass

        with (netns.entered() if netns else contextlib.nullcontext()):
            self.server = ThreadingHTTPServer((host, 0), Handler)
        self.server.daemon_threads = True
        self.host = host
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def url(self, path="/announce"):
        return "http://%s:%d%s" % (self.host, self.port, path)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()

    def events(self, peer_id_prefix=b""):
        """The events of the announces whose peer id starts with the prefix ("" for none)."""
        with self.lock:
            return [a["event"] for a in self.announces if a["peer_id"].startswith(peer_id_prefix)]

    def by_peer(self, peer_id_prefix):
        with self.lock:
            return [a for a in self.announces if a["peer_id"].startswith(peer_id_prefix)]

    def _answer(self, handler):
        query = handler.path.split("?", 1)[1] if "?" in handler.path else ""
        raw = {}
        for item in query.split("&"):
            if "=" in item:
                key, value = item.split("=", 1)
                raw[key] = unquote_to_bytes(value)
        ann = {"path": handler.path.split("?", 1)[0], "info_hash": raw.get("info_hash", b""),
               "peer_id": raw.get("peer_id", b""), "event": raw.get("event", b"").decode(),
               "port": int(raw.get("port", b"0") or 0), "left": int(raw.get("left", b"-1")),
               "downloaded": int(raw.get("downloaded", b"-1")),
               "uploaded": int(raw.get("uploaded", b"-1")),
               "compact": raw.get("compact", b"").decode(), "ip": handler.client_address[0],
               "agent": handler.headers.get("User-Agent", ""), "query": query}
        with self.lock:
            self.announces.append(ann)
            swarm = self.swarm.setdefault(ann["info_hash"], {})
            me = (ann["ip"], ann["port"])
            if ann["event"] == "stopped":
                swarm.pop(me, None)
            elif ann["port"]:
                swarm[me] = ann["peer_id"]
            others = [(ip, port, pid) for (ip, port), pid in swarm.items() if (ip, port) != me]
        if self.failure is not None:
            body = bencode({"failure reason": self.failure})
        else:
            body = bencode({"interval": self.interval, "complete": 0, "incomplete": 0,
                            "peers": self._peers([] if self.hide_peers else others)})
        handler.send_response(200)
        handler.send_header("Content-Type", "text/plain")
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        handler.wfile.write(body)

    def _peers(self, others):
        if self.dict_model:
            return [{"ip": ip, "port": port, "peer id": pid} for ip, port, pid in others]
        compact = b""
        for ip, port, _ in others:
            compact += bytes(int(x) for x in ip.split(".")) + port.to_bytes(2, "big")
        return compact


class OpenTracker:
    """Debian's opentracker on a TCP and UDP port of `host`, for the given torrents:
    in a namespace of the test's own a fixed one, elsewhere one the test holds until
    opentracker has bound it."""

    def __init__(self, workdir, info_hashes, host=LOOPBACK, netns=None):
        self.host = host
        self.netns = netns
        self.hold = hold_port((host,), udp=True) if netns is None else None
        self.port = self.hold.port if self.hold else 6969
        self.dir = tempfile.mkdtemp(prefix="opentracker-", dir=workdir)
        os.chmod(self.dir, 0o755)
        with open(os.path.join(self.dir, "whitelist"), "w") as f:
            f.write("".join(h.hex() + "\n" for h in info_hashes))
        self.proc = None

    def url(self):
        return "http://%s:%d/announce" % (self.host, self.port)

    def __enter__(self):
        cmd = ["opentracker", "-i", self.host, "-p", str(self.port), "-P", str(self.port),
               "-u", "nobody", "-d", self.dir, "-w", "whitelist"]
        if self.netns:
            cmd = self.netns.wrap(cmd)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            wait_until(lambda: self._ready() or self.proc.poll() is not None, 10,
                       "opentracker to listen")
        finally:
            self._release()
        if self.proc.poll() is not None:
            raise RuntimeError("opentracker exited: " + self.proc.stderr.read().decode())
        return self

    def _ready(self):
        if not self._answers():
            return False
        # The held UDP socket shares the port: it must be gone before a datagram
        # comes, and may go once opentracker's own is bound beside it.
        return self.hold is None or udp_bound_elsewhere(self.port)

    def _release(self):
        if self.hold:
            self.hold.release()

    def _answers(self):
        import socket
        with (self.netns.entered() if self.netns else contextlib.nullcontext()):
            s = socket.socket()
        with s:
            s.settimeout(1)
            return s.connect_ex((self.host, self.port)) == 0

    def __exit__(self, *exc):
        self._release()
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)


# ---------------------------------------------------------------- network namespace

CLONE_NEWNET = 0x40000000


def can_unshare():
    if shutil.which("unshare") is None or shutil.which("nsenter") is None:
        return False
    return subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode == 0


class NetNs:
    """A network namespace held by a sleeping process, with `addresses` on its `lo`.

    Programs run in it through `wrap(cmd)`; sockets of this process are made in it
    inside `with ns.entered():` (the calling thread joins the namespace meanwhile).
    """

    def __init__(self, addresses):
        self.addresses = addresses
        self.holder = None

    def __enter__(self):
        self.holder = subprocess.Popen(["unshare", "-n", "sleep", "3600"])
        path = "/proc/%d/ns/net" % self.holder.pid
        wait_until(lambda: os.readlink(path) != os.readlink("/proc/self/ns/net"), 5,
                   "the namespace")
        self._ip("link", "set", "lo", "up")
        for address in self.addresses:
            self._ip("addr", "add", address + "/24", "dev", "lo")
        return self

    def __exit__(self, *exc):
        self.holder.kill()
        self.holder.wait(10)

    def _ip(self, *args):
        subprocess.run(self.wrap(["ip", *args]), check=True, capture_output=True)

    def wrap(self, cmd):
        return ["nsenter", "-t", str(self.holder.pid), "-n", *cmd]

    @contextlib.contextmanager
    def entered(self):
        libc = ctypes.CDLL(None, use_errno=True)
        home = os.open("/proc/self/task/%d/ns/net" % threading.get_native_id(), os.O_RDONLY)
        target = os.open("/proc/%d/ns/net" % self.holder.pid, os.O_RDONLY)
        try:
            if libc.setns(target, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns")
            yield
        finally:
            libc.setns(home, CLONE_NEWNET)
            os.close(home)
            os.close(target)


# ---------------------------------------------------------------- DHT nodes

class LtDhtNode(LtPeer):
    """A libtorrent session on 127.0.0.1 with its DHT on: an entry point for others,
    or, given a torrent, a seeder of it that announces itself through the DHT.

    `entry`: another node (anything with a `port`) this one bootstraps from.
    `status()` answers {"port", "node_id", "dht_nodes", "live": [[ip, port], ...] (the
    routing table's verified nodes), "announces": {info hash hex: [[ip, port], ...]}
    (announce_peer queries received), "is_seeding"}.
    """

    def __init__(self, torrent=None, save_path=None, entry=None):
        super().__init__(torrent or "", save_path or "", seed=bool(torrent))
        self.config = {"torrent": torrent and os.path.abspath(torrent),
                       "save_path": save_path and os.path.abspath(save_path),
                       "entry": entry.port if entry else None}

    def command(self):
        script = ("import json, sys; sys.path.insert(0, %r); import bt_peers; "
                  "sys.exit(bt_peers._dht_node_main(json.loads(sys.argv[1])))" % HERE)
        return [LT_PYTHON, "-c", script, json.dumps(self.config)]


def _dht_node_main(config):
    """The DHT node process: one libtorrent session, driven line by line through stdin."""
    import warnings

    import libtorrent as lt

    # The routing table is read through calls 2.0 marks deprecated; stderr is for errors.
    warnings.simplefilter("ignore", DeprecationWarning)
    ses = lt.session({
        "listen_interfaces": LOOPBACK + ":0", "outgoing_interfaces": LOOPBACK,
        "allow_multiple_connections_per_ip": True,
        "enable_incoming_utp": False, "enable_outgoing_utp": False,
        "enable_upnp": False, "enable_natpmp": False, "enable_lsd": False,
        "enable_dht": True, "dht_bootstrap_nodes": "",
        # Every node of these tests lives on 127.0.0.1.
        "dht_restrict_routing_ips": False, "dht_restrict_search_ips": False,
        "alert_mask": lt.alert.category_t.dht_notification |
        lt.alert.category_t.status_notification | lt.alert.category_t.error_notification,
    })
    if config["entry"]:
        ses.add_dht_node((LOOPBACK, config["entry"]))
    handle = None
    if config["torrent"]:
        params = lt.add_torrent_params()
        params.ti = lt.torrent_info(config["torrent"])
        params.save_path = config["save_path"]
        params.flags &= ~lt.torrent_flags.auto_managed
        params.flags &= ~lt.torrent_flags.paused
        handle = ses.add_torrent(params)
    node_id = ses.dht_state()[b"node-id"][0][:20]
    print(json.dumps({"port": ses.listen_port()}), flush=True)

    state = {"port": ses.listen_port(), "node_id": node_id.hex(), "live": [], "announces": {}}
    next_poll = next_announce = 0.0
    while True:
        for a in ses.pop_alerts():
            if isinstance(a, lt.dht_live_nodes_alert):
                state["live"] = [list(n["endpoint"]) for n in a.nodes]
            elif isinstance(a, lt.dht_announce_alert):
                peers = state["announces"].setdefault(str(a.info_hash), [])
                peers.append([a.ip, a.port])
        now = time.monotonic()
        if now >= next_poll:
            next_poll = now + 0.2
            ses.dht_live_nodes(lt.sha1_hash(node_id))
        # A torrent added before the table had a node announced to nobody: announce
        # as soon as there is a node, and now and then after that.
        if handle and state["live"] and now >= next_announce:
            next_announce = now + 15.0
            handle.force_dht_announce()
        ready, _, _ = select.select([sys.stdin], [], [], 0.05)
        if not ready:
            continue
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            return 0
        state["dht_nodes"] = ses.status().dht_nodes
        state["is_seeding"] = bool(handle and handle.status().is_seeding)
        print(json.dumps(state), flush=True)


# ---------------------------------------------------------------- transmission peer

def have_transmission():
    return shutil.which("transmission-daemon") is not None and \
        shutil.which("transmission-remote") is not None


class TransmissionPeer:
    """transmission-daemon on `ip` inside `netns`, driven through transmission-remote.

    It refuses peers on 127.0.0.0/8, so it only runs in a namespace whose `lo` has
    addresses of the test's own. uTP, DHT, local discovery, peer exchange and port
    mapping are off: the test's tracker is its only source of peers, TCP its only
    transport. `encryption`: 0 prefer plain, 1 prefer encrypted, 2 require encrypted.
    Its ports are fixed ones below the ephemeral range, which nothing else in the
    namespace binds (one transmission per namespace at a time).
    """

    RPC_PORT = 9091
    PEER_PORT = 6890  # quarnc takes 6881 in the same namespace

    def __init__(self, workdir, ip, netns, encryption=1, download_dir=None):
        self.ip = ip
        self.netns = netns
        self.dir = tempfile.mkdtemp(prefix="transmission-", dir=workdir)
        self.config_dir = os.path.join(self.dir, "config")
        # A seeder's download directory is where the data already is.
        self.download_dir = download_dir or os.path.join(self.dir, "download")
        os.makedirs(self.config_dir)
        os.makedirs(self.download_dir, exist_ok=True)
        self.rpc_port = self.RPC_PORT
        self.peer_port = self.PEER_PORT
        self.settings = {
            "bind-address-ipv4": ip, "bind-address-ipv6": "::1", "peer-port": self.peer_port,
            "peer-port-random-on-start": False, "rpc-bind-address": ip,
            "rpc-port": self.rpc_port, "rpc-whitelist-enabled": False,
            "rpc-host-whitelist-enabled": False, "rpc-authentication-required": False,
            "download-dir": self.download_dir, "incomplete-dir-enabled": False,
            "watch-dir-enabled": False, "utp-enabled": False, "dht-enabled": False,
            "lpd-enabled": False, "pex-enabled": False, "port-forwarding-enabled": False,
            "encryption": encryption, "ratio-limit-enabled": False,
            "idle-seeding-limit-enabled": False, "blocklist-enabled": False, "message-level": 2,
        }
        self.log = os.path.join(self.dir, "transmission.log")
        self.proc = None

    def __enter__(self):
        with open(os.path.join(self.config_dir, "settings.json"), "w") as f:
            json.dump(self.settings, f)
        cmd = ["transmission-daemon", "-f", "-g", self.config_dir, "--no-portmap",
               "--rpc-bind-address", self.ip, "-p", str(self.rpc_port),
               "--peerport", str(self.peer_port), "-e", self.log]
        self.proc = subprocess.Popen(self.netns.wrap(cmd), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            wait_until(lambda: self.proc.poll() is not None or
                       self._remote("-l").returncode == 0, 30, "transmission's RPC to answer")
            if self.proc.poll() is not None:
                raise RuntimeError("transmission-daemon exited: " +
                                   self.proc.stderr.read().decode(errors="replace"))
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        stop_process(self.proc, grace=15)
        self.proc.stderr.close()

    def _remote(self, *args):
        cmd = ["transmission-remote", "%s:%d" % (self.ip, self.rpc_port), *args]
        return subprocess.run(self.netns.wrap(cmd), capture_output=True, text=True, timeout=30)

    def remote(self, *args):
        """transmission-remote's output; RuntimeError when it fails."""
        result = self._remote(*args)
        if result.returncode != 0:
            raise RuntimeError("transmission-remote %s: %s%s" % (" ".join(args), result.stdout,
                                                                 result.stderr))
        return result.stdout

    def add(self, torrent):
        """Adds and starts a torrent whose data is (to be) in download_dir; its id."""
        self.remote("-a", os.path.abspath(torrent))
        ids = [int(line.split()[0].rstrip("*")) for line in self.remote("-l").splitlines()[1:-1]]
        return max(ids)

    def info(self, tid):
        """`-i` of one torrent as a dict of its "Key: value" lines."""
        out = {}
        for line in self.remote("-t", str(tid), "-i").splitlines():
            key, sep, value = line.strip().partition(": ")
            if sep:
                out[key] = value.strip()
        return out

    def percent_done(self, tid):
        return float(self.info(tid).get("Percent Done", "0%").rstrip("%"))

    def peers(self, tid):
        """[(address, flags)] of the torrent's connected peers."""
        lines = self.remote("-t", str(tid), "-ip").splitlines()
        if not lines or "Flags" not in lines[0]:
            return []
        # Columns are padded to the header's, and the flags column may be empty.
        flags, done = lines[0].index("Flags"), lines[0].index("Done")
        return [(line[:flags].strip(), line[flags:done].strip()) for line in lines[1:]
                if line.strip()]

    def log_text(self):
        return read_text(self.log)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "peer":
        sys.exit(_peer_main(json.loads(sys.argv[2])))
    sys.exit("usage: bt_peers.py peer CONFIG_JSON")
