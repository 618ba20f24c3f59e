"""Black-box tests of fetchprobe, run against the test build whose extractor path
points into a folder of the build tree where each test writes a stand-in program."""

import errno
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

BUILD_DIR = os.environ.get("FETCHPROBE_BUILD_DIR", "")
PROBE = os.path.join(BUILD_DIR, "fetchprobe_testable")
STAND_IN_DIR = os.path.join(BUILD_DIR, "stand-in")
EXTRACTOR = os.path.join(STAND_IN_DIR, "yt-dlp")
DENO = os.path.join(STAND_IN_DIR, "deno")

# Guards against a hung probe only; no test measures time.
HANG_GUARD_SECONDS = 300

FIXED_ARGS = [
    "-J", "--no-warnings", "--no-playlist", "--no-check-formats",
    "--socket-timeout", "20", "--retries", "3", "--extractor-retries", "3",
    "--compat-options", "no-youtube-unavailable-videos",
    "--js-runtimes", "deno:" + DENO + ",node", "--",
]


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def running_line(argv):
    return "Running: " + " ".join(quoted(a) for a in argv) + "\n"


class FetchprobeTest(unittest.TestCase):
    def setUp(self):
        if not os.access(PROBE, os.X_OK):
            self.fail("test build of fetchprobe not found: " + PROBE)
        shutil.rmtree(STAND_IN_DIR, ignore_errors=True)
        os.makedirs(STAND_IN_DIR)
        self.addCleanup(shutil.rmtree, STAND_IN_DIR, True)
        self.workdir = tempfile.mkdtemp(prefix="fetchprobe-")
        self.addCleanup(shutil.rmtree, self.workdir, True)

    def write_stand_in(self, body, interpreter=sys.executable, mode=0o755):
        with open(EXTRACTOR, "w") as f:
            f.write("#!" + interpreter + "\n" + body)
        os.chmod(EXTRACTOR, mode)

    def write_python_stand_in(self, stdout=b"", stderr=b"", exit_code=0, extra=""):
        body = (
            "import os, sys\n"
            "sys.stdout.buffer.write(%r)\n"
            "sys.stdout.flush()\n"
            "sys.stderr.buffer.write(%r)\n"
            "sys.stderr.flush()\n"
            "%s\n"
            "sys.exit(%d)\n" % (stdout, stderr, extra, exit_code)
        )
        self.write_stand_in(body)

    def run_probe(self, program=PROBE, **kwargs):
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        kwargs.setdefault("stdout", subprocess.PIPE)
        kwargs.setdefault("stderr", subprocess.PIPE)
        kwargs.setdefault("cwd", self.workdir)
        return subprocess.run([program], timeout=HANG_GUARD_SECONDS, **kwargs)

    def expected_output(self, status, stdout_text, stderr_text):
        return (running_line([EXTRACTOR] + FIXED_ARGS + [self.url()])
                + "Status: " + status + "\n"
                + "Stdout: " + stdout_text + "\n"
                + "Stderr: " + stderr_text + "\n").encode("utf-8")

    def url(self):
        """The page address as the probe printed it last."""
        return self._url

    def assert_probe_prints(self, status, stdout_text, stderr_text):
        result = self.run_probe()
        self.assertEqual(result.returncode, 0, result.stderr)
        first_line = result.stdout.split(b"\n", 1)[0].decode("utf-8")
        self._url = json.loads(first_line.rsplit(" ", 1)[1])
        self.assertEqual(result.stdout, self.expected_output(status, stdout_text, stderr_text))
        self.assertEqual(result.stderr, b"")
        return result

    def test_silent_extractor_gives_empty_stdout_and_stderr_lines(self):
        self.write_stand_in("exit 0\n", interpreter="/bin/sh")
        self.assert_probe_prints("exit status: 0", "", "")
        url = self.url()
        self.assertTrue(url.startswith("https://"), url)
        self.assertEqual(len(url), 43)

    def test_child_gets_fixed_arguments_inherited_environment_and_no_input(self):
        self.write_stand_in(
            "import json, os, sys\n"
            "json.dump({'argv': sys.argv, 'cwd': os.getcwd(),\n"
            "           'mark': os.environ.get('FETCHPROBE_TEST_MARK'),\n"
            "           'stdin': sys.stdin.read()}, sys.stderr)\n")
        env = dict(os.environ, FETCHPROBE_TEST_MARK="mark \u00e9")
        # Input offered to the probe must not reach the child.
        result = self.run_probe(env=env, stdin=None, input=b"leaked input\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.decode("utf-8").split("\n")
        seen = json.loads(lines[3][len("Stderr: "):])
        self.assertEqual(seen["argv"][:-1], [EXTRACTOR] + FIXED_ARGS)
        self.assertEqual(lines[0] + "\n", running_line(seen["argv"]))
        self.assertEqual(seen["cwd"], os.path.realpath(self.workdir))
        self.assertEqual(seen["mark"], "mark \u00e9")
        self.assertEqual(seen["stdin"], "")
        self.assertEqual(lines[1:3], ["Status: exit status: 0", "Stdout: "])

    def test_child_starts_with_default_sigpipe_although_probe_ignores_it(self):
        self.write_stand_in("sed -n 's/^SigIgn:[[:space:]]*//p' /proc/self/status >&2\n",
                            interpreter="/bin/sh")
        result = self.run_probe()
        self.assertEqual(result.returncode, 0, result.stderr)
        stderr_line = result.stdout.decode().split("\n")[3]
        ignored = int(stderr_line[len("Stderr: "):], 16)
        self.assertEqual(ignored & (1 << (signal.SIGPIPE - 1)), 0, stderr_line)

    def test_stdout_is_cut_after_200_characters_counting_multibyte_as_one(self):
        pattern = "a\u00e9\u20ac\U0001F600"  # 1, 2, 3 and 4 bytes in UTF-8
        long_text = pattern * 100
        cases = [
            (long_text, long_text[:200]),
            ("x" * 199 + "\U0001F600" + "tail", "x" * 199 + "\U0001F600"),
            ("\u20ac" * 200, "\u20ac" * 200),
            ("\u20ac" * 201, "\u20ac" * 200),
        ]
        for text, shown in cases:
            with self.subTest(length=len(text), first=text[0]):
                self.write_python_stand_in(stdout=text.encode("utf-8"),
                                           stderr=long_text.encode("utf-8"))
                # Standard error is never cut.
                self.assert_probe_prints("exit status: 0", shown, long_text)

    def test_invalid_utf8_shows_as_replacement_characters_in_both_streams(self):
        samples = [
            b"ok\xffA\xe2\x82B\xc0\xafC\xed\xa0\x80D\xf4\x90\x80\x80E\xf0\x9f\x98",
            b"\x80\xbf plain \xf8\x88\x80\x80\x80 \xef\xbf\xbd end\xe2",
        ]
        for data in samples:
            with self.subTest(data=data):
                self.write_python_stand_in(stdout=data, stderr=data[::-1])
                self.assert_probe_prints("exit status: 0",
                                         data.decode("utf-8", "replace"),
                                         data[::-1].decode("utf-8", "replace"))

    def test_replacement_characters_count_as_one_character_each_in_the_cut(self):
        self.write_python_stand_in(stdout=b"\xff" * 300 + b"\xe2\x82" * 10)
        self.assert_probe_prints("exit status: 0", "\ufffd" * 200, "")

    def test_failing_extractor_is_reported_and_probe_still_exits_0(self):
        for code in (1, 2, 255):
            with self.subTest(code=code):
                self.write_python_stand_in(stdout=b"{}", stderr=b"ERROR: no such video\n",
                                           exit_code=code)
                self.assert_probe_prints("exit status: %d" % code, "{}",
                                         "ERROR: no such video\n")

    def test_extractor_killed_by_a_signal(self):
        for signo, name in ((signal.SIGKILL, "SIGKILL"), (signal.SIGTERM, "SIGTERM"),
                            (signal.SIGUSR1, "SIGUSR1")):
            with self.subTest(signal=name):
                self.write_python_stand_in(stdout=b"partial", stderr=b"dying",
                                           extra="os.kill(os.getpid(), %d)" % signo)
                self.assert_probe_prints("signal: %d (%s)" % (signo, name), "partial", "dying")

    def test_large_output_on_both_streams_at_once_is_captured_whole(self):
        # Any reader that waits for one stream to end before reading the other
        # leaves the child blocked on a full pipe.
        chunk = 1 << 20
        self.write_stand_in(
            "import sys\n"
            "out, err = sys.stdout.buffer, sys.stderr.buffer\n"
            "err.write(b'e' * %d); err.flush()\n"
            "out.write('\\u20ac'.encode() * %d); out.flush()\n"
            "err.write(b'E' * %d); err.flush()\n"
            "out.write(b'o' * %d); out.flush()\n" % (chunk, chunk, chunk, chunk))
        self.assert_probe_prints("exit status: 0", "\u20ac" * 200, "e" * chunk + "E" * chunk)

    def assert_start_failure(self, err):
        result = self.run_probe()
        self.assertNotEqual(result.returncode, 0)
        self.assertGreater(result.returncode, 0, "probe died by a signal")
        self.assertEqual(result.stdout.decode("utf-8"),
                         running_line([EXTRACTOR] + FIXED_ARGS + [self.url_from(result)]))
        report = result.stderr.decode("utf-8")
        self.assertIn(quoted(EXTRACTOR), report)
        self.assertIn(os.strerror(err), report)
        self.assertIn("os error %d" % err, report)
        self.assertRegex(report, r"main\.cc:\d+:\d+")

    def url_from(self, result):
        return json.loads(result.stdout.split(b"\n", 1)[0].decode().rsplit(" ", 1)[1])

    def test_missing_extractor_is_an_unrecoverable_error(self):
        self.assert_start_failure(errno.ENOENT)

    def test_extractor_that_is_not_executable_is_an_unrecoverable_error(self):
        self.write_stand_in("exit 0\n", interpreter="/bin/sh", mode=0o644)
        self.assert_start_failure(errno.EACCES)

    def test_release_build_runs_the_extractor_from_its_fixed_path(self):
        fixed_dir = "/Users/velnor/Documents/Code/Tallowby/src-tauri/binaries/"
        if os.path.exists(fixed_dir + "yt-dlp"):
            self.skipTest("an extractor is installed at the fixed path")
        result = self.run_probe(program=os.path.join(BUILD_DIR, "fetchprobe"))
        self.assertGreater(result.returncode, 0)
        args = FIXED_ARGS[:-2] + ["deno:" + fixed_dir + "deno,node", "--"]
        self.assertEqual(result.stdout.decode(),
                         running_line([fixed_dir + "yt-dlp"] + args + [self.url_from(result)]))

    def test_closed_stdout_is_reported_instead_of_killing_the_probe(self):
        self.write_stand_in("exit 0\n", interpreter="/bin/sh")
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            result = self.run_probe(stdout=write_end)
        finally:
            os.close(write_end)
        self.assertGreater(result.returncode, 0, "probe died by a signal or claimed success")
        self.assertIn(os.strerror(errno.EPIPE), result.stderr.decode())


if __name__ == "__main__":
    unittest.main()
