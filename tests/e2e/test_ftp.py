"""End-to-end FTP downloads: the real quarnc against real FTP servers on loopback.

The scripted server (pyftpdlib) records every command line the client sent and
misbehaves on request; vsftpd is the well-behaved reference. Until quarnc
reaches an FTP server at all, every case skips instead of failing.
"""

import os
import random
import signal
import subprocess
import tempfile
import time
import unittest

from ftpservers import ConnectProxy, ScriptedFtpServer, Vsftpd
from httpservers import TinyProxy, have

QUARNC = os.environ.get("QUARNC", "quarnc")
CONTROL_SUFFIX = ".quarn"
RNG = random.Random(20261211)
DATA = RNG.randbytes(300 * 1024)
BIG = RNG.randbytes(3 * 1024 * 1024)


def run_quarnc(workdir, args, timeout=120):
    env = dict(os.environ, HOME=workdir)
    return subprocess.run(quarnc_argv(workdir, args), cwd=workdir, env=env, capture_output=True,
                          timeout=timeout)


def quarnc_argv(workdir, args):
    return [QUARNC, "--no-conf", "--dir=" + workdir, "--summary-interval=0",
            "--console-log-level=warn", "--log=" + os.path.join(workdir, "quarnc.log"),
            "--log-level=info"] + args


def read(path):
    with open(path, "rb") as f:
        return f.read()


def client_log(workdir):
    try:
        with open(os.path.join(workdir, "quarnc.log"), errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class FtpCase(unittest.TestCase):
    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="quarn-ftp-client-")
        self.servers = []

    def tearDown(self):
        for srv in self.servers:
            srv.__exit__(None, None, None)
        subprocess.run(["rm", "-rf", self.workdir])

    def server(self, **kw):
        srv = ScriptedFtpServer(**kw)
        self.servers.append(srv)
        if not srv.available:
            self.skipTest(srv.why)
        return srv

    def download(self, args, rc=0, timeout=120):
        result = run_quarnc(self.workdir, args, timeout)
        self.assertEqual(rc, result.returncode,
                         result.stderr.decode(errors="replace") + client_log(self.workdir)[-4000:])
        return result

    def out(self, name="data.bin"):
        return os.path.join(self.workdir, name)

    def assert_downloaded(self, data, name="data.bin"):
        self.assertEqual(data, read(self.out(name)))
        self.assertFalse(os.path.exists(self.out(name) + CONTROL_SUFFIX))


class ScriptedServerTest(FtpCase):
    def test_anonymous_dialogue_as_the_server_saw_it(self):
        srv = self.server()
        srv.put("pub/data.bin", DATA)
        self.download([srv.url("pub/data.bin")])
        self.assert_downloaded(DATA)
        cmds = srv.commands()
        self.assertEqual(["USER anonymous", "TYPE I", "PWD", "CWD /", "CWD pub",
                          "SIZE data.bin", "PASV", "REST 0", "RETR data.bin"],
                         [c for c in cmds if not c.startswith("PASS")][:9], cmds)

    def test_user_login_and_remote_time(self):
        srv = self.server(users=[("alice", "s3cret")], anonymous=False)
        path = srv.put("data.bin", DATA)
        os.utime(path, (1700000000, 1700000000))
        self.download(["--remote-time=true", srv.url("data.bin", "alice:s3cret")])
        self.assert_downloaded(DATA)
        cmds = srv.commands()
        self.assertEqual(["USER alice", "PASS s3cret"], cmds[:2])
        self.assertIn("MDTM data.bin", cmds)
        self.assertEqual(1700000000, int(os.path.getmtime(self.out())))
        # The client's own log never shows the credentials.
        self.assertNotIn("s3cret", client_log(self.workdir))

    def test_credentials_from_options(self):
        srv = self.server(users=[("bob", "pw2")], anonymous=False)
        srv.put("data.bin", DATA)
        self.download(["--ftp-user=bob", "--ftp-passwd=pw2", srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertEqual(["USER bob", "PASS pw2"], srv.commands()[:2])

    def test_wrong_password_fails_with_the_ftp_error(self):
        srv = self.server(users=[("alice", "s3cret")], anonymous=False)
        srv.put("data.bin", DATA)
        result = self.download(["--max-tries=1", srv.url("data.bin", "alice:wrong")], rc=21)
        self.assertNotIn("RETR data.bin", srv.commands())
        # The failure's log records name the URI without its password.
        self.assertNotIn("wrong", client_log(self.workdir))
        self.assertIn(b"Download aborted. URI=ftp://127.0.0.1:", result.stdout)
        self.assertFalse(os.path.exists(self.out()) and read(self.out()))

    def test_missing_file_is_resource_not_found(self):
        srv = self.server()
        srv.put("data.bin", DATA)
        self.download(["--max-tries=1", srv.url("nothere.bin")], rc=3)

    def test_missing_directory_is_resource_not_found(self):
        srv = self.server()
        self.download(["--max-tries=1", srv.url("nodir/data.bin")], rc=3)
        self.assertIn("CWD nodir", srv.commands())
        self.assertNotIn("RETR data.bin", srv.commands())

    def test_failures_before_any_data_leave_no_file(self):
        # A run that got no byte of the file removes what it created, three
        # runs in a row included; a file that was there before stays.
        bad_pasv = {"PASV": "227 Entering Passive Mode (999,1,x,1,117)."}
        rows = [("missing file", {}, "nope.bin", 3, None),
                ("missing file beside an existing one", {}, "nope.bin", 3, b"precious"),
                ("unparsable passive reply", bad_pasv, "data.bin", 21, None)]
        for name, replies, path, rc, existing in rows:
            with self.subTest(name):
                for leftover in os.listdir(self.workdir):
                    os.remove(os.path.join(self.workdir, leftover))
                if existing:
                    with open(self.out(path), "wb") as f:
                        f.write(existing)
                srv = self.server(replies=replies)
                srv.put("data.bin", DATA)
                for _ in range(3):
                    self.download(["--log=", srv.url(path)], rc=rc)
                self.assertEqual([path] if existing else [], os.listdir(self.workdir))
                if existing:
                    self.assertEqual(existing, read(self.out(path)))
                # A reply that does not parse ends the URI at once.
                self.assertEqual(3, srv.verbs().count("PASV"), srv.commands())

    def test_rest_refused_on_a_fresh_download_goes_on(self):
        srv = self.server(refuse=["REST"])
        srv.put("data.bin", DATA)
        self.download([srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn("REST 0", srv.commands())

    def test_size_refused_downloads_to_the_end_of_the_data(self):
        srv = self.server(refuse=["SIZE"])
        srv.put("data.bin", DATA)
        self.download([srv.url("data.bin")])
        self.assertEqual(DATA, read(self.out()))

    def test_size_refused_and_transfer_aborted_is_not_a_finished_download(self):
        srv = self.server(refuse=["SIZE"], final_status="426")
        srv.put("data.bin", DATA)
        result = run_quarnc(self.workdir, ["--max-tries=2", srv.url("data.bin")])
        self.assertNotEqual(0, result.returncode, client_log(self.workdir)[-4000:])
        self.assertGreaterEqual(srv.verbs().count("RETR"), 2, srv.commands())

    def test_transfer_aborted_after_all_bytes_of_a_known_size(self):
        srv = self.server(final_status="426")
        srv.put("data.bin", DATA)
        self.download([srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn("Bad status for transfer complete.", client_log(self.workdir))

    def test_data_connection_closed_early_is_resumed(self):
        srv = self.server(cut_data_after=100000)
        srv.put("data.bin", DATA)
        self.download(["--retry-wait=0", srv.url("data.bin")])
        self.assert_downloaded(DATA)
        cmds = srv.commands()
        self.assertGreaterEqual(srv.verbs().count("RETR"), 2, cmds)
        rests = [int(c.split()[1]) for c in cmds if c.startswith("REST")]
        self.assertTrue(any(r > 0 for r in rests), cmds)

    def test_several_connections(self):
        srv = self.server()
        srv.put("big.bin", BIG)
        # The limit keeps the first connection from fetching the whole file
        # before the others have logged in.
        self.download(["-x4", "-s4", "-k1M", "--max-download-limit=1M", srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")
        rests = {c for c in srv.commands() if c.startswith("REST")}
        self.assertGreater(len(rests), 1, srv.commands())

    def test_one_login_serves_two_files(self):
        srv = self.server(users=[("alice", "s3cret")], anonymous=False)
        srv.put("pub/a.bin", DATA)
        srv.put("pub/b.bin", BIG)
        self.download(["-Z", "-j1", srv.url("pub/a.bin", "alice:s3cret"),
                       srv.url("pub/b.bin", "alice:s3cret")])
        self.assert_downloaded(DATA, "a.bin")
        self.assert_downloaded(BIG, "b.bin")
        verbs = srv.verbs()
        self.assertEqual(1, verbs.count("USER"), srv.commands())
        self.assertEqual(2, verbs.count("RETR"), srv.commands())

    def test_active_mode(self):
        srv = self.server()
        srv.put("data.bin", DATA)
        self.download(["--ftp-pasv=false", srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn("PORT", srv.verbs())
        self.assertNotIn("PASV", srv.verbs())

    def test_line_breaks_in_the_path_never_reach_the_server(self):
        srv = self.server()
        srv.put("data.bin", DATA)
        for path in ("a%0D%0ADELE%20data.bin", "a%0ADELE%20data.bin", "a%00b",
                     "dir%0D%0ADELE%20x/data.bin"):
            result = run_quarnc(self.workdir, ["--max-tries=1", srv.url(path)])
            self.assertNotEqual(0, result.returncode, path)
        self.assertEqual([], srv.commands())
        self.assertTrue(os.path.exists(os.path.join(srv.root, "data.bin")))

    def test_kill_and_resume(self):
        srv = self.server()
        srv.put("big.bin", BIG)
        env = dict(os.environ, HOME=self.workdir)
        proc = subprocess.Popen(quarnc_argv(self.workdir, ["--max-download-limit=300K",
                                                           srv.url("big.bin")]),
                                cwd=self.workdir, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 20
            while time.time() < deadline:
                if "RETR big.bin" in srv.commands():
                    time.sleep(1.5)
                    break
                time.sleep(0.1)
            proc.send_signal(signal.SIGINT)
            proc.wait(60)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertTrue(os.path.exists(self.out("big.bin") + CONTROL_SUFFIX))
        first = len(srv.commands())
        self.download([srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")
        resumed = [c for c in srv.commands()[first:] if c.startswith("REST")]
        self.assertTrue(resumed and int(resumed[0].split()[1]) > 0, srv.commands())

    def test_resume_refused_starts_from_scratch(self):
        srv = self.server(refuse=["REST"])
        srv.put("big.bin", BIG)
        # A partial download left by an earlier run.
        partial = self.server()
        partial.put("big.bin", BIG)
        env = dict(os.environ, HOME=self.workdir)
        proc = subprocess.Popen(quarnc_argv(self.workdir, ["--max-download-limit=300K",
                                                           partial.url("big.bin")]),
                                cwd=self.workdir, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 20
            while time.time() < deadline and "RETR big.bin" not in partial.commands():
                time.sleep(0.1)
            time.sleep(1.5)
            proc.send_signal(signal.SIGINT)
            proc.wait(60)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertTrue(os.path.exists(self.out("big.bin") + CONTROL_SUFFIX))
        # By default a download that cannot resume stops, keeping what it has.
        self.download([srv.url("big.bin")], rc=8)
        self.assertTrue(os.path.exists(self.out("big.bin") + CONTROL_SUFFIX))
        # Allowed to, it starts again from the first byte.
        self.download(["--always-resume=false", srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")
        self.assertIn("REST 0", srv.commands())


class Ipv6Test(FtpCase):
    def test_extended_passive(self):
        srv = self.server(host="::1")
        srv.put("data.bin", DATA)
        self.download([srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn("EPSV", srv.verbs())
        self.assertNotIn("PASV", srv.verbs())

    def test_extended_passive_refused_falls_back(self):
        # The scripted server cannot serve PASV over IPv6; the dialogue shows
        # the fallback all the same.
        srv = self.server(host="::1", refuse=["EPSV"])
        srv.put("data.bin", DATA)
        run_quarnc(self.workdir, ["--max-tries=1", srv.url("data.bin")])
        self.assertEqual(["EPSV", "PASV"], [v for v in srv.verbs() if v in ("EPSV", "PASV")])

    def test_unparsable_extended_passive_reply_is_an_ftp_error(self):
        srv = self.server(host="::1", replies={"EPSV": "229 Entering Extended Passive Mode (|||x|)"})
        srv.put("data.bin", DATA)
        self.download(["--log=", srv.url("data.bin")], rc=21)
        self.assertEqual(1, srv.verbs().count("EPSV"), srv.commands())
        self.assertEqual([], os.listdir(self.workdir))

    def test_extended_active(self):
        srv = self.server(host="::1")
        srv.put("data.bin", DATA)
        self.download(["--ftp-pasv=false", srv.url("data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn("EPRT", srv.verbs())


class TunnelTest(FtpCase):
    """Control and passive data connections through CONNECT tunnels."""

    def tunnel_args(self, proxy):
        return ["--ftp-proxy=" + proxy.url(), "--proxy-method=tunnel"]

    def test_greeting_in_the_same_read_as_the_proxy_answer(self):
        srv = self.server()
        srv.put("pub/data.bin", DATA)
        with ConnectProxy(answer_with_first_bytes=True) as proxy:
            self.download(["--timeout=20"] + self.tunnel_args(proxy) + [srv.url("pub/data.bin")])
            heads = proxy.heads()
        self.assert_downloaded(DATA)
        self.assertEqual(2, len(heads), heads)
        self.assertTrue(heads[0].startswith("CONNECT 127.0.0.1:%d " % srv.port), heads)
        self.assertTrue(heads[1].startswith("CONNECT 127.0.0.1:"), heads)
        self.assertEqual(1, srv.verbs().count("USER"))

    def test_several_connections(self):
        # Slow transfers, so that one connection cannot take the whole file
        # before the others are through their tunnels.
        srv = self.server(rate=512 * 1024)
        srv.put("big.bin", BIG)
        with ConnectProxy(answer_with_first_bytes=True) as proxy:
            # The limit keeps the first connection from fetching the whole file
            # before the others have logged in.
            self.download(["-x4", "-s4", "-k1M", "--max-download-limit=1M"] +
                          self.tunnel_args(proxy) + [srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")
        self.assertGreater(srv.verbs().count("RETR"), 1)

    @unittest.skipUnless(have("tinyproxy"), "tinyproxy is not installed")
    def test_through_tinyproxy(self):
        srv = self.server()
        srv.put("data.bin", DATA)
        with TinyProxy(self.workdir) as proxy:
            self.download(self.tunnel_args(proxy) + [srv.url("data.bin")])
            log = proxy.log_text()
        self.assert_downloaded(DATA)
        self.assertIn("): CONNECT 127.0.0.1:%d " % srv.port, log)


class VsftpdTest(FtpCase):
    def setUp(self):
        super().setUp()
        self.srv = Vsftpd()
        self.servers.append(self.srv)
        if not self.srv.available:
            self.skipTest(self.srv.why)

    def test_passive(self):
        self.srv.put("pub/data.bin", DATA)
        self.download([self.srv.url("pub/data.bin")])
        self.assert_downloaded(DATA)
        log = self.srv.log()
        for sent in ('"USER anonymous"', '"PASV"', '"RETR data.bin"'):
            self.assertIn(sent, log)

    def test_active(self):
        self.srv.put("pub/data.bin", DATA)
        self.download(["--ftp-pasv=false", self.srv.url("pub/data.bin")])
        self.assert_downloaded(DATA)
        self.assertIn('"PORT ', self.srv.log())

    def test_several_connections(self):
        self.srv.put("big.bin", BIG)
        self.download(["-x4", "-s4", "-k1M", self.srv.url("big.bin")])
        self.assert_downloaded(BIG, "big.bin")


if __name__ == "__main__":
    unittest.main()
