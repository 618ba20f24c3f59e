#!/usr/bin/env python3
"""Times quarnc against `curl -o` and `wget2 --max-threads=8` on one large file
served by nginx on loopback, and measures how much of a per-connection limited
server's eight-fold rate `-x8` reaches.

Runs are alternated (every variant once per round, in a shuffled order) so
that cache and machine noise fall on all alike; the file system is synced
before every run. Reports the median wall time, CPU time (user + system) and
peak RSS from /usr/bin/time -v, the ratios to curl and wget2, and for every
`-x8` row its ratios to the `-x1` row of the same binary and allocation.

  bench/download_vs_curl.py --quarnc build/src/quarnc [--size-mib 1024] [--rounds 3]
                            [--baseline old/quarnc] [--output tmpfs,disk]
                            [--limit-size-mib 512] [--limit-rate-mib 20]

--output names where the downloaded file goes: "tmpfs" (/dev/shm, so that the
shared virtual disk's noise stays out) and/or "disk" (a temporary directory
on the disk). Each gets its own table. --limit-size-mib 0 skips the limited
server case.

With --baseline, an older binary runs the same variants in the same rounds, so
that a before/after comparison sees the same machine load.

The limited case serves the file with nginx `limit_rate` per connection and
reports the rate reached as a fraction of eight times that limit. nginx lets a
response run one second ahead of its limit, so eight plain `curl -r` range
requests, one per eighth of the file, run in the same rounds as the reference
for what eight connections can get from that server.
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

MIB = 1024 * 1024
X1 = ["-x1"]
X8 = ["-x8", "-s8", "-k1M"]
ALLOCATIONS = (["--file-allocation=falloc"], [])  # [] is the default, "prealloc"


def make_file(path, size_mib):
    chunk = os.urandom(MIB)
    with open(path, "wb") as f:
        for i in range(size_mib):
            # Vary every MiB so that no layer can shortcut repeated data.
            f.write(i.to_bytes(8, "little") + chunk[8:])


def parse_time(err):
    def field(name):
        m = re.search(r"^\s*%s: (.+)$" % re.escape(name), err, re.M)
        return m.group(1).strip() if m else None

    wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
    parts = [float(p) for p in wall.split(":")]
    seconds = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
    cpu = float(field("User time (seconds)")) + float(field("System time (seconds)"))
    rss_mib = int(field("Maximum resident set size (kbytes)")) / 1024
    return seconds, cpu, rss_mib


def timed(cmd, cwd):
    result = subprocess.run(["/usr/bin/time", "-v", *cmd], cwd=cwd, capture_output=True)
    err = result.stderr.decode(errors="replace")
    return (result.returncode, *parse_time(err), err)


def quarnc_cmd(binary, out, qargs, url):
    return [binary, "--no-conf", "--dir=" + out, "--summary-interval=0",
            "--console-log-level=error", *qargs, url]


def clear_dir(path):
    for name in os.listdir(path):
        os.remove(os.path.join(path, name))


def binaries_of(args):
    binaries = [("quarnc", args.quarnc)]
    if args.baseline:
        binaries.append(("baseline", args.baseline))
    return binaries


def speed_variants(args):
    """(name, kind, binary, quarnc args) of the unlimited case."""
    variants = [("curl -o", "curl", None, None),
                ("wget2 --max-threads=8", "wget2", None, None)]
    for alloc in ALLOCATIONS:
        for conn in (X1, X8):
            for label, binary in binaries_of(args):
                name = " ".join([label, *conn, *alloc])
                variants.append((name, "quarnc", binary, conn + alloc))
    return variants


def run_speed(args, ng, out, expected):
    url = ng.url("/large.bin")
    variants = speed_variants(args)
    results = {name: [] for name, *_ in variants}
    for round_no in range(args.rounds):
        # Each round runs the variants in another order, so that no variant
        # always follows the same one (a predecessor's deleted file and its
        # write-back weigh on the next run).
        order = list(variants)
        random.Random(round_no).shuffle(order)
        for name, kind, binary, qargs in order:
            clear_dir(out)
            target = os.path.join(out, "large.bin")
            # Nobody is charged for the previous run's unwritten data.
            os.sync()
            if kind == "curl":
                cmd = ["curl", "-s", "-o", target, url]
            elif kind == "wget2":
                cmd = ["wget2", "-q", "--max-threads=8", "-O", target, url]
            else:
                cmd = quarnc_cmd(binary, out, qargs, url)
            rc, wall, cpu, rss, err = timed(cmd, out)
            ok = rc == 0 and os.path.exists(target) and file_sha256(target) == expected
            if not ok:
                print("%s failed (exit %d)\n%s" % (name, rc, err[-2000:]), file=sys.stderr)
            results[name].append((wall, cpu, rss, ok))
    clear_dir(out)
    return variants, results


def medians(rs):
    return (statistics.median(r[0] for r in rs), statistics.median(r[1] for r in rs),
            max(r[2] for r in rs), all(r[3] for r in rs))


def print_speed(args, where, variants, results):
    med = {name: medians(rs) for name, rs in results.items()}
    curl_wall, curl_cpu = med["curl -o"][:2]
    wget_wall = med["wget2 --max-threads=8"][0]
    print("\n%d MiB from nginx on loopback, output on %s, %d rounds, medians" % (
        args.size_mib, where, args.rounds))
    print("%-48s %7s %7s %8s %9s %8s %10s %8s %7s %s" % (
        "variant", "wall s", "cpu s", "peak MiB", "wall/curl", "cpu/curl", "wall/wget2",
        "wall/x1", "cpu/x1", "ok"))
    for name, kind, _, qargs in variants:
        wall, cpu, rss, ok = med[name]
        vs_x1 = ("", "")
        if kind == "quarnc" and qargs[:len(X8)] == X8:
            one = med[name.replace(" ".join(X8), " ".join(X1))]
            vs_x1 = ("%.2f" % (wall / one[0]), "%.2f" % (cpu / one[1] if one[1] else 0))
        print("%-48s %7.2f %7.2f %8.1f %9.2f %8.2f %10.2f %8s %7s %s" % (
            name, wall, cpu, rss, wall / curl_wall, cpu / curl_cpu if curl_cpu else 0,
            wall / wget_wall, vs_x1[0], vs_x1[1], ok))


def run_curl_ranges(url, out, size):
    """Eight `curl -r` processes at once, one per eighth of the file."""
    part = size // 8
    procs = []
    for i in range(8):
        last = size - 1 if i == 7 else (i + 1) * part - 1
        target = os.path.join(out, "part%d" % i)
        procs.append(subprocess.Popen(["/usr/bin/time", "-f", "%e %U %S %M", "-o", target + ".t",
                                       "curl", "-s", "-r", "%d-%d" % (i * part, last),
                                       "-o", target, url]))
    rcs = [p.wait() for p in procs]
    ok = all(rc == 0 for rc in rcs) and sum(
        os.path.getsize(os.path.join(out, "part%d" % i)) for i in range(8)) == size
    times = []
    for i in range(8):
        with open(os.path.join(out, "part%d.t" % i)) as f:
            times.append([float(x) for x in f.read().split()])
    wall = max(t[0] for t in times)
    cpu = sum(t[1] + t[2] for t in times)
    rss = max(t[3] for t in times) / 1024
    return ok, wall, cpu, rss


def run_limited(args, ng, where, out, expected):
    url = ng.url("/limited/large.bin")
    size = args.limit_size_mib * MIB
    variants = [("8 x curl -r (reference)", None, None)]
    for label, binary in binaries_of(args):
        variants.append((" ".join([label, *X8, *ALLOCATIONS[0]]), binary, X8 + ALLOCATIONS[0]))
    results = {name: [] for name, *_ in variants}
    for round_no in range(args.rounds):
        order = list(variants)
        random.Random(round_no).shuffle(order)
        for name, binary, qargs in order:
            clear_dir(out)
            os.sync()
            if binary is None:
                ok, wall, cpu, rss = run_curl_ranges(url, out, size)
            else:
                target = os.path.join(out, "large.bin")
                rc, wall, cpu, rss, err = timed(quarnc_cmd(binary, out, qargs, url), out)
                ok = rc == 0 and os.path.exists(target) and file_sha256(target) == expected
                if not ok:
                    print("%s failed (exit %d)\n%s" % (name, rc, err[-2000:]), file=sys.stderr)
            results[name].append((wall, cpu, rss, ok))
    clear_dir(out)
    allowed = 8 * args.limit_rate_mib
    print("\n%d MiB from nginx with limit_rate %dm per connection (%d MiB/s for eight), "
          "output on %s, %d rounds, medians" % (args.limit_size_mib, args.limit_rate_mib,
                                                 allowed, where, args.rounds))
    print("%-48s %7s %7s %8s %8s %9s %s" % ("variant", "wall s", "cpu s", "peak MiB", "MiB/s",
                                            "of 8-fold", "ok"))
    for name, *_ in variants:
        wall, cpu, rss, ok = medians(results[name])
        rate = args.limit_size_mib / wall
        print("%-48s %7.2f %7.2f %8.1f %8.1f %8.0f%% %s" % (name, wall, cpu, rss, rate,
                                                          100 * rate / allowed, ok))


def output_dirs(args, work):
    dirs = []
    for where in args.output.split(","):
        if where == "tmpfs":
            dirs.append(("tmpfs", tempfile.mkdtemp(prefix="quarn-bench-out-", dir="/dev/shm")))
        elif where == "disk":
            path = os.path.join(work, "out")
            os.makedirs(path)
            dirs.append(("disk", path))
        else:
            sys.exit("--output takes tmpfs and/or disk")
    return dirs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quarnc", default=os.environ.get("QUARNC", "quarnc"))
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--baseline", help="an older quarnc to compare with, run alike")
    ap.add_argument("--output", default="tmpfs,disk", help="tmpfs, disk or both, comma-separated")
    ap.add_argument("--limit-size-mib", type=int, default=512)
    ap.add_argument("--limit-rate-mib", type=int, default=20)
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="quarn-bench-")
    outs = []
    try:
        root = os.path.join(work, "www")
        limited_root = os.path.join(root, "limited")
        os.makedirs(limited_root)
        source = os.path.join(root, "large.bin")
        make_file(source, args.size_mib)
        expected = file_sha256(source)
        outs = output_dirs(args, work)
        extra = "sendfile on; keepalive_requests 10000;"
        if args.limit_size_mib:
            make_file(os.path.join(limited_root, "large.bin"), args.limit_size_mib)
            limited_expected = file_sha256(os.path.join(limited_root, "large.bin"))
            extra += " location /limited/ { limit_rate %dm; }" % args.limit_rate_mib
        with NginxServer(work, root, extra=extra) as ng:
            for where, out in outs:
                variants, results = run_speed(args, ng, out, expected)
                print_speed(args, where, variants, results)
            if args.limit_size_mib:
                # The limit, not the file system, is what this case measures.
                where, out = outs[0]
                run_limited(args, ng, where, out, limited_expected)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        for where, out in outs:
            if where == "tmpfs":
                shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
