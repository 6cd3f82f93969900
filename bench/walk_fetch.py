#!/usr/bin/env python3
"""Walk + fetch: a kavsite build over a corpus against `cat` of the same files.

Each run times both, side by side (order alternating), with warm file-system
caches (one untimed run of each first). `cat` is one process fed by `find`
through xargs with a command line large enough for every path. Peak resident
memory of kavsite comes from wait4's resource usage.

    bench/walk_fetch.py --kavsite build/release/kavsite --corpus bench/out/corpus --runs 7
"""
import argparse
import os
import platform
import shlex
import statistics
import subprocess
import tempfile
import time


def run(argv):
    """Wall seconds, peak resident KiB, exit status and standard output."""
    read_fd, write_fd = os.pipe()
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, write_fd, 1)])
    os.close(write_fd)
    chunks = []
    while True:
        chunk = os.read(read_fd, 65536)
        if not chunk:
            break
        chunks.append(chunk)
    os.close(read_fd)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    return seconds, usage.ru_maxrss, os.waitstatus_to_exitcode(status), b"".join(chunks).decode(errors="replace")


def corpus_size(corpus):
    files = 0
    total = 0
    for folder, _, names in os.walk(corpus):
        for name in names:
            files += 1
            total += os.path.getsize(os.path.join(folder, name))
    return files, total


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()

    kavsite = os.path.abspath(args.kavsite)
    corpus = os.path.abspath(args.corpus)
    files, total = corpus_size(corpus)
    site = tempfile.mkdtemp(prefix="kavsite_bench_site_")
    build = [kavsite, "targ_p=" + corpus, "root_p=" + site]

    # One cat for every path: the largest command line the system takes.
    arg_max = os.sysconf("SC_ARG_MAX") - 65536
    find = "find %s -type f -print0 | xargs -0 -s %d" % (shlex.quote(corpus), arg_max)
    cat = ["/bin/sh", "-c", find + " cat > /dev/null"]
    invocations = subprocess.run(["/bin/sh", "-c", find + " sh -c 'echo x' sh | wc -l"], capture_output=True,
                                 text=True).stdout.strip()

    # Warm the caches and check that the build runs to the end.
    run(cat)
    _, _, status, output = run(build)
    if status != 0 or not output.endswith("HTML conversion:\n"):
        raise SystemExit("kavsite failed (status %d):\n%s" % (status, output))

    build_times, cat_times, peaks = [], [], []
    for i in range(args.runs):
        order = [(build, build_times), (cat, cat_times)]
        if i % 2:
            order.reverse()
        for argv, times in order:
            seconds, peak, status, _ = run(argv)
            if status != 0:
                raise SystemExit("%s failed with status %d" % (argv[0], status))
            times.append(seconds)
            if argv is build:
                peaks.append(peak)

    build_median = statistics.median(build_times)
    cat_median = statistics.median(cat_times)
    print("machine:        %s, %d logical processors, %s" % (platform.processor() or platform.machine(),
                                                              os.cpu_count(), platform.platform()))
    print("corpus:         %d files, %d bytes (%.1f MB), %s" % (files, total, total / 1e6, corpus))
    print("cat processes:  %s" % invocations)
    print("runs:           %d (warm caches)" % args.runs)
    print("kavsite build:  median %.3f s  (runs: %s)" % (build_median, " ".join("%.3f" % t for t in build_times)))
    print("find + cat:     median %.3f s  (runs: %s)" % (cat_median, " ".join("%.3f" % t for t in cat_times)))
    print("ratio:          %.2f (kavsite / cat)" % (build_median / cat_median))
    peak = max(peaks)
    print("peak resident:  %.1f MB max, %.1f MB median  (%.2f x the bytes read)" %
          (peak * 1024 / 1e6, statistics.median(peaks) * 1024 / 1e6, peak * 1024 / total))


if __name__ == "__main__":
    main()
