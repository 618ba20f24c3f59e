import os
import subprocess
import unittest

from ports import hold_port, rpc_hosts


class ProcessEntryTest(unittest.TestCase):
    def test_starts_and_exits_cleanly(self):
        # With the control server asked for, no download source is needed; the
        # run then waits for requests until it is stopped. The test holds its
        # port, which quarnc shares and nobody else can take.
        with hold_port(rpc_hosts()) as hold:
            result = subprocess.run([os.environ["QUARNC"], "--enable-rpc", "--no-conf",
                                     "--stop=1", "--rpc-listen-port=%d" % hold.port],
                                    capture_output=True, timeout=60)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertNotIn(b"Exception caught", result.stderr)

    def test_library_failure_ends_with_trace_and_code(self):
        env = dict(os.environ, OPENSSL_MODULES="/nonexistent-quarn-modules")
        result = subprocess.run([os.environ["QUARNC"]], capture_output=True, timeout=60, env=env)
        self.assertEqual(1, result.returncode, result.stderr)
        lines = result.stderr.decode().split("\n")
        self.assertEqual("Exception caught", lines[0])
        self.assertRegex(lines[1], r"^Exception: \[Platform\.cc:\d+\] errorCode=1 "
                                   r"OSSL_PROVIDER_load 'legacy' failed\.$")


if __name__ == "__main__":
    unittest.main()
