#!/usr/bin/env python3
"""Watch latency: from the write of one edited document to its page stored
on disk, and to the change event an open page receives, with
`kavsite ... serve` running on the benchmark site.

    bench/watch_latency.py --kavsite build/release/kavsite --site bench/out/site_5000_11 [--runs 41]

Copies the site's documents to a scratch folder (the corpus stays as it
is), builds it once with `serve` (which watches), listens to its change
events as a page would, then edits one document at a time (a
complete new version renamed over the old one, as editors save) and times,
with inotify on the page's folder, how long until the page holding the edit
is stored. Prints the median, the 90th percentile and the extremes, and the
rebuild times kavsite itself reports (without the quiet time it waits for a
save's events to end). Also prints the processor time the idle watcher uses
and how long a style sheet edit takes to rebuild every page; then, as the
reference, whole builds without watch after the same kinds of edit.
"""
import argparse
import ctypes
import http.client
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

IN_CLOSE_WRITE = 0x08
IN_MOVED_TO = 0x80
libc = ctypes.CDLL("libc.so.6", use_errno=True)


class PageWatch:
    """inotify on one folder: returns when `name` is written or renamed in."""

    def __init__(self, folder):
        self.fd = libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, folder.encode(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify")

    def wait(self, name, timeout):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                continue
            now = time.monotonic()
            data = os.read(self.fd, 65536)
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                event_name = data[at + 16:at + 16 + length].rstrip(b"\0").decode()
                at += 16 + length
                if event_name == name:
                    return now

    def close(self):
        os.close(self.fd)


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1))))]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--site", required=True, help="written by gen_site_corpus.py")
    parser.add_argument("--runs", type=int, default=41)
    parser.add_argument("--work", default="bench/out/watch_latency")
    args = parser.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    docs = os.path.join(args.work, "kav")
    root = os.path.join(args.work, "root")
    shutil.copytree(os.path.join(args.site, "kav"), docs)
    os.makedirs(root)
    documents = sorted(os.path.join(base, n) for base, _, names in os.walk(docs) for n in names if n.endswith(".kav"))

    lines = []
    seen = threading.Condition()
    process = subprocess.Popen([args.kavsite, "targ_p=" + docs, "root_p=" + root, "serve=18308",
                                "consent_url=https://127.0.0.1:1/save"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    def read():
        for line in process.stdout:
            with seen:
                lines.append(line.rstrip("\n"))
                seen.notify_all()

    threading.Thread(target=read, daemon=True).start()
    start = time.monotonic()
    with seen:
        if not seen.wait_for(lambda: any(l.startswith("[watch] watching") for l in lines), 300):
            sys.exit("kavsite did not start watching:\n" + "\n".join(lines))
    print("first build: %.2f s, %s" % (time.monotonic() - start,
                                      ", ".join(l.strip() for l in lines if "count:" in l)))

    # Change events as an open page gets them: (arrival time, changed pages).
    address = next(re.search(r"http://127\.0\.0\.1:(\d+)/", l) for l in lines if l.startswith("Serving"))
    stream = http.client.HTTPConnection("127.0.0.1", int(address.group(1)), timeout=600)
    stream.request("GET", "/__kavsite/events")
    events = []
    stream_response = stream.getresponse()

    def listen():
        for raw in iter(stream_response.readline, b""):
            if raw.startswith(b"data: "):
                with seen:
                    events.append((time.monotonic(), json.loads(raw[6:])["pages"]))
                    seen.notify_all()

    threading.Thread(target=listen, daemon=True).start()

    # The idle watcher's own processor time.
    time.sleep(1)
    before = cpu_seconds(process.pid)
    time.sleep(5)
    idle = (cpu_seconds(process.pid) - before) / 5 * 100
    print("idle watcher: %.1f%% of one processor" % idle)

    latencies, reported, event_latencies = [], [], []
    for run in range(args.runs):
        path = documents[(run * 97) % len(documents)]
        with open(path, encoding="utf-8") as f:
            text = f.read()
        output = re.search(r"^output_path: (\S+)", text, re.M).group(1)
        page = os.path.join(root, "html", output)
        token = "Latency probe %06d" % run
        watch = PageWatch(os.path.dirname(page))
        count = len(lines)
        temp = path + ".save"
        with open(temp, "w", encoding="utf-8") as f:
            f.write(text + "\n" + token + "\n")
        t0 = time.monotonic()
        os.replace(temp, path)
        stored = None
        while stored is None or token.encode() not in open(page, "rb").read():
            stored = watch.wait(os.path.basename(page), 30)
            if stored is None:
                sys.exit("the page of %s was not stored" % path)
        watch.close()
        latencies.append((stored - t0) * 1000)
        url = "/" + output
        with seen:
            if not seen.wait_for(lambda: any(url in pages for _, pages in events), 30):
                sys.exit("no change event for " + url)
            event_latencies.append((next(t for t, pages in events if url in pages) - t0) * 1000)
            events.clear()
        with seen:
            seen.wait_for(lambda: any("[watch] rebuilt" in l for l in lines[count:]), 30)
            m = [re.search(r" in (\d+) ms$", l) for l in lines[count:] if "[watch] rebuilt" in l]
        if m and m[0]:
            reported.append(int(m[0].group(1)))
        time.sleep(0.15)  # the next edit is its own save

    # A style sheet edit rebuilds every page.
    full = []
    for run in range(3):
        count = len(lines)
        css = os.path.join(root, "shared", "css", "kav", "css_kav.css")
        os.makedirs(os.path.dirname(css), exist_ok=True)
        t0 = time.monotonic()
        with open(css, "w") as f:
            f.write("p{margin:%dpx}\n" % run)
        with seen:
            if not seen.wait_for(lambda: any("templates and style sheets changed" in l for l in lines[count:]), 300):
                sys.exit("no rebuild after the style sheet edit")
        full.append(time.monotonic() - t0)
        time.sleep(1)

    process.send_signal(signal.SIGTERM)
    status = process.wait(60)

    # The reference, measured in the same run: what an author did before
    # watch, a whole build after one edit, and after a style sheet edit.
    build = [args.kavsite, "targ_p=" + docs, "root_p=" + root, "deploy", "consent_url=https://127.0.0.1:1/save"]
    one_edit, css_edit = [], []
    for run in range(3):
        path = documents[(run * 31) % len(documents)]
        with open(path, "a", encoding="utf-8") as f:
            f.write("Whole build probe %d\n" % run)
        t0 = time.monotonic()
        subprocess.run(build, stdout=subprocess.DEVNULL, check=True)
        one_edit.append(time.monotonic() - t0)
        with open(os.path.join(root, "shared", "css", "kav", "css_kav.css"), "w") as f:
            f.write("p{margin:%dpx}\n" % (run + 10))
        t0 = time.monotonic()
        subprocess.run(build, stdout=subprocess.DEVNULL, check=True)
        css_edit.append(time.monotonic() - t0)
    print("machine: %d processors, %s" % (os.cpu_count(), os.uname().release))
    print("documents: %d, edits: %d, exit status after SIGTERM: %d" % (len(documents), args.runs, status))
    print("write -> page stored: median %.1f ms, p90 %.1f ms, min %.1f ms, max %.1f ms"
          % (percentile(latencies, 50), percentile(latencies, 90), min(latencies), max(latencies)))
    print("write -> change event at an open page: median %.1f ms, p90 %.1f ms"
          % (percentile(event_latencies, 50), percentile(event_latencies, 90)))
    print("style sheet edit -> every page rebuilt: median %.2f s of %s s" % (percentile(full, 50),
                                                                     " ".join("%.2f" % t for t in full)))
    print("reference, a whole build (kavsite without watch): after one document edit median %.2f s (%s s), "
          "after a style sheet edit median %.2f s (%s s)"
          % (percentile(one_edit, 50), " ".join("%.2f" % t for t in one_edit),
             percentile(css_edit, 50), " ".join("%.2f" % t for t in css_edit)))
    print("one edit: watch / whole build = %.3f" % (percentile(latencies, 50) / 1000 / percentile(one_edit, 50)))
    if reported:
        print("rebuild as kavsite reports it (after the quiet time): median %d ms, p90 %d ms"
              % (percentile(reported, 50), percentile(reported, 90)))


if __name__ == "__main__":
    main()
