"""Servers for the end-to-end download tests, all bound to 127.0.0.1 only.

CraftedServer answers each path with a behaviour the test gives it; NginxServer
and TinyProxy run the Debian programs with a configuration written per test;
TestCA makes a throw-away certificate authority with openssl.
"""

import base64
import email.utils
import gzip
import hashlib
import os
import shutil
import socket
import subprocess
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from ports import hold_port

LOOPBACK = "127.0.0.1"


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def file_sha256(path):
    with open(path, "rb") as f:
        return sha256(f.read())


def wait_for_port(port, timeout=10.0, host=LOOPBACK):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            with socket.create_connection((host, port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("server on port %d did not start" % port)


class Route:
    """What the crafted server does for one path."""

    def __init__(self, body=b"", status=200, ranges=True, chunked=False, encoding=None,
                 headers=None, location=None, stall_after=None, close_after=None,
                 auth=None, set_cookie=None, huge_head=0, fail_first=0, fail_status=503,
                 later_headers=None, last_modified=None, announce_length=None, rate=0):
        self.body = body
        self.status = status
        self.ranges = ranges
        self.chunked = chunked
        self.encoding = encoding  # "gzip" or "deflate": the body is sent encoded
        self.headers = headers or {}
        self.location = location
        self.stall_after = stall_after  # bytes of body sent before the server goes silent
        self.close_after = close_after  # bytes of the first body sent before a hang-up
        self.auth = auth  # (user, password) required through Basic
        self.set_cookie = set_cookie
        self.huge_head = huge_head  # bytes of filler header fields
        self.fail_first = fail_first  # the first N requests get fail_status
        self.fail_status = fail_status
        self.later_headers = later_headers or {}  # only on answers starting past byte 0
        self.last_modified = last_modified  # epoch seconds; If-Modified-Since is honoured
        self.announce_length = announce_length  # a Content-Length claimed, with no body sent
        self.rate = rate  # bytes per second of each answer's body; 0 for no limit
        self.hits = 0


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    def _serve(self, head):
        server = self.server
        server.seen.append({"method": self.command, "path": self.path,
                            "headers": {k.lower(): v for k, v in self.headers.items()}})
        route = server.routes.get(self.path.split("?")[0])
        if route is None:
            self._simple(404, b"not found")
            return
        route.hits += 1
        if route.hits <= route.fail_first:
            self._simple(route.fail_status, b"busy")
            return
        if route.auth:
            expected = "Basic " + base64.b64encode(
                ("%s:%s" % route.auth).encode()).decode()
            if self.headers.get("Authorization") != expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="e2e"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
        if route.location:
            self.send_response(route.status)
            self.send_header("Location", route.location)
            if route.set_cookie:
                self.send_header("Set-Cookie", route.set_cookie)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if route.status >= 400:
            self._simple(route.status, route.body or b"error")
            return
        if route.last_modified is not None and self._not_modified_since(route.last_modified):
            self.send_response(304)
            self.send_header("Last-Modified", email.utils.formatdate(route.last_modified,
                                                                     usegmt=True))
            self.end_headers()
            return
        if route.announce_length is not None:
            self.send_response(200)
            self.send_header("Content-Length", str(route.announce_length))
            self.end_headers()
            self.close_connection = True
            return
        self._serve_body(route, head)

    def _not_modified_since(self, mtime):
        since = self.headers.get("If-Modified-Since")
        if not since:
            return False
        try:
            return int(mtime) <= email.utils.parsedate_to_datetime(since).timestamp()
        except (TypeError, ValueError):
            return False

    def _simple(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _serve_body(self, route, head):
        body = route.body
        if route.encoding == "gzip":
            body = gzip.compress(body, mtime=0)
        elif route.encoding == "deflate":
            body = zlib.compress(body)
        status = route.status
        start, end = 0, len(body)
        rng = self.headers.get("Range")
        if rng and route.ranges and rng.startswith("bytes="):
            first, _, last = rng[6:].partition("-")
            start = int(first)
            end = int(last) + 1 if last else len(body)
            end = min(end, len(body))
            status = 206
        self.send_response(status)
        for k, v in route.headers.items():
            self.send_header(k, v)
        if start > 0:
            for k, v in route.later_headers.items():
                self.send_header(k, v)
        if route.last_modified is not None:
            self.send_header("Last-Modified", email.utils.formatdate(route.last_modified,
                                                                     usegmt=True))
        if route.set_cookie:
            self.send_header("Set-Cookie", route.set_cookie)
        if route.encoding:
            self.send_header("Content-Encoding", route.encoding)
        for i in range(route.huge_head // 400):
            self.send_header("X-Filler-%d" % i, "f" * 384)
        if route.ranges:
            self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, len(body)))
        part = body[start:end]
        if route.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(len(part)))
        self.end_headers()
        if head:
            return
        limit = route.stall_after
        if limit is None and route.close_after is not None and route.hits == 1:
            limit = route.close_after
        if limit is not None:
            part = part[:limit]
        if route.chunked:
            for i in range(0, len(part), 1000):
                piece = part[i:i + 1000]
                self.wfile.write(b"%x;ext=1\r\n%s\r\n" % (len(piece), piece))
            if limit is None:
                self.wfile.write(b"0\r\nX-Trailer: t\r\n\r\n")
        elif route.rate:
            self._write_paced(part, route.rate)
        else:
            self.wfile.write(part)
        self.wfile.flush()
        if route.stall_after is not None:
            self.server.stop_event.wait(120)
        if route.close_after is not None and route.hits == 1:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)


    def _write_paced(self, data, rate):
        step = max(1, rate // 20)
        for i in range(0, len(data), step):
            self.wfile.write(data[i:i + step])
            self.wfile.flush()
            time.sleep(0.05)


class CraftedServer:
    def __init__(self, routes):
        self.httpd = ThreadingHTTPServer((LOOPBACK, 0), _Handler)
        self.port = self.httpd.server_address[1]
        self.httpd.daemon_threads = True
        self.httpd.routes = routes
        self.httpd.seen = []
        self.httpd.stop_event = threading.Event()
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.stop_event.set()
        self.httpd.shutdown()
        self.httpd.server_close()

    @property
    def seen(self):
        return self.httpd.seen

    def url(self, path):
        return "http://%s:%d%s" % (LOOPBACK, self.port, path)


class NginxServer:
    """nginx serving `root` on 127.0.0.1 (or another loopback address), configured by
    the test; with `ipv6`, on ::1 as well, under the same port number."""

    def __init__(self, workdir, root, extra="", ssl=None, host=LOOPBACK, ipv6=False):
        self.host = host
        # Held until nginx listens on it.
        self.hold = hold_port((host, "::1") if ipv6 else (host,))
        self.port = self.hold.port
        self.prefix = os.path.join(workdir, "nginx")
        os.makedirs(os.path.join(self.prefix, "logs"), exist_ok=True)
        listen = "listen %s:%d%s;" % (host, self.port, " ssl" if ssl else "")
        if ipv6:
            listen += " listen [::1]:%d%s;" % (self.port, " ssl" if ssl else "")
        ssl_lines = ""
        if ssl:
            ssl_lines = "ssl_certificate %s; ssl_certificate_key %s;" % ssl
        conf = """
daemon off;
master_process off;
error_log %(p)s/logs/error.log;
pid %(p)s/nginx.pid;
events { worker_connections 64; }
http {
  access_log %(p)s/logs/access.log;
  client_body_temp_path %(p)s/tmp_body;
  proxy_temp_path %(p)s/tmp_proxy;
  fastcgi_temp_path %(p)s/tmp_fcgi;
  uwsgi_temp_path %(p)s/tmp_uwsgi;
  scgi_temp_path %(p)s/tmp_scgi;
  server {
    %(listen)s
    server_name localhost;
    %(ssl)s
    root %(root)s;
    %(extra)s
  }
}
""" % {"p": self.prefix, "listen": listen, "ssl": ssl_lines, "root": root, "extra": extra}
        self.conf = os.path.join(self.prefix, "nginx.conf")
        with open(self.conf, "w") as f:
            f.write(conf)
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(["nginx", "-p", self.prefix, "-c", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for_port(self.port, host=self.host)
        finally:
            self.hold.release()
        return self

    def __exit__(self, *exc):
        self.hold.release()
        self.proc.terminate()
        self.proc.wait(10)

    def access_log(self):
        with open(os.path.join(self.prefix, "logs", "access.log")) as f:
            return f.read().splitlines()

    def url(self, path, scheme="http"):
        return "%s://%s:%d%s" % (scheme, self.host, self.port, path)


class TinyProxy:
    """An HTTP proxy for GET and CONNECT, on 127.0.0.1 only."""

    def __init__(self, workdir, basic_auth=None):
        # Held until the proxy listens on it.
        self.hold = hold_port()
        self.port = self.hold.port
        self.dir = os.path.join(workdir, "tinyproxy")
        os.makedirs(self.dir, exist_ok=True)
        # The proxy drops to "nobody" before it opens its log.
        os.chmod(workdir, 0o755)
        os.chmod(self.dir, 0o777)
        self.log = os.path.join(self.dir, "proxy.log")
        lines = ["Port %d" % self.port, "Listen %s" % LOOPBACK, "Allow 127.0.0.1",
                 "User nobody", "Group nogroup", "Timeout 30", "LogFile \"%s\"" % self.log,
                 "LogLevel Connect", "MaxClients 20", "DisableViaHeader Yes"]
        if basic_auth:
            lines.append("BasicAuth %s %s" % basic_auth)
        self.conf = os.path.join(self.dir, "tinyproxy.conf")
        with open(self.conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(["tinyproxy", "-d", "-c", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for_port(self.port)
        finally:
            self.hold.release()
        return self

    def __exit__(self, *exc):
        self.hold.release()
        self.proc.terminate()
        self.proc.wait(10)

    def url(self):
        return "http://%s:%d" % (LOOPBACK, self.port)

    def log_text(self):
        try:
            with open(self.log) as f:
                return f.read()
        except OSError:
            return ""


class TestCA:
    """A throw-away CA and a server certificate for 127.0.0.1 and localhost."""

    def __init__(self, workdir):
        self.dir = os.path.join(workdir, "ca")
        os.makedirs(self.dir, exist_ok=True)
        self.ca_key = self._p("ca.key")
        self.ca_cert = self._p("ca.pem")
        self._run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.ca_key,
                  "-out", self.ca_cert, "-days", "2", "-subj", "/CN=quarn e2e CA")

    def _p(self, name):
        return os.path.join(self.dir, name)

    def _run(self, *args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def issue(self, name, san="IP:127.0.0.1,DNS:localhost", client=False):
        key, csr, cert, ext = (self._p(name + s) for s in (".key", ".csr", ".pem", ".ext"))
        with open(ext, "w") as f:
            f.write("subjectAltName=%s\nextendedKeyUsage=%s\n"
                    % (san, "clientAuth" if client else "serverAuth"))
        self._run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
                  "-subj", "/CN=%s" % name)
        self._run("x509", "-req", "-in", csr, "-CA", self.ca_cert, "-CAkey", self.ca_key,
                  "-CAcreateserial", "-out", cert, "-days", "2", "-extfile", ext)
        return cert, key


def have(program):
    return shutil.which(program) is not None
