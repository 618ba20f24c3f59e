#!/usr/bin/env python3
"""Times quarnc against `curl -o` on one large file served by nginx on loopback.

Runs are alternated (every variant once per round, in a shuffled order) so
that cache and machine noise fall on all alike; the file system is synced
before every run. Reports the median wall
time, CPU time (user + system) and peak RSS from /usr/bin/time -v, and the
ratios to curl.

  bench/download_vs_curl.py --quarnc build/src/quarnc [--size-mib 1024] [--rounds 3]
                            [--baseline old/quarnc]

With --baseline, an older binary runs the same variants in the same rounds, so
that a before/after comparison sees the same machine load.
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from httpservers import NginxServer, file_sha256  # noqa: E402


def make_file(path, size_mib):
    chunk = os.urandom(1024 * 1024)
    with open(path, "wb") as f:
        for i in range(size_mib):
            # Vary every MiB so that no layer can shortcut repeated data.
            f.write(i.to_bytes(8, "little") + chunk[8:])


def timed(cmd, cwd):
    result = subprocess.run(["/usr/bin/time", "-v", *cmd], cwd=cwd, capture_output=True)
    err = result.stderr.decode(errors="replace")

    def field(name):
        m = re.search(r"^\s*%s: (.+)$" % re.escape(name), err, re.M)
        return m.group(1).strip() if m else None

    wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
    parts = [float(p) for p in wall.split(":")]
    seconds = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
    cpu = float(field("User time (seconds)")) + float(field("System time (seconds)"))
    rss_mib = int(field("Maximum resident set size (kbytes)")) / 1024
    return result.returncode, seconds, cpu, rss_mib, err


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quarnc", default=os.environ.get("QUARNC", "quarnc"))
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--baseline", help="an older quarnc to compare with, run alike")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="quarn-bench-")
    try:
        root = os.path.join(work, "www")
        out = os.path.join(work, "out")
        os.makedirs(root)
        os.makedirs(out)
        source = os.path.join(root, "large.bin")
        make_file(source, args.size_mib)
        expected = file_sha256(source)
        variants = [("curl -o", None, None)]
        binaries = [("quarnc", args.quarnc)]
        if args.baseline:
            binaries.append(("baseline", args.baseline))
        for conn in (["-x1"], ["-x8", "-s8", "-k1M"]):
            for alloc in ([], ["--file-allocation=none"]):
                for label, binary in binaries:
                    variants.append((label + " " + " ".join(conn + alloc), binary, conn + alloc))
        results = {name: [] for name, _, _ in variants}
        with NginxServer(work, root, extra="sendfile on; keepalive_requests 10000;") as ng:
            url = ng.url("/large.bin")
            for round_no in range(args.rounds):
                # Each round runs the variants in another order, so that no variant
                # always follows the same one (a predecessor's deleted file and its
                # write-back weigh on the next run).
                order = list(variants)
                random.Random(round_no).shuffle(order)
                for name, binary, qargs in order:
                    target = os.path.join(out, "large.bin")
                    for leftover in (target, target + ".quarn"):
                        if os.path.exists(leftover):
                            os.remove(leftover)
                    # Nobody is charged for the previous run's unwritten data.
                    os.sync()
                    if qargs is None:
                        cmd = ["curl", "-s", "-o", target, url]
                    else:
                        cmd = [binary, "--no-conf", "--dir=" + out, "--summary-interval=0",
                               "--console-log-level=error", *qargs, url]
                    rc, wall, cpu, rss, err = timed(cmd, out)
                    ok = rc == 0 and os.path.exists(target) and file_sha256(target) == expected
                    if not ok:
                        print("%s failed (exit %d)\n%s" % (name, rc, err[-2000:]), file=sys.stderr)
                    results[name].append((wall, cpu, rss, ok))
        base_wall = statistics.median(r[0] for r in results["curl -o"])
        base_cpu = statistics.median(r[1] for r in results["curl -o"])
        print("%d MiB from nginx on loopback, %d rounds, medians" % (args.size_mib, args.rounds))
        print("%-40s %9s %9s %10s %9s %9s %s" % ("variant", "wall s", "cpu s", "peak MiB",
                                                 "wall/curl", "cpu/curl", "ok"))
        for name, _, _ in variants:
            rs = results[name]
            wall = statistics.median(r[0] for r in rs)
            cpu = statistics.median(r[1] for r in rs)
            rss = max(r[2] for r in rs)
            print("%-40s %9.2f %9.2f %10.1f %9.2f %9.2f %s" % (
                name, wall, cpu, rss, wall / base_wall, cpu / base_cpu if base_cpu else 0,
                all(r[3] for r in rs)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
