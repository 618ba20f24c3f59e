"""End-to-end SFTP downloads: the real quarnc against a real sshd on loopback,
with its own host key and a throw-away user. Needs root (sshd and useradd);
until quarnc reaches an SSH server at all, every case skips.
"""

import os
import random
import signal
import subprocess
import tempfile
import time
import unittest

from ftpservers import ConnectProxy, Sshd
from httpservers import TinyProxy, have
from test_ftp import CONTROL_SUFFIX, client_log, quarnc_argv, read, run_quarnc

RNG = random.Random(20261212)
DATA = RNG.randbytes(300 * 1024)
BIG = RNG.randbytes(3 * 1024 * 1024)

_SERVER = None


def shared_server():
    global _SERVER
    if _SERVER is None:
        _SERVER = Sshd()
    return _SERVER


def tearDownModule():
    if _SERVER is not None:
        _SERVER.__exit__(None, None, None)


class SftpTest(unittest.TestCase):
    def setUp(self):
        self.srv = shared_server()
        if not self.srv.available:
            self.skipTest(self.srv.why)
        self.workdir = tempfile.mkdtemp(prefix="quarn-sftp-client-")
        self.logins_before = self.srv.logins()

    def tearDown(self):
        subprocess.run(["rm", "-rf", self.workdir])

    def download(self, args, rc=0, timeout=120):
        result = run_quarnc(self.workdir, args, timeout)
        self.assertEqual(rc, result.returncode,
                         result.stderr.decode(errors="replace") + client_log(self.workdir)[-4000:])
        return result

    def out(self, name):
        return os.path.join(self.workdir, name)

    def assert_downloaded(self, data, name):
        self.assertEqual(data, read(self.out(name)))
        self.assertFalse(os.path.exists(self.out(name) + CONTROL_SUFFIX))

    def new_logins(self):
        return self.srv.logins() - self.logins_before

    def test_download(self):
        self.srv.put("plain.bin", DATA)
        self.download([self.srv.url("plain.bin")])
        self.assert_downloaded(DATA, "plain.bin")
        self.assertEqual(1, self.new_logins())

    def test_escaped_path(self):
        self.srv.put("my file.bin", DATA)
        self.download([self.srv.url("my%20file.bin")])
        self.assert_downloaded(DATA, "my file.bin")

    def test_host_key_checked(self):
        self.srv.put("hk.bin", DATA)
        self.download(["--ssh-host-key-md=sha-1=" + self.srv.host_key_sha1,
                       self.srv.url("hk.bin")])
        self.assert_downloaded(DATA, "hk.bin")
        os.remove(self.out("hk.bin"))
        self.download(["--ssh-host-key-md=md5=" + self.srv.host_key_md5, self.srv.url("hk.bin")])
        self.assert_downloaded(DATA, "hk.bin")

    def test_wrong_host_key_refused_before_login(self):
        self.srv.put("hk2.bin", DATA)
        self.download(["--max-tries=1", "--ssh-host-key-md=sha-1=" + "00" * 20,
                       self.srv.url("hk2.bin")], rc=1)
        self.assertIn("Unexpected SSH host key", client_log(self.workdir))
        # The whole SHA-1 digest, all 40 hex digits, shows what the server has.
        self.assertIn("actual %s" % self.srv.host_key_sha1, client_log(self.workdir))
        self.assertEqual(40, len(self.srv.host_key_sha1))
        self.assertEqual(0, self.new_logins())
        self.assertFalse(os.path.exists(self.out("hk2.bin")) and read(self.out("hk2.bin")))

    def test_wrong_password(self):
        self.srv.put("pw.bin", DATA)
        self.download(["--max-tries=1",
                       self.srv.url("pw.bin", "%s:wrong" % self.srv.user)], rc=1)
        self.assertIn("SSH authentication failure", client_log(self.workdir))
        self.assertEqual(0, self.new_logins())

    def test_missing_file(self):
        result = run_quarnc(self.workdir, ["--max-tries=1", self.srv.url("nothere.bin")])
        self.assertNotEqual(0, result.returncode)
        self.assertIn("nothere.bin", client_log(self.workdir))

    def test_several_connections(self):
        self.srv.put("big.bin", BIG)
        # The limit keeps the first session from fetching the whole file before
        # the others have logged in.
        self.download(["-x4", "-s4", "-k1M", "--max-download-limit=1M", self.srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")
        self.assertGreater(self.new_logins(), 1)

    def test_one_login_serves_two_files(self):
        self.srv.put("two/a.bin", DATA)
        self.srv.put("two/b.bin", BIG)
        self.download(["-Z", "-j1", self.srv.url("two/a.bin"), self.srv.url("two/b.bin")])
        # The pooled session opened the second file anew.
        self.assert_downloaded(DATA, "a.bin")
        self.assert_downloaded(BIG, "b.bin")
        self.assertEqual(1, self.new_logins())

    # SFTP always tunnels through an HTTP proxy, whatever the proxy method.
    def test_banner_in_the_same_read_as_the_proxy_answer(self):
        self.srv.put("tun.bin", DATA)
        with ConnectProxy(answer_with_first_bytes=True) as proxy:
            self.download(["--ftp-proxy=" + proxy.url(), self.srv.url("tun.bin")])
            heads = proxy.heads()
        self.assert_downloaded(DATA, "tun.bin")
        self.assertEqual(1, len(heads), heads)
        self.assertTrue(heads[0].startswith("CONNECT 127.0.0.1:%d " % self.srv.port), heads)
        self.assertEqual(1, self.new_logins())

    @unittest.skipUnless(have("tinyproxy"), "tinyproxy is not installed")
    def test_through_tinyproxy(self):
        self.srv.put("tiny.bin", BIG)
        with TinyProxy(self.workdir) as proxy:
            self.download(["--all-proxy=" + proxy.url(), "-x2", "-s2", "-k1M",
                           self.srv.url("tiny.bin")])
            log = proxy.log_text()
        self.assert_downloaded(BIG, "tiny.bin")
        self.assertIn("): CONNECT 127.0.0.1:%d " % self.srv.port, log)

    def test_kill_and_resume(self):
        self.srv.put("kr.bin", BIG)
        env = dict(os.environ, HOME=self.workdir)
        proc = subprocess.Popen(quarnc_argv(self.workdir, ["--max-download-limit=300K",
                                                           self.srv.url("kr.bin")]),
                                cwd=self.workdir, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 20
            while time.time() < deadline:
                path = self.out("kr.bin")
                if os.path.exists(path) and os.path.getsize(path) > 0:
                    time.sleep(1.5)
                    break
                time.sleep(0.1)
            proc.send_signal(signal.SIGINT)
            proc.wait(60)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertTrue(os.path.exists(self.out("kr.bin") + CONTROL_SUFFIX))
        self.download([self.srv.url("kr.bin")])
        self.assert_downloaded(BIG, "kr.bin")
        self.assertIn("SFTP seek to", client_log(self.workdir))


if __name__ == "__main__":
    unittest.main()
