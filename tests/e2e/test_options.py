"""Option processing of the real binary: help, version, errors and exit statuses."""

import os
import platform
import shutil
import signal
import subprocess
import tempfile
import unittest

from ports import hold_port, rpc_hosts

QUARNC = os.environ.get("QUARNC", "quarnc")


class OptionsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quarn-options-")
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.tmp,
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_quarnc(self, *args, env=None):
        if "--enable-rpc" in args:
            # With the control server on the run waits for requests; end it. Its
            # port is held by the test, so that runs side by side do not collide.
            hold = hold_port(rpc_hosts())
            self.addCleanup(hold.release)
            args = (*args, "--stop=1", "--rpc-listen-port=%d" % hold.port)
        full_env = dict(self.env)
        if env:
            full_env.update(env)
        if "--enable-rpc" not in args:
            return subprocess.run([QUARNC, *args], capture_output=True, text=True,
                                  env=full_env, cwd=self.tmp, timeout=60)
        # "--stop=1" ends the run after a second; the interrupt is only a
        # safety net for a run that ignores it, not a clock the test races.
        proc = subprocess.Popen([QUARNC, *args], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=full_env, cwd=self.tmp)
        try:
            out, err = proc.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            proc.send_signal(signal.SIGINT)
            out, err = proc.communicate(timeout=60)
        return subprocess.CompletedProcess(proc.args, proc.returncode, out, err)

    def write_conf(self, text):
        path = os.path.join(self.tmp, "quarn.conf")
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_version_report(self):
        r = self.run_quarnc("--version")
        self.assertEqual(0, r.returncode, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual("quarn version 1.37.0", lines[0])
        self.assertIn("** Configuration **", lines)
        self.assertIn("Enabled Features: Async DNS, BitTorrent, Firefox3 Cookie, GZip, HTTPS, "
                      "Message Digest, Metalink, XML-RPC, SFTP", lines)
        libs = [l for l in lines if l.startswith("Libraries: ")]
        self.assertEqual(1, len(libs))
        for lib in ("zlib/", "libxml2/", "sqlite3/", "OpenSSL/3.", "c-ares/", "libssh2/"):
            self.assertIn(lib, libs[0])
        self.assertTrue(any(l.startswith("Hash Algorithms: sha-1") for l in lines))
        self.assertTrue(any(l.startswith("  built by  ") for l in lines))
        system = [l for l in lines if l.startswith("System: ")]
        self.assertEqual(1, len(system))
        self.assertIn(platform.release(), system[0])

    def test_version_wins_over_help(self):
        r = self.run_quarnc("--help", "--version")
        self.assertEqual(0, r.returncode)
        self.assertTrue(r.stdout.startswith("quarn version 1.37.0\n"))
        self.assertNotIn("Usage:", r.stdout)

    def test_basic_help(self):
        r = self.run_quarnc("-h")
        self.assertEqual(0, r.returncode)
        out = r.stdout
        self.assertTrue(out.startswith(
            "Usage: quarnc [OPTIONS] [URI | MAGNET | TORRENT_FILE | METALINK_FILE]...\n"
            "Printing options tagged with '#basic'.\n"
            "See 'quarnc -h#help' to know all available tags.\n"
            "Options:\n"), out[:300])
        self.assertIn(" -h, --help[=TAG|KEYWORD]     Print usage and exit.", out)
        # No possible values and no default: only the tags line follows.
        self.assertIn(" -v, --version                Print the version number and exit.\n\n"
                      "                              Tags: #basic\n\n", out)
        self.assertIn("URI, MAGNET, TORRENT_FILE, METALINK_FILE:\n", out)
        self.assertTrue(out.endswith("Refer to man page for more information.\n"))
        self.assertNotIn("--dns-timeout", out)

    def test_help_by_tag_keyword_and_all(self):
        http = self.run_quarnc("--help=#http").stdout
        self.assertIn("Printing options tagged with '#http'.", http)
        self.assertIn("--http-proxy=PROXY", http)
        self.assertNotIn("URI, MAGNET, TORRENT_FILE", http)
        unknown_tag = self.run_quarnc("-h#nosuchtag").stdout
        self.assertIn("Printing options tagged with '#nosuchtag'.\n"
                      "See 'quarnc -h#help' to know all available tags.\n"
                      "Options:\n"
                      "Refer to man page for more information.\n", unknown_tag)
        keyword = self.run_quarnc("--help=--max-tries=5").stdout
        self.assertIn("Printing options whose name includes 'max-tries'.", keyword)
        self.assertIn("                              Possible Values: 0-*\n"
                      "                              Default: 5\n"
                      "                              Tags: #http, #ftp\n", keyword)
        none = self.run_quarnc("--help=zzzz").stdout
        self.assertIn("No option matching with 'zzzz'.\n -h, --help", none)
        everything = self.run_quarnc("-h#all").stdout
        self.assertIn("Printing all options.\nOptions:\n", everything)
        self.assertIn("--netrc-path=FILE", everything)
        self.assertNotIn("--startup-idle-time", everything)
        self.assertLess(everything.index("--timeout=SEC"), everything.index("--dir=DIR"))

    def test_mistyped_option_suggests_candidates(self):
        r = self.run_quarnc("--timeuot=5", "http://127.0.0.1/")
        self.assertEqual(28, r.returncode)
        self.assertIn("Usage: quarnc [OPTIONS]", r.stderr)
        self.assertIn("See 'quarnc -h'.\n\nDid you mean:\n\t--timeout\n", r.stderr)
        r = self.run_quarnc("--xyzzy")
        self.assertEqual(28, r.returncode)
        self.assertIn("Did you mean:\n\t--log\n\t--dir\n\t--out\n\t--gid\n", r.stderr)
        r = self.run_quarnc("--qqqqqqqqqqqqqq")
        self.assertEqual(28, r.returncode)
        self.assertNotIn("Did you mean", r.stderr)

    def test_ambiguous_abbreviation_lists_every_match(self):
        r = self.run_quarnc("--max")
        self.assertEqual(28, r.returncode)
        self.assertIn("Did you mean:\n\t--max-tries\n", r.stderr)
        self.assertIn("\t--max-download-limit\n", r.stderr)

    def test_unambiguous_abbreviation_is_accepted(self):
        r = self.run_quarnc("--max-trie=3", "--no-conf", "--enable-rpc")
        self.assertEqual(0, r.returncode, r.stderr)
        r = self.run_quarnc("--max-trie")
        self.assertEqual(28, r.returncode)
        self.assertIn("Failed to parse command-line options.", r.stderr)
        self.assertNotIn("Did you mean", r.stderr)

    def test_bad_value_reports_the_option_and_its_help(self):
        r = self.run_quarnc("--max-connection-per-server=17", "http://127.0.0.1/")
        self.assertEqual(28, r.returncode)
        self.assertIn("We encountered a problem while processing the option "
                      "'--max-connection-per-server'.", r.stderr)
        self.assertIn("max-connection-per-server must be between 1 and 16.", r.stderr)
        self.assertIn("Usage:\n -x, --max-connection-per-server=NUM", r.stderr)
        self.assertNotIn("Exception caught", r.stderr)

    def test_values_reaching_32_bit_fields(self):
        for arg in ("--max-download-limit=2048M", "--stop-with-process=0",
                    "--stop-with-process=4294967297", "--dscp=64",
                    "--optimize-concurrent-downloads=inf:1"):
            r = self.run_quarnc(arg, "--enable-rpc")
            self.assertEqual(28, r.returncode, arg)
        r = self.run_quarnc("--max-download-limit=2047M", "--enable-rpc")
        self.assertEqual(0, r.returncode, r.stderr)

    def test_nothing_to_download(self):
        r = self.run_quarnc()
        self.assertEqual(1, r.returncode)
        self.assertIn("Specify at least one URL.\nUsage: quarnc", r.stderr)
        r = self.run_quarnc("--enable-rpc")
        self.assertEqual(0, r.returncode, r.stderr)

    def test_missing_configuration_file(self):
        missing = os.path.join(self.tmp, "nope.conf")
        r = self.run_quarnc("--conf-path=" + missing, "--enable-rpc")
        self.assertEqual(1, r.returncode)
        self.assertIn("Configuration file %s is not found.\n" % missing, r.stderr)
        self.assertIn("Printing options tagged with '#help'.", r.stderr)

    def test_bad_configuration_file(self):
        conf = self.write_conf("# settings\ntimeout=5\nsplit=0\n")
        r = self.run_quarnc("--conf-path=" + conf, "--max-tries=7", "--enable-rpc")
        self.assertEqual(28, r.returncode)
        self.assertIn("Parse error in %s\n" % conf, r.stderr)
        self.assertIn("split must be greater than or equal to 1.", r.stderr)
        self.assertIn("Usage:\n -s, --split=N", r.stderr)
        self.assertNotIn("Exception caught", r.stderr)

    def test_default_configuration_file_is_read(self):
        os.makedirs(os.path.join(self.tmp, ".config", "quarn"))
        with open(os.path.join(self.tmp, ".config", "quarn", "quarn.conf"), "w") as f:
            f.write("timeout=0\n")
        r = self.run_quarnc("--enable-rpc")
        self.assertEqual(28, r.returncode)
        self.assertIn("Parse error in", r.stderr)
        r = self.run_quarnc("--enable-rpc", "--no-conf")
        self.assertEqual(0, r.returncode, r.stderr)

    def test_bad_proxy_variable_is_reported_and_ignored(self):
        r = self.run_quarnc("--enable-rpc", "--no-conf", env={"http_proxy": "http://h:x"})
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertIn("Caught Error while parsing environment variable 'http_proxy'\n",
                      r.stderr)
        self.assertIn("unrecognized proxy format", r.stderr)

    def test_deferred_input_gives_way_to_save_session(self):
        session = os.path.join(self.tmp, "session")
        r = self.run_quarnc("--deferred-input", "--save-session=" + session, "--enable-rpc",
                            "--no-conf")
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertIn("[WARN] --deferred-input is disabled because of the presence of "
                      "--save-session", r.stdout)

    def test_deprecated_options_warn(self):
        r = self.run_quarnc("--enable-async-dns6", "--rpc-user=bob", "--enable-rpc", "--no-conf")
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertIn("--enable-async-dns6 option is deprecated.", r.stdout)
        self.assertIn("--rpc-user option will be deprecated in the future release. "
                      "Migrate to --rpc-secret option as soon as possible.", r.stdout)

    def test_log_banner(self):
        log = os.path.join(self.tmp, "run.log")
        r = self.run_quarnc("--enable-rpc", "--no-conf", "--log=" + log)
        self.assertEqual(0, r.returncode, r.stderr)
        with open(log) as f:
            text = f.read()
        for line in ("<<--- --- --- ---", "  --- --- --- ---", "  --- --- --- --->>",
                     "quarn 1.37.0", "Logging started."):
            self.assertIn(line + "\n", text)
        self.assertLess(text.index("<<---"), text.index("Logging started."))
        r = self.run_quarnc("--enable-rpc", "--no-conf", "--log=" + log + "2",
                            "--log-level=notice")
        with open(log + "2") as f:
            self.assertNotIn("Logging started.", f.read())

    def test_output_names_that_are_directories_are_refused(self):
        for out in (".", "..", "sub/..", "sub/."):
            with self.subTest(out):
                r = self.run_quarnc("--no-conf", "-o", out, "http://127.0.0.1:1/f")
                self.assertEqual(28, r.returncode, r.stderr)
                self.assertIn("'%s' is not a file name: it names a directory." % out,
                              r.stdout + r.stderr)
        self.assertEqual([], os.listdir(self.tmp))

    def test_log_file_that_cannot_be_opened_says_why(self):
        log = os.path.join(self.tmp, "missing", "run.log")
        r = self.run_quarnc("--no-conf", "--log=" + log, "http://127.0.0.1:1/f")
        self.assertNotEqual(0, r.returncode)
        text = r.stdout + r.stderr
        self.assertIn("Failed to open the file %s, cause: No such file or directory" % log, text)
        self.assertNotIn("n/a", text)

    def test_stderr_takes_the_console_output(self):
        args = ("--enable-rpc", "--no-conf", "--log=-", "--log-level=info")
        r = self.run_quarnc(*args)
        self.assertIn("Logging started.", r.stdout)
        r = self.run_quarnc("--stderr", *args)
        self.assertEqual(0, r.returncode)
        self.assertEqual("", r.stdout)
        self.assertIn("Logging started.", r.stderr)


if __name__ == "__main__":
    unittest.main()
