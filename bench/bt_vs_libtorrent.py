#!/usr/bin/env python3
"""Times quarnc against a libtorrent leecher on one torrent seeded by libtorrent on loopback.

One single-file torrent (1 GiB by default) is made with mktorrent and seeded by one
libtorrent seeder through a small python tracker. Each round runs both leechers
once, in alternating order, into an emptied directory after a sync; the median
wall time, CPU time (the leecher process's user + system, from os.wait4) and peak
RSS (its ru_maxrss) are reported with the ratios to libtorrent, as a markdown table.

  bench/bt_vs_libtorrent.py --quarnc build/src/quarnc [--size 1024] [--rounds 3]

--size is in MiB. The libtorrent leecher runs in the python of python3-libtorrent
(/usr/bin/python3), so its figures include that interpreter's start-up.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from bt_peers import HttpTracker, LtPeer, file_sha256, mktorrent  # noqa: E402
from ports import QUARNC_PORTS  # noqa: E402


def make_file(path, size_mib):
    chunk = os.urandom(1024 * 1024)
    with open(path, "wb") as f:
        for i in range(size_mib):
            # Vary every MiB so that no layer can shortcut repeated data.
            f.write(i.to_bytes(8, "little") + chunk[8:])


def piece_exp(size_mib):
    """Piece length as a power of two: about 1000 to 2000 pieces, 32 KiB to 4 MiB."""
    exp = 15
    while exp < 22 and (size_mib << 20) >> exp > 2000:
        exp += 1
    return exp


def timed(cmd, cwd):
    """Exit status, wall seconds, CPU seconds and peak RSS in MiB of one child."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    # The libtorrent peer takes the end of its stdin for the end of the test; it stays
    # open (and unused) until the child is gone.
    err = proc.stdout.read()
    proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return (proc.returncode, wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024,
            err.decode(errors="replace"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quarnc", default=os.environ.get("QUARNC", "quarnc"))
    ap.add_argument("--size", type=int, default=1024, help="MiB")
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    if os.sep in args.quarnc:
        args.quarnc = os.path.abspath(args.quarnc)

    work = tempfile.mkdtemp(prefix="quarn-btbench-")
    try:
        src = os.path.join(work, "src")
        out = os.path.join(work, "out")
        os.makedirs(src)
        name = "large.bin"
        make_file(os.path.join(src, name), args.size)
        expected = file_sha256(os.path.join(src, name))
        results = {"libtorrent": [], "quarnc": []}
        with HttpTracker() as tracker:
            torrent = mktorrent(os.path.join(work, "large.torrent"), name, [[tracker.url()]],
                                piece_exp=piece_exp(args.size), cwd=src)
            with LtPeer(torrent, src, seed=True) as seeder:
                seeder.wait(lambda s: s["tracker_replies"], 30, "the seeder's announce")
                lt_leecher = LtPeer(torrent, out, connect=[("127.0.0.1", seeder.port)],
                                    exit_when_done=True)
                commands = {
                    "libtorrent": lt_leecher.command(),
                    "quarnc": [args.quarnc, "--no-conf", "--dir=" + out, "--summary-interval=0",
                               "--console-log-level=error", "--seed-time=0",
                               "--listen-port=" + QUARNC_PORTS, torrent],
                }
                # The default allocation writes the whole file once before the
                # download; the same run without that shows what it costs.
                commands["quarnc falloc"] = commands["quarnc"][:-1] + [
                    "--file-allocation=falloc", torrent]
                for round_no in range(args.rounds):
                    order = list(commands)
                    if round_no % 2:
                        order.reverse()
                    for variant in order:
                        shutil.rmtree(out, ignore_errors=True)
                        os.makedirs(out)
                        # Nobody is charged for the previous run's unwritten data.
                        os.sync()
                        rc, wall, cpu, rss, err = timed(commands[variant], out)
                        target = os.path.join(out, name)
                        ok = rc == 0 and os.path.exists(target) and \
                            file_sha256(target) == expected
                        if not ok:
                            print("%s failed (exit %d)\n%s" % (variant, rc, err[-2000:]),
                                  file=sys.stderr)
                        results.setdefault(variant, []).append((wall, cpu, rss, ok))
        report(args, results)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def report(args, results):
    base_wall = statistics.median(r[0] for r in results["libtorrent"])
    base_cpu = statistics.median(r[1] for r in results["libtorrent"])
    print("%d MiB from one libtorrent seeder on loopback, %d rounds, medians\n" %
          (args.size, args.rounds))
    print("| leecher | wall s | cpu s | peak RSS MiB | wall / lt | cpu / lt | all ok |")
    print("|---|---:|---:|---:|---:|---:|---|")
    for variant, rs in results.items():
        wall = statistics.median(r[0] for r in rs)
        cpu = statistics.median(r[1] for r in rs)
        rss = max(r[2] for r in rs)
        print("| %s | %.2f | %.2f | %.1f | %.2f | %.2f | %s |" % (
            variant, wall, cpu, rss, wall / base_wall, cpu / base_cpu if base_cpu else 0,
            all(r[3] for r in rs)))


if __name__ == "__main__":
    main()
