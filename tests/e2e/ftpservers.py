"""FTP and SFTP servers for the end-to-end tests, each on 127.0.0.1 (or ::1)
on a free port, each in a temporary directory removed on exit.

- ScriptedFtpServer: pyftpdlib under the system interpreter, told to misbehave.
- Vsftpd: the real vsftpd, anonymous, passive and active, logging the protocol.
- Sshd: the real sshd with its own host key and a throw-away user (SFTP only).
- ConnectProxy: an HTTP proxy that opens CONNECT tunnels to loopback ports.
vsftpd and sshd need root; `available` says whether a server could start.
"""

import base64
import hashlib
import os
import secrets
import select
import shutil
import socket
import subprocess
import tempfile
import threading
import time

from ports import hold_port
from procs import stop_process

HERE = os.path.dirname(os.path.abspath(__file__))
SYSTEM_PYTHON = "/usr/bin/python3"


def wait_listening(host, port, proc, seconds=20):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    deadline = time.time() + seconds
    while time.time() < deadline:
        if proc.poll() is not None:
            return False
        with socket.socket(family) as s:
            if s.connect_ex((host, port)) == 0:
                return True
        time.sleep(0.05)
    return False


def url_host(host):
    return "[%s]" % host if ":" in host else host


class _ServerBase:
    host = "127.0.0.1"
    scheme = "ftp"

    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="quarn-ftp-")
        os.chmod(self.tmp, 0o755)
        self.root = os.path.join(self.tmp, "root")
        os.mkdir(self.root)
        os.chmod(self.root, 0o755)
        self.proc = None
        self.port = 0
        self.available = False
        self.why = ""

    def put(self, relpath, data):
        path = os.path.join(self.root, relpath)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        for d in range(len(relpath.split("/")) - 1):
            os.chmod(os.path.join(self.root, *relpath.split("/")[:d + 1]), 0o755)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o644)
        return path

    def url(self, relpath, userinfo=""):
        auth = userinfo + "@" if userinfo else ""
        return "%s://%s%s:%d/%s" % (self.scheme, auth, url_host(self.host), self.port, relpath)

    def stop(self):
        stop_process(self.proc)
        self.proc = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self.cleanup()

    def cleanup(self):
        shutil.rmtree(self.tmp, ignore_errors=True)


class ScriptedFtpServer(_ServerBase):
    """pyftpdlib, anonymous plus the given users; `commands()` lists every
    command line the client sent, in order."""

    def __init__(self, users=(), anonymous=True, refuse=(), cut_data_after=0, final_status="",
                 rate=0, host="127.0.0.1", replies=None):
        super().__init__()
        self.host = host
        self.log = os.path.join(self.tmp, "commands.log")
        port_file = os.path.join(self.tmp, "port")
        args = [SYSTEM_PYTHON, os.path.join(HERE, "ftp_scripted_server.py"), "--host", host,
                "--root", self.root, "--port-file", port_file, "--log", self.log]
        for user, password in users:
            args += ["--user", "%s:%s" % (user, password)]
        if not anonymous:
            args.append("--no-anonymous")
        for cmd in refuse:
            args += ["--refuse", cmd]
        if cut_data_after:
            args += ["--cut-data-after", str(cut_data_after)]
        if final_status:
            args += ["--final-status", final_status]
        if rate:
            args += ["--rate", str(rate)]
        for cmd, text in (replies or {}).items():
            args += ["--reply", "%s=%s" % (cmd, text)]
        self.errlog = open(os.path.join(self.tmp, "server.err"), "wb")
        self.proc = subprocess.Popen(args, stdout=self.errlog, stderr=self.errlog)
        deadline = time.time() + 20
        while time.time() < deadline and self.proc.poll() is None:
            if os.path.exists(port_file):
                with open(port_file) as f:
                    self.port = int(f.read())
                self.available = True
                return
            time.sleep(0.05)
        self.stop()
        with open(os.path.join(self.tmp, "server.err"), "rb") as f:
            self.why = "scripted FTP server did not start: " + f.read().decode(errors="replace")

    def commands(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().splitlines()

    def verbs(self):
        return [line.split(" ", 1)[0].upper() for line in self.commands()]

    def cleanup(self):
        self.errlog.close()
        super().cleanup()


class Vsftpd(_ServerBase):
    """vsftpd serving `root` anonymously; `log()` is its protocol log."""

    def __init__(self):
        super().__init__()
        self.logfile = os.path.join(self.tmp, "vsftpd.log")
        if os.geteuid() != 0:
            self.why = "vsftpd needs root"
            return
        if not os.path.exists("/usr/sbin/vsftpd"):
            self.why = "vsftpd is not installed"
            return
        os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
        os.chown(self.root, 0, 0)
        # Held until vsftpd listens on it.
        hold = hold_port()
        self.port = hold.port
        conf = os.path.join(self.tmp, "vsftpd.conf")
        with open(conf, "w") as f:
            f.write("\n".join([
                "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1",
                "listen_port=%d" % self.port, "background=NO",
                "anonymous_enable=YES", "anon_root=" + self.root, "no_anon_password=YES",
                "local_enable=NO", "write_enable=NO",
                "pasv_enable=YES", "pasv_address=127.0.0.1", "port_enable=YES",
                "connect_from_port_20=NO", "seccomp_sandbox=NO",
                "xferlog_enable=YES", "log_ftp_protocol=YES", "xferlog_std_format=NO",
                "vsftpd_log_file=" + self.logfile, "dual_log_enable=NO",
                "syslog_enable=NO", "secure_chroot_dir=/var/run/vsftpd/empty",
                "",
            ]))
        os.chmod(conf, 0o600)
        self.errlog = open(os.path.join(self.tmp, "vsftpd.err"), "wb")
        self.proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=self.errlog,
                                     stderr=self.errlog)
        with hold:
            listening = wait_listening("127.0.0.1", self.port, self.proc)
        if listening:
            self.available = True
        else:
            self.stop()
            self.why = "vsftpd did not start"

    def log(self):
        try:
            with open(self.logfile, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def cleanup(self):
        if hasattr(self, "errlog"):
            self.errlog.close()
        super().cleanup()


def _run_retrying(args, **kw):
    # useradd and userdel lock the account files; parallel tests may hold it.
    for _ in range(50):
        if subprocess.run(args, capture_output=True, **kw).returncode == 0:
            return True
        time.sleep(0.1)
    return False


class Sshd(_ServerBase):
    """sshd on 127.0.0.1 serving SFTP only to a throw-away user with a password."""

    scheme = "sftp"

    def __init__(self):
        super().__init__()
        self.user = "qnf%d" % os.getpid()
        self.password = "Pw" + secrets.token_hex(8)
        self.user_added = False
        self.logfile = os.path.join(self.tmp, "sshd.log")
        if os.geteuid() != 0:
            self.why = "sshd needs root (to add a user)"
            return
        if not os.path.exists("/usr/sbin/sshd"):
            self.why = "sshd is not installed"
            return
        # The user's home is the served root, so relative paths are inside it.
        if not _run_retrying(["useradd", "-M", "-d", self.root, "-s", "/bin/sh", self.user]):
            self.why = "useradd failed"
            return
        self.user_added = True
        if not _run_retrying(["chpasswd"], input=("%s:%s\n" % (self.user, self.password)).encode()):
            self.why = "chpasswd failed"
            return
        key = os.path.join(self.tmp, "host_key")
        subprocess.run(["ssh-keygen", "-q", "-t", "ecdsa", "-b", "256", "-N", "", "-f", key],
                       check=True, capture_output=True)
        with open(key + ".pub") as f:
            blob = base64.b64decode(f.read().split()[1])
        self.host_key_sha1 = hashlib.sha1(blob).hexdigest()
        self.host_key_md5 = hashlib.md5(blob).hexdigest()
        os.makedirs("/run/sshd", exist_ok=True)
        # Held until sshd listens on it.
        hold = hold_port()
        self.port = hold.port
        conf = os.path.join(self.tmp, "sshd_config")
        with open(conf, "w") as f:
            f.write("\n".join([
                "Port %d" % self.port, "ListenAddress 127.0.0.1", "HostKey " + key,
                "PidFile " + os.path.join(self.tmp, "sshd.pid"), "UsePAM no",
                "PasswordAuthentication yes", "KbdInteractiveAuthentication no",
                "PubkeyAuthentication no", "PermitRootLogin no", "StrictModes no",
                "AllowUsers " + self.user, "Subsystem sftp internal-sftp -l INFO",
                "ForceCommand internal-sftp -l INFO", "LogLevel VERBOSE", "MaxStartups 50",
                "",
            ]))
        self.proc = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", conf, "-E",
                                      self.logfile])
        with hold:
            listening = wait_listening("127.0.0.1", self.port, self.proc)
        if listening:
            self.available = True
        else:
            self.stop()
            self.why = "sshd did not start"

    def url(self, relpath, userinfo=None):
        # SFTP paths are absolute.
        if userinfo is None:
            userinfo = "%s:%s" % (self.user, self.password)
        return "sftp://%s@%s:%d%s/%s" % (userinfo, url_host(self.host), self.port, self.root,
                                         relpath)

    def log(self):
        try:
            with open(self.logfile, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def logins(self):
        return self.log().count("Accepted password for " + self.user)

    def cleanup(self):
        if self.user_added:
            _run_retrying(["userdel", self.user])
        super().cleanup()


class ConnectProxy:
    """An HTTP proxy on 127.0.0.1 that only opens CONNECT tunnels to ports of
    127.0.0.1 and relays them. With `answer_with_first_bytes`, its 200 answer
    leaves in one write with the first bytes the server sends, when the server
    speaks first (an FTP greeting, an SSH banner), so that the client reads
    both at once. `heads()` lists the request heads it received."""

    def __init__(self, answer_with_first_bytes=False):
        self.answer_with_first_bytes = answer_with_first_bytes
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(32)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self._heads = []
        self.sockets = []
        self.threads = [threading.Thread(target=self._accept_loop, daemon=True)]
        self.threads[0].start()

    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def heads(self):
        with self.lock:
            return list(self._heads)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        # A shutdown, unlike a close, wakes the threads blocked on a socket.
        with self.lock:
            for s in [self.listener] + self.sockets:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            threads = list(self.threads)
        for t in threads:
            t.join(10)
        self.listener.close()
        for s in self.sockets:
            s.close()

    def _track(self, s):
        with self.lock:
            self.sockets.append(s)
        return s

    def _accept_loop(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            t = threading.Thread(target=self._serve, args=(self._track(client),), daemon=True)
            with self.lock:
                self.threads.append(t)
            t.start()

    def _serve(self, client):
        upstream = None
        try:
            head = b""
            while not head.endswith(b"\r\n\r\n"):
                ch = client.recv(1)
                if not ch:
                    return
                head += ch
            text = head.decode("latin-1")
            with self.lock:
                self._heads.append(text)
            method, target = text.split(" ", 2)[:2]
            host, _, port = target.rpartition(":")
            if method != "CONNECT" or host != "127.0.0.1":
                client.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                return
            upstream = self._track(socket.create_connection((host, int(port))))
            answer = b"HTTP/1.1 200 Connection established\r\n\r\n"
            if self.answer_with_first_bytes and select.select([upstream], [], [], 0.5)[0]:
                answer += upstream.recv(4096)
            client.sendall(answer)
            self._relay(client, upstream)
        except OSError:
            pass
        finally:
            client.close()
            if upstream is not None:
                upstream.close()

    @staticmethod
    def _relay(a, b):
        peers = {a: b, b: a}
        while True:
            readable = select.select(list(peers), [], [], 60)[0]
            if not readable:
                return
            for s in readable:
                data = s.recv(65536)
                if not data:
                    return
                peers[s].sendall(data)
