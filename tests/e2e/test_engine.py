import functools
import gzip
import http.server
import threading
import json
import os
import re
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import urllib.request
import unittest

from ports import hold_port, rpc_hosts


def run(*args, **kwargs):
    return subprocess.run([os.environ["QUARNC"], "--no-conf", *args], capture_output=True,
                          timeout=60, **kwargs)


class StartUpTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quarn-e2e-engine-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def assertExceptionCaught(self, result, message):
        self.assertEqual(1, result.returncode, result.stderr)
        lines = result.stderr.decode().split("\n")
        self.assertEqual("Exception caught", lines[0])
        self.assertRegex(lines[1], r"^Exception: \[\w+\.cc:\d+\] errorCode=1 ")
        self.assertTrue(lines[1].endswith(message), lines[1])

    def test_empty_input_list_has_nothing_to_download(self):
        for text in ["", "# only a comment\n\n"]:
            with open(self.path("list"), "w") as f:
                f.write(text)
            result = run("-i", self.path("list"))
            self.assertEqual(0, result.returncode, result.stderr)
            self.assertEqual(b"No files to download.\n", result.stdout)
            self.assertEqual(b"", result.stderr)

    def test_missing_input_list(self):
        result = run("-i", self.path("missing"))
        self.assertExceptionCaught(result, "Failed to open the file %s, cause: File not found or "
                                           "it is a directory" % self.path("missing"))

    def test_unrecognised_argument_stops_start_up(self):
        result = run("http://127.0.0.1:1/a", "not-a-uri")
        self.assertExceptionCaught(result, "Unrecognized URI or unsupported protocol: not-a-uri")

    def test_unrecognised_argument_in_an_input_list_is_only_logged(self):
        with open(self.path("list"), "w") as f:
            f.write("not-a-uri\n")
        result = run("-i", self.path("list"))
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn(b"Unrecognized URI or unsupported protocol: not-a-uri", result.stdout)
        self.assertIn(b"No files to download.\n", result.stdout)

    def test_bad_gid(self):
        for gid in ["xyz", "0000000000000000", "123"]:
            result = run("--gid=" + gid, "http://127.0.0.1:1/a")
            self.assertExceptionCaught(result, "%s is invalid for GID." % gid)

    def test_gid_used_twice(self):
        result = run("--gid=00000000000000a1", "--force-sequential", "http://127.0.0.1:1/a",
                     "http://127.0.0.1:1/b")
        self.assertExceptionCaught(result, "GID 00000000000000a1 is not unique.")


def closed_port_uri(test, name="file.bin"):
    """A URI on a loopback port that nothing listens on while `test` runs."""
    hold = hold_port()
    test.addCleanup(hold.release)
    return "http://127.0.0.1:%d/%s" % (hold.port, name)


def wait_for_file(path, timeout=20.0):
    # Hooks run in child processes that the program never waits for.
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if os.path.exists(path):
            return True
        time.sleep(0.05)
    return False


HOOK = """#!/bin/sh
printf '%s|%s|%s\\n' "$1" "$2" "$3" > "{out}.tmp" && mv "{out}.tmp" "{out}"
"""

TABLE_HEAD = ("\nDownload Results:\ngid   |stat|avg speed  |path/URI\n"
              "======+====+===========+" + "=" * 55 + "\n")


class FailedDownloadTest(unittest.TestCase):
    """A download against a closed local port fails fast; what the run leaves
    behind (result table, status, hooks, session file) is checked."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quarn-e2e-engine-")
        self.uri = closed_port_uri(self)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def hook(self, name):
        script = self.path(name + ".sh")
        with open(script, "w") as f:
            f.write(HOOK.format(out=self.path(name + ".out")))
        os.chmod(script, 0o700)
        return script

    def run_failing(self, *args):
        return run("--max-tries=1", "--connect-timeout=1", "--dir=" + self.dir, *args, self.uri)

    def gid_of(self, stdout):
        m = re.search(r"^([0-9a-f]{6})\|ERR \|", stdout, re.M)
        self.assertIsNotNone(m, stdout)
        return m.group(1)

    def test_result_table_legend_and_status(self):
        result = self.run_failing()
        out = result.stdout.decode()
        self.assertNotEqual(0, result.returncode)
        self.assertNotEqual(7, result.returncode)
        self.assertIn(TABLE_HEAD, out)
        self.assertRegex(out, r"\n[0-9a-f]{6}\|ERR \|( {8}n/a| *[0-9.]+[KMG]?i?B/s)\|%s\n"
                         % re.escape(self.uri))
        self.assertIn("\nStatus Legend:\n(ERR):error occurred.\n", out)
        self.assertIn("\nquarn will resume download if the transfer is restarted.\n"
                      "If there are any errors, then see the log file. See '-l' option in "
                      "help/man page for details.\n", out)

    def test_full_table_hidden_table_and_quiet(self):
        full = self.run_failing("--download-result=full").stdout.decode()
        self.assertIn("gid   |stat|avg speed  |  %|path/URI\n"
                      "======+====+===========+===+" + "=" * 51 + "\n", full)
        self.assertRegex(full, r"\|  -\|%s\n" % re.escape(self.uri))
        hidden = self.run_failing("--download-result=hide")
        self.assertNotIn(b"Download Results:", hidden.stdout)
        self.assertIn(b"quarn will resume download", hidden.stdout)
        quiet = self.run_failing("--quiet")
        self.assertEqual(b"", quiet.stdout)
        self.assertEqual(hidden.returncode, quiet.returncode)

    def test_hooks_get_gid_file_count_and_path(self):
        result = self.run_failing("--on-download-start=" + self.hook("start"),
                                  "--on-download-error=" + self.hook("error"),
                                  "--on-download-stop=" + self.hook("stop"),
                                  "--on-download-complete=" + self.hook("complete"))
        abbrev = self.gid_of(result.stdout.decode())
        for name in ["start", "error"]:
            self.assertTrue(wait_for_file(self.path(name + ".out")), name)
            with open(self.path(name + ".out")) as f:
                gid, count, first = f.read().rstrip("\n").split("|")
            self.assertRegex(gid, r"^[0-9a-f]{16}$")
            self.assertTrue(gid.startswith(abbrev))
            self.assertEqual("1", count)
            # The file has no name before a server names it.
            self.assertEqual("", first)
        # Only one hook per stopped download: the error hook wins over stop.
        time.sleep(0.5)
        self.assertFalse(os.path.exists(self.path("stop.out")))
        self.assertFalse(os.path.exists(self.path("complete.out")))

    def test_stop_hook_stands_in_for_error_hook(self):
        self.run_failing("--on-download-stop=" + self.hook("stop"))
        self.assertTrue(wait_for_file(self.path("stop.out")))

    def test_session_file_plain_and_gzip(self):
        for name in ["session.txt", "session.gz"]:
            session = self.path(name)
            result = self.run_failing("--save-session=" + session, "--split=2",
                                      "--max-connection-per-server=2")
            abbrev = self.gid_of(result.stdout.decode())
            self.assertEqual(0o600, stat.S_IMODE(os.stat(session).st_mode))
            self.assertFalse(os.path.exists(session + "__temp"))
            with open(session, "rb") as f:
                data = f.read()
            if name.endswith(".gz"):
                data = gzip.decompress(data)
            lines = data.decode().split("\n")
            self.assertEqual(self.uri + "\t", lines[0])
            self.assertRegex(lines[1], r"^ gid=%s[0-9a-f]{10}$" % abbrev)
            self.assertIn(" split=2", lines)
            # Read back as the input list, the download keeps its id.
            again = run("--max-tries=1", "--connect-timeout=1", "-i", session)
            self.assertEqual(abbrev, self.gid_of(again.stdout.decode()))


class CompletedDownloadTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quarn-e2e-engine-")
        os.mkdir(os.path.join(self.dir, "srv"))
        os.mkdir(os.path.join(self.dir, "dl"))
        self.data = os.urandom(100000)
        with open(os.path.join(self.dir, "srv", "f.bin"), "wb") as f:
            f.write(self.data)
        handler = functools.partial(http.server.SimpleHTTPRequestHandler,
                                    directory=os.path.join(self.dir, "srv"))
        handler.log_message = lambda *args: None
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        shutil.rmtree(self.dir)

    def test_complete_hook_table_and_session(self):
        out = os.path.join(self.dir, "hook.out")
        script = os.path.join(self.dir, "hook.sh")
        with open(script, "w") as f:
            f.write(HOOK.format(out=out))
        os.chmod(script, 0o700)
        session = os.path.join(self.dir, "session")
        path = os.path.join(self.dir, "dl", "f.bin")
        uri = "http://127.0.0.1:%d/f.bin" % self.server.server_address[1]
        result = run("--dir=" + os.path.join(self.dir, "dl"), "--on-download-complete=" + script,
                     "--on-download-stop=" + script + "-not-used", "--save-session=" + session,
                     uri)
        self.assertEqual(0, result.returncode, result.stderr)
        with open(path, "rb") as f:
            self.assertEqual(self.data, f.read())
        stdout = result.stdout.decode()
        m = re.search(r"^([0-9a-f]{6})\|OK  \| *[0-9.]+[KMG]?i?B/s\|%s\n" % re.escape(path),
                      stdout, re.M)
        self.assertIsNotNone(m, stdout)
        self.assertIn("\nStatus Legend:\n(OK):download completed.\n", stdout)
        self.assertNotIn("quarn will resume download", stdout)
        self.assertTrue(wait_for_file(out))
        with open(out) as f:
            gid, count, first = f.read().rstrip("\n").split("|")
        self.assertTrue(gid.startswith(m.group(1)))
        self.assertEqual(("1", path), (count, first))
        # A finished download is not kept in the session.
        with open(session) as f:
            self.assertEqual("", f.read())


class HaltTest(unittest.TestCase):
    """With the control server on the run waits for requests; halts end it."""

    def start(self, *args):
        # Held for the whole test: quarnc shares it, nobody else can take it.
        hold = hold_port(rpc_hosts())
        self.addCleanup(hold.release)
        self.rpc_port = hold.port
        proc = subprocess.Popen([os.environ["QUARNC"], "--no-conf", "--enable-rpc",
                                 "--rpc-secret=s", "--rpc-listen-port=%d" % self.rpc_port, *args],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(self.reap, proc)
        return proc

    def reap(self, proc):
        if proc.poll() is None:
            proc.kill()
        proc.communicate()

    def wait_running(self, proc):
        # The control server answers only once the run is prepared (signal
        # handlers included) and the loop turns.
        call = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "quarn.getVersion",
                           "params": ["token:s"]}).encode()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            self.assertIsNone(proc.poll(), proc.stderr.read() if proc.poll() is not None else "")
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/jsonrpc" % self.rpc_port,
                                            data=call, timeout=5) as answer:
                    answer.read()
                    return
            except OSError:
                time.sleep(0.05)
        self.fail("the control server never answered")

    def test_sigint_halts_gracefully(self):
        proc = self.start()
        self.wait_running(proc)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=30)
        self.assertEqual(0, proc.returncode, err)
        self.assertIn(b"Shutdown sequence commencing... Press Ctrl-C again for emergency "
                      b"shutdown.", out)

    def test_sigterm_halts_at_once(self):
        proc = self.start()
        self.wait_running(proc)
        proc.send_signal(signal.SIGTERM)
        out, err = proc.communicate(timeout=30)
        self.assertEqual(0, proc.returncode, err)
        self.assertIn(b"Emergency shutdown sequence commencing...", out)

    def test_stop_after_seconds(self):
        proc = self.start("--stop=1")
        out, err = proc.communicate(timeout=30)
        self.assertEqual(0, proc.returncode, err)
        self.assertIn(b"1 second(s) has passed. Stopping application.", out)

    def test_stop_with_process(self):
        watched = subprocess.Popen(["sleep", "30"])
        self.addCleanup(self.reap, watched)
        proc = self.start("--stop-with-process=%d" % watched.pid)
        self.wait_running(proc)
        watched.kill()
        watched.wait()
        out, err = proc.communicate(timeout=30)
        self.assertEqual(0, proc.returncode, err)

    def test_paused_download_is_left_waiting(self):
        session = tempfile.NamedTemporaryFile(prefix="quarn-e2e-session-", delete=False).name
        self.addCleanup(os.remove, session)
        uri = closed_port_uri(self)
        proc = self.start("--pause", "--save-session=" + session, uri)
        self.wait_running(proc)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=30)
        # Only a waiting download remains: not an error, not in progress.
        self.assertEqual(0, proc.returncode, err)
        self.assertIn(b"quarn will resume download if the transfer is restarted.", out)
        with open(session) as f:
            lines = f.read().split("\n")
        self.assertEqual(uri + "\t", lines[0])
        self.assertIn(" pause=true", lines)


if __name__ == "__main__":
    unittest.main()
