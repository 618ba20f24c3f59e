#!/usr/bin/env python3
"""Times quarnc against curl (and wget2) on small files served by nginx on loopback.

Two cases, each with the output on tmpfs and on disk:
  - one 1 KiB file: start-up and per-download cost (`curl -o`);
  - 500 files of 1 KiB from one server: `quarnc -i LIST -j16` against
    `curl --parallel --parallel-max 16` and `wget2 --max-threads=16`.

Runs are alternated (every variant once per round, in a shuffled order) so that
machine noise falls on all alike; the file system is synced before every run.
Reports the median wall time, CPU time (user + system), the peak RSS over all
rounds, and the ratios to curl.

  bench/small_files_vs_curl.py --quarnc build/src/quarnc [--rounds 5] [--files 500]
                               [--baseline old/quarnc] [--disk-dir DIR]

With --baseline, an older binary runs the same variants in the same rounds, so
that a before/after comparison sees the same machine load.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from httpservers import NginxServer, file_sha256  # noqa: E402

FILE_SIZE = 1024
TMPFS = "/dev/shm"


def timed(cmd, cwd):
    # wait4 gives the CPU time at microsecond resolution (/usr/bin/time rounds
    # to 10 ms, too coarse for runs this short); it also counts the time
    # program's child. The peak RSS comes from /usr/bin/time: wait4's would
    # include the memory of the forked interpreter before the exec.
    rss_file = os.path.join(cwd, "..", "rss")
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file, *cmd], cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    cpu = usage.ru_utime + usage.ru_stime
    with open(rss_file) as f:
        rss_mib = int(f.read().split()[-1]) / 1024
    return proc.returncode, seconds, cpu, rss_mib, err


def quarnc_cmd(binary, out):
    return [binary, "--no-conf", "--dir=" + out, "--summary-interval=0",
            "--console-log-level=error", "--download-result=hide"]


def one_file_variants(binaries, url, out):
    target = os.path.join(out, "f000.bin")
    variants = [("curl -o", ["curl", "-s", "-o", target, url])]
    for label, binary in binaries:
        variants.append((label, quarnc_cmd(binary, out) + [url]))
    return variants


def many_files_variants(binaries, urls, out, list_path):
    with open(list_path, "w") as f:
        f.write("".join(u + "\n" for u in urls))
    curl = ["curl", "-s", "--parallel", "--parallel-max", "16"]
    for u in urls:
        curl += ["-o", os.path.join(out, os.path.basename(u)), u]
    variants = [("curl --parallel-max 16", curl)]
    if shutil.which("wget2"):
        variants.append(("wget2 --max-threads=16",
                         ["wget2", "-q", "--max-threads=16", "--no-robots", "-P", out,
                          "-i", list_path]))
    for label, binary in binaries:
        variants.append((label + " -j16", quarnc_cmd(binary, out) + ["-j16", "-i", list_path]))
    return variants


def clear(out):
    for name in os.listdir(out):
        os.remove(os.path.join(out, name))


def run_case(title, variants, out, expected, rounds):
    results = {name: [] for name, _ in variants}
    for round_no in range(rounds):
        order = list(variants)
        random.Random(round_no).shuffle(order)
        for name, cmd in order:
            clear(out)
            # Nobody is charged for the previous run's unwritten data.
            os.sync()
            rc, wall, cpu, rss, err = timed(cmd, out)
            ok = rc == 0 and all(
                os.path.exists(os.path.join(out, n)) and file_sha256(os.path.join(out, n)) == h
                for n, h in expected.items())
            if not ok:
                print("%s: %s failed (exit %d)\n%s" % (title, name, rc, err[-2000:]),
                      file=sys.stderr)
            results[name].append((wall, cpu, rss, ok))
    base = variants[0][0]
    base_wall = statistics.median(r[0] for r in results[base])
    base_cpu = statistics.median(r[1] for r in results[base])
    print("\n%s, %d rounds, medians" % (title, rounds))
    print("%-36s %9s %9s %10s %9s %9s %s" % ("variant", "wall ms", "cpu ms", "peak MiB",
                                             "wall/curl", "cpu/curl", "ok"))
    for name, _ in variants:
        rs = results[name]
        wall = statistics.median(r[0] for r in rs)
        cpu = statistics.median(r[1] for r in rs)
        rss = max(r[2] for r in rs)
        print("%-36s %9.1f %9.1f %10.1f %9.2f %9.2f %s" % (
            name, wall * 1000, cpu * 1000, rss, wall / base_wall if base_wall else 0,
            cpu / base_cpu if base_cpu else 0, all(r[3] for r in rs)))
    sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quarnc", default=os.environ.get("QUARNC", "quarnc"))
    ap.add_argument("--files", type=int, default=500)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--baseline", help="an older quarnc to compare with, run alike")
    ap.add_argument("--disk-dir", default=tempfile.gettempdir(),
                    help="a directory on disk for the on-disk output")
    args = ap.parse_args()

    binaries = [("quarnc", os.path.abspath(args.quarnc))]
    if args.baseline:
        binaries.append(("baseline", os.path.abspath(args.baseline)))
    work = tempfile.mkdtemp(prefix="quarn-bench-small-", dir=args.disk_dir)
    shm = tempfile.mkdtemp(prefix="quarn-bench-small-", dir=TMPFS) if os.path.isdir(TMPFS) else None
    try:
        root = os.path.join(work, "www")
        os.makedirs(root)
        expected = {}
        for i in range(args.files):
            name = "f%03d.bin" % i
            data = os.urandom(FILE_SIZE)
            with open(os.path.join(root, name), "wb") as f:
                f.write(data)
            expected[name] = file_sha256(os.path.join(root, name))
        outs = [("disk", os.path.join(work, "out"))]
        if shm:
            outs.insert(0, ("tmpfs", os.path.join(shm, "out")))
        with NginxServer(work, root, extra="keepalive_requests 100000;") as ng:
            urls = [ng.url("/f%03d.bin" % i) for i in range(args.files)]
            for where, out in outs:
                os.makedirs(out)
                run_case("one 1 KiB file, output on %s" % where,
                         one_file_variants(binaries, urls[0], out), out,
                         {"f000.bin": expected["f000.bin"]}, args.rounds)
                run_case("%d files of 1 KiB, output on %s" % (args.files, where),
                         many_files_variants(binaries, urls, out, os.path.join(work, "list")),
                         out, expected, args.rounds)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if shm:
            shutil.rmtree(shm, ignore_errors=True)


if __name__ == "__main__":
    main()
