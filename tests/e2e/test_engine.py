import os
import shutil
import subprocess
import tempfile
import unittest


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


if __name__ == "__main__":
    unittest.main()
