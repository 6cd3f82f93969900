#!/usr/bin/python3
"""End to end: kavsite with `watch` and `serve` as real processes.

Documents are edited on disk while the program runs; the tests look at the
console, the pages on disk, and (with `serve`) HTTP on 127.0.0.1: pages,
change events, 404s for paths that leave the served folder, the port taken
when the asked one is busy, and a clean end on SIGINT / SIGTERM.

    watch_serve_e2e_test.py --kavsite <binary> [--slow] [unittest arguments]

Waits are for hangs only: generous, and longer with --slow (sanitizer
builds).
"""
import argparse
import http.client
import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

KAVSITE = None
WAIT = 30.0  # seconds; scaled by --slow


def document(title, output_path, body, status=None):
    lines = ["``", "title: " + title, "output_path: " + output_path]
    if status:
        lines.append("status: " + status)
    lines += ["``", "Heading", "  " + body, ""]
    return "\n".join(lines)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Written beside and renamed over, as editors save: one complete file.
    temp = path + ".tmp-save"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temp, path)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def snapshot(folder):
    """Every file under `folder` with its bytes and modification time."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            files[os.path.relpath(path, folder)] = (read(path), os.stat(path).st_mtime_ns)
    return files


def temporary_files(folder):
    """Files the atomic writes leave behind if they fail: ".kavsite-tmp-<process>-<n>-<name>"."""
    found = []
    for base, _, names in os.walk(folder):
        found += [os.path.join(base, n) for n in names if n.startswith(".kavsite-tmp-")]
    return found


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Program:
    """kavsite running in the background; its standard output is read line
    by line on a thread."""

    def __init__(self, args, cwd):
        self.lines = []
        self.cv = threading.Condition()
        self.process = subprocess.Popen(
            [KAVSITE, "consent_url=https://127.0.0.1:1/save"] + args, cwd=cwd,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.errors = []
        self.readers = [threading.Thread(target=self._read, args=(stream, sink), daemon=True)
                        for stream, sink in ((self.process.stdout, self.lines), (self.process.stderr, self.errors))]
        for reader in self.readers:
            reader.start()

    def _read(self, stream, sink):
        for line in stream:
            with self.cv:
                sink.append(line.rstrip("\n"))
                self.cv.notify_all()
        with self.cv:
            self.cv.notify_all()

    def output(self):
        with self.cv:
            return "\n".join(self.lines)

    def wait_for(self, pattern, start=0, timeout=None):
        """The first line from index `start` on that matches; fails after the
        wait (or when the program ends first)."""
        deadline = time.monotonic() + (timeout or WAIT)
        regex = re.compile(pattern)
        with self.cv:
            while True:
                for i in range(start, len(self.lines)):
                    m = regex.search(self.lines[i])
                    if m:
                        return i, m
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self._reading()):
                    raise AssertionError("no line matching %r; output:\n%s\nerrors:\n%s"
                                         % (pattern, "\n".join(self.lines), "\n".join(self.errors)))
                self.cv.wait(min(left, 0.5))

    def _reading(self):
        return any(reader.is_alive() for reader in self.readers)

    def line_count(self):
        with self.cv:
            return len(self.lines)

    def stop(self, sig=signal.SIGTERM):
        """Sends `sig` and returns the exit status once all output is read."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            status = self.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("kavsite did not end after %s; output:\n%s" % (sig, self.output()))
        self.close()
        return status

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.close()

    def close(self):
        for reader in self.readers:
            reader.join(WAIT)
        self.process.stdout.close()
        self.process.stderr.close()


class Site:
    """A scratch site: documents/ with three documents, and an empty root/."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="kavsite_watch_")
        self.docs = os.path.join(self.dir, "documents")
        self.root = os.path.join(self.dir, "root")
        self.html = os.path.join(self.root, "html")
        os.makedirs(self.root)
        write(self.doc("notes/a.kav"), document("Alpha", "notes/a.html", "First text"))
        write(self.doc("notes/b.kav"), document("Beta", "notes/b.html", "Second text"))
        write(self.doc("journal/c.kav"), document("Gamma", "journal/c.html", "Third text"))

    def doc(self, name):
        return os.path.join(self.docs, name)

    def page(self, name):
        return os.path.join(self.html, name)

    def start(self, *options):
        program = Program(["targ_p=" + self.docs, "root_p=" + self.root] + list(options), self.dir)
        program.wait_for(r"^\[watch\] watching ")
        return program

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class SiteTest(unittest.TestCase):
    def setUp(self):
        self.site = Site()
        self.program = None

    def tearDown(self):
        if self.program and not self.program.process.stdout.closed:
            self.program.kill()
        self.site.remove()

    def start(self, *options):
        self.program = self.site.start(*options)
        return self.program

    def rebuilt(self, pattern=r"^\[watch\] .*rebuilt"):
        """Waits for the next rebuild line after everything seen so far."""
        start = self.program.line_count()
        return lambda: self.program.wait_for(pattern, start)


class WatchTest(SiteTest):
    def test_edit_rebuilds_only_that_document(self):
        p = self.start("watch")
        b_before = os.stat(self.site.page("notes/b.html")).st_mtime_ns
        index_before = read(self.site.page("index.html"))
        wait = self.rebuilt()
        write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Edited words"))
        _, m = wait()
        self.assertRegex(m.string, r"^\[watch\] rebuilt a\.kav: 1 page in \d+ ms$")
        self.assertIn(b"Edited words", read(self.site.page("notes/a.html")))
        self.assertIn(b"Edited words", read(self.site.page("notes/raw_a.html")))
        # Same title, path and status: the home page is not made again.
        self.assertEqual(read(self.site.page("index.html")), index_before)
        self.assertEqual(os.stat(self.site.page("notes/b.html")).st_mtime_ns, b_before)

        # Errors are printed, and the page stays the last good one until
        # the document builds without an error.
        start = p.line_count()
        write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Broken words\n| a | b"))
        error, _ = p.wait_for(r"^error: $", start)
        p.wait_for(r"a\.kav has errors; its last good page is kept$", error)
        self.assertIn(b"Edited words", read(self.site.page("notes/a.html")))
        self.assertNotIn(b"Broken words", read(self.site.page("notes/a.html")))
        wait = self.rebuilt()
        write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Mended words"))
        wait()
        self.assertIn(b"Mended words", read(self.site.page("notes/a.html")))
        # A new document with an error has no good page to keep: it is built.
        wait = self.rebuilt()
        write(self.site.doc("notes/n.kav"), document("New", "notes/n.html", "New words\n| a | b"))
        wait()
        self.assertIn(b"New words", read(self.site.page("notes/n.html")))
        self.assertEqual(p.stop(), 0)

    def test_rebuilds_read_documents_as_a_build_does(self):
        # The build's options hold for rebuilds: one-line diagnostics, the
        # size limit, a byte-order mark taken off.
        p = self.start("watch", "diagnostics=line", "max_doc_mb=1")
        start = p.line_count()
        write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Broken words\n| a | b"))
        p.wait_for(r"a\.kav:\d+:\d+: error: ", start)
        p.wait_for(r"a\.kav has errors; its last good page is kept$", start)

        before = read(self.site.page("notes/b.html"))
        start = p.line_count()
        write(self.site.doc("notes/b.kav"), document("Beta", "notes/b.html", "x" * (2 << 20)))
        p.wait_for(r"b\.kav is larger than max_doc_mb=1; its pages are left as they were", start)
        self.assertEqual(read(self.site.page("notes/b.html")), before)

        wait = self.rebuilt()
        with open(self.site.doc("notes/b.kav"), "wb") as f:
            f.write(b"\xef\xbb\xbf" + document("Beta", "notes/b.html", "With a mark").encode())
        wait()
        page = read(self.site.page("notes/b.html"))
        self.assertIn(b"With a mark", page)
        self.assertNotIn("\ufeff".encode(), page)
        self.assertEqual(p.stop(), 0)

    def test_title_and_new_document_remake_the_home_page(self):
        p = self.start("watch")
        wait = self.rebuilt()
        write(self.site.doc("notes/a.kav"), document("Alpha renamed", "notes/a.html", "First text"))
        _, m = wait()
        self.assertIn("the home page", m.string)
        self.assertIn(b"Alpha renamed", read(self.site.page("index.html")))

        # A new folder with a document in it: watched, built, listed.
        wait = self.rebuilt()
        write(self.site.doc("travel/far/d.kav"), document("Delta", "travel/d.html", "Fourth text"))
        _, m = wait()
        self.assertRegex(m.string, r"rebuilt d\.kav: 1 page, the home page")
        self.assertIn(b"Fourth text", read(self.site.page("travel/d.html")))
        index = read(self.site.page("index.html"))
        self.assertIn(b"Delta", index)
        self.assertIn(b'id="wp-l-travel"', index)
        # And later edits in the new folder are seen too.
        wait = self.rebuilt()
        write(self.site.doc("travel/far/d.kav"), document("Delta", "travel/d.html", "Fifth text"))
        wait()
        self.assertIn(b"Fifth text", read(self.site.page("travel/d.html")))
        self.assertEqual(p.stop(), 0)

    def test_removed_draft_and_unreadable_documents_leave_pages(self):
        p = self.start("watch")
        cases = [
            # (what is done to the document, line, page, title gone from the home page)
            (lambda: os.remove(self.site.doc("notes/a.kav")),
             r"notes/a\.kav was removed; its pages are left in place", "notes/a.html", b"Alpha"),
            (lambda: write(self.site.doc("notes/b.kav"), document("Beta", "notes/b.html", "x", status="Draft")),
             r"notes/b\.kav is now a draft; its pages are left in place", "notes/b.html", b"Beta"),
            # A FIFO cannot be read as a document: the last good page stays
            # and stays listed.
            (lambda: (os.remove(self.site.doc("journal/c.kav")), os.mkfifo(self.site.doc("journal/c.kav"))),
             r"journal/c\.kav could not be read; its pages are left as they were", "journal/c.html", None),
        ]
        for act, line, page, title in cases:
            with self.subTest(line=line):
                before = read(self.site.page(page))
                start = p.line_count()
                act()
                p.wait_for(line, start)
                self.assertEqual(read(self.site.page(page)), before)
                if title:
                    p.wait_for(r"^\[watch\] .*the home page", start)
                    self.assertNotIn(title, read(self.site.page("index.html")))
        self.assertIn(b"Gamma", read(self.site.page("index.html")))
        self.assertEqual(p.stop(), 0)

    def test_home_page_lists_nothing_once_every_document_is_a_draft(self):
        p = self.start("watch")
        for name, title, page in [("notes/a.kav", "Alpha", "notes/a.html"), ("notes/b.kav", "Beta", "notes/b.html"),
                                  ("journal/c.kav", "Gamma", "journal/c.html")]:
            wait = self.rebuilt()
            write(self.site.doc(name), document(title, page, "x", status="Draft"))
            wait()
        index = read(self.site.page("index.html"))
        for title in [b"Alpha", b"Beta", b"Gamma"]:
            self.assertNotIn(title, index)
        self.assertEqual(p.stop(), 0)

    def test_template_edit_rebuilds_every_page_and_own_writes_are_ignored(self):
        p = self.start("watch")
        head = os.path.join(self.site.html, "shared/html/default_head.html")
        text = read(head).decode()
        self.assertIn("</head>", text)
        wait = self.rebuilt(r"^\[watch\] templates and style sheets changed: rebuilt 3 documents: 3 pages, the home page")
        write(head, text.replace("</head>", '<meta name="x-edited" content="1"></head>'))
        wait()
        for page in ["notes/a.html", "notes/b.html", "journal/c.html", "notes/raw_a.html", "index.html"]:
            self.assertIn(b'name="x-edited"', read(self.site.page(page)), page)
        # The rebuild rewrote the template and the style sheets itself: that
        # starts no rebuild of its own.
        count = p.line_count()
        time.sleep(1.5)
        self.assertEqual(p.output().split("\n")[count:], [])

        # A style sheet's own rules live inside every page.
        wait = self.rebuilt(r"^\[watch\] templates and style sheets changed")
        write(os.path.join(self.site.root, "shared/css/kav/css_kav.css"), "p{color:#123456}\n")
        wait()
        self.assertIn(b"#123456", read(self.site.page("notes/b.html")))
        self.assertEqual(p.stop(), 0)

    def test_pages_after_edits_are_those_of_a_fresh_build(self):
        p = self.start("watch", "file_p_check")
        # Over 256 KiB: made a part at a time, its body spooled, its page
        # written from pieces.
        large = "".join("words of line %d, with _some_ marks and a note[*1]\nPart %d [#1_]\n  " % (k, k)
                        for k in range(6000)) + "end\n[*1] The note."
        steps = [
            lambda: write(self.site.doc("notes/big.kav"), document("Big", "notes/big.html", large)),
            lambda: write(self.site.doc("notes/big.kav"), document("Big", "notes/big.html", large + " edited")),
            lambda: write(self.site.doc("notes/a.kav"), document("Alpha two", "notes/a2.html", "Moved")),
            lambda: write(self.site.doc("journal/c.kav"), document("Gamma", "journal/c.html", "y", status="draft")),
            lambda: write(self.site.doc("extra/e.kav"), document("Epsilon", "extra/e.html", "See notes/a2.html")),
            lambda: write(self.site.doc("notes/b.kav"), document("Beta", "notes/b.html", "Text of b, edited")),
            # A later document claiming b's page: b keeps it, listed once.
            lambda: write(self.site.doc("notes/z.kav"), document("Zeta", "notes/b.html", "Not written")),
        ]
        for step in steps:
            wait = self.rebuilt()
            step()
            wait()
        p.wait_for(r"no longer builds .*notes/a\.html; the page is left in place")
        self.assertEqual(p.stop(), 0)
        before = snapshot(self.site.root)
        fresh = subprocess.run([KAVSITE, "consent_url=https://127.0.0.1:1/save", "targ_p=" + self.site.docs,
                                "root_p=" + self.site.root, "file_p_check"], capture_output=True, text=True,
                               timeout=WAIT * 4)
        self.assertEqual(fresh.returncode, 0, fresh.stdout + fresh.stderr)
        after = snapshot(self.site.root)
        self.assertEqual(sorted(after), sorted(before))
        # The build's own bookkeeping (".kavsite-pages" records inodes) may
        # change; every page and shared file stays as the watch left it.
        changed = [name for name in after if after[name][0] != before[name][0] and not name.startswith(".kavsite-")]
        self.assertEqual(changed, [], "a fresh build changed what the watch left")
        # Pages holding the same bytes are not even written again.
        touched = [name for name in after
                   if after[name][1] != before[name][1] and "shared" not in name and not name.startswith(".kavsite-")]
        self.assertEqual(touched, [])

    def test_termination_signals_end_cleanly(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig):
                p = self.start("watch")
                wait = self.rebuilt()
                write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Text %d" % sig))
                wait()
                self.assertEqual(p.stop(sig), 0)
                self.assertRegex(p.output(), r"\[watch\] stopped$")
                self.assertEqual(temporary_files(self.site.dir), [])
                self.assertEqual(p.errors, [])


class ServeTest(SiteTest):
    def start_serving(self, *options):
        p = self.start(*options)
        _, m = p.wait_for(r"^Serving .* at http://127\.0\.0\.1:(\d+)/")
        self.port = int(m.group(1))
        return p

    def get(self, path):
        """Status, headers and body of a request sent exactly as written."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=WAIT) as s:
            s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" % path).encode())
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {k.strip().lower(): v.strip() for k, v in (l.split(":", 1) for l in lines[1:] if ":" in l)}
        if headers.get("transfer-encoding") == "chunked":
            decoded, rest = b"", body
            while rest:
                size_line, _, rest = rest.partition(b"\r\n")
                size = int(size_line.split(b";")[0], 16)
                if size == 0:
                    break
                decoded, rest = decoded + rest[:size], rest[size + 2:]
            body = decoded
        return status, headers, body

    def events(self):
        """Change events as they come, through a queue, from a stream opened
        now."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=WAIT * 4)
        conn.request("GET", "/__kavsite/events")
        response = conn.getresponse()
        self.assertEqual(response.status, 200)
        self.assertTrue(response.getheader("Content-Type").startswith("text/event-stream"))
        found = queue.Queue()
        opened = threading.Event()

        def read():
            try:
                for raw in iter(response.readline, b""):
                    line = raw.decode().rstrip("\n")
                    if line == ": connected":
                        opened.set()
                    if line.startswith("data: "):
                        found.put(json.loads(line[6:]))
            except (OSError, ValueError):
                pass
            found.put(None)

        threading.Thread(target=read, daemon=True).start()
        self.assertTrue(opened.wait(WAIT), "the event stream did not open")
        self.addCleanup(conn.close)
        return found

    def test_page_event_and_new_bytes(self):
        p = self.start_serving("serve=%d" % free_port())
        status, headers, body = self.get("/notes/a.html")
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-type"], "text/html; charset=utf-8")
        self.assertIn(b"First text", body)
        # The reload script is in the response only, and links are
        # site-absolute for the server.
        self.assertIn(b"/__kavsite/events", body)
        self.assertNotIn(b"/__kavsite/events", read(self.site.page("notes/a.html")))
        self.assertNotIn(b"file://", body)
        self.assertEqual(self.get("/")[2], self.get("/index.html")[2])

        events = self.events()
        # A style sheet of the site that no page holds: every page is built
        # again, none changes, and style sheets reload.
        write(os.path.join(self.site.html, "shared/css/site.css"), "p{margin:0}\n")
        event = events.get(timeout=WAIT)
        self.assertTrue(event["css"])
        self.assertFalse(event["all"])
        self.assertEqual(event["pages"], [])

        write(self.site.doc("notes/a.kav"), document("Alpha", "notes/a.html", "Served words"))
        event = events.get(timeout=WAIT)
        self.assertFalse(event["all"])
        self.assertIn("/notes/a.html", event["pages"])
        self.assertNotIn("/notes/b.html", event["pages"])
        self.assertIn(b"Served words", self.get("/notes/a.html")[2])

        # A template edit changes every page.
        head = os.path.join(self.site.html, "shared/html/default_head.html")
        write(head, read(head).decode().replace("</head>", '<meta name="x-served" content="1"></head>'))
        event = events.get(timeout=WAIT)
        pages = ["/notes/a.html", "/notes/b.html", "/journal/c.html", "/index.html"]
        self.assertTrue(event["all"] or all(page in event["pages"] for page in pages), event)
        for page in pages:
            self.assertIn(b'name="x-served"', self.get(page)[2], page)

        self.assertEqual(p.stop(), 0)

    def test_paths_outside_the_folder_are_not_found(self):
        secret = os.path.join(self.site.root, "secret.txt")
        write(secret, "secret")
        os.makedirs(self.site.html, exist_ok=True)
        os.symlink(self.site.root, os.path.join(self.site.html, "out"))
        os.symlink(secret, os.path.join(self.site.html, "secret_link.txt"))
        self.start_serving("serve=%d" % free_port())
        cases = [
            "/../secret.txt",
            "/notes/../../secret.txt",
            "/%2e%2e/secret.txt",
            "/%2E%2E/secret.txt",
            "/notes/%2e%2e/%2e%2e/secret.txt",
            "/..%2fsecret.txt",
            "/..%5csecret.txt",
            "/" + secret,
            "//" + secret.lstrip("/"),
            "http://127.0.0.1/../secret.txt",
            "/out/secret.txt",
            "/secret_link.txt",
            "/no_such_page.html",
            "/notes/no_such_page.html",
        ]
        for path in cases:
            with self.subTest(path=path):
                status, _, body = self.get(path)
                self.assertEqual(status, 404)
                self.assertNotIn(b"secret", body)

    def test_content_types_and_folders(self):
        files = {"a.html": "text/html; charset=utf-8", "a.css": "text/css; charset=utf-8",
                 "a.js": "text/javascript; charset=utf-8", "a.svg": "image/svg+xml", "a.png": "image/png",
                 "a.JPG": "image/jpeg", "a.jpeg": "image/jpeg", "a.woff2": "font/woff2", "a.ico": "image/x-icon",
                 "a.txt": "text/plain; charset=utf-8", "a.bin": "application/octet-stream"}
        for name in files:
            write(os.path.join(self.site.html, "files", name), "x")
        write(os.path.join(self.site.html, "files/sub/index.html"), "<html><body>Sub</body></html>")
        self.start_serving("serve=%d" % free_port())
        for name, expected in files.items():
            with self.subTest(name=name):
                status, headers, body = self.get("/files/" + name)
                self.assertEqual(status, 200)
                self.assertEqual(headers["content-type"], expected)
                if not name.endswith(".html"):
                    self.assertEqual(body, b"x")
        status, _, body = self.get("/files/sub/")
        self.assertEqual(status, 200)
        self.assertIn(b"Sub", body)
        status, headers, _ = self.get("/files/sub")
        self.assertEqual(status, 301)
        self.assertTrue(headers["location"].endswith("/files/sub/"))
        self.assertEqual(self.get("/files/sub/?x=1")[0], 200)

    def test_busy_port_falls_back_and_listens_on_loopback_only(self):
        busy = socket.socket()
        busy.bind(("127.0.0.1", 0))
        busy.listen(1)
        self.addCleanup(busy.close)
        port = busy.getsockname()[1]
        p = self.start_serving("serve=%d" % port)
        p.wait_for(r"^Port %d is in use, serving on port %d instead$" % (port, self.port))
        self.assertGreater(self.port, port)
        self.assertEqual(self.get("/notes/b.html")[0], 200)
        # The listening socket is bound to 127.0.0.1 (0100007F), never to all
        # interfaces.
        with open("/proc/net/tcp") as f:
            listening = [l.split()[1] for l in f.readlines()[1:] if l.split()[3] == "0A"]
        ours = [a for a in listening if int(a.split(":")[1], 16) == self.port]
        self.assertEqual(ours, ["0100007F:%04X" % self.port])
        self.assertEqual(p.stop(), 0)

    def test_stop_with_open_streams(self):
        p = self.start_serving("serve=%d" % free_port())
        streams = [self.events() for _ in range(3)]
        write(self.site.doc("journal/c.kav"), document("Gamma", "journal/c.html", "Stopping"))
        for events in streams:
            self.assertIn("/journal/c.html", events.get(timeout=WAIT)["pages"])
        self.assertEqual(p.stop(signal.SIGTERM), 0)
        for events in streams:
            self.assertIsNone(events.get(timeout=WAIT))  # the stream ended
        self.assertEqual(temporary_files(self.site.dir), [])
        self.assertEqual(p.errors, [])

    def test_port_that_is_not_a_number_aborts(self):
        for value in ["abc", "0", "70000", "80x"]:
            with self.subTest(value=value):
                result = subprocess.run([KAVSITE, "targ_p=" + self.site.docs, "root_p=" + self.site.root,
                                         "serve=" + value], capture_output=True, text=True, timeout=WAIT)
                self.assertEqual(result.returncode, 2)
                self.assertIn('[serve] "%s" is not a port number' % value, result.stdout)
                self.assertNotIn("unknown option", result.stdout)
                self.assertTrue(result.stdout.endswith("aborted"))
                self.assertFalse(os.path.exists(self.site.html))


def main():
    global KAVSITE, WAIT
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--slow", action="store_true", help="a sanitizer build: wait longer")
    args, rest = parser.parse_known_args()
    KAVSITE = os.path.abspath(args.kavsite)
    if args.slow:
        WAIT *= 4
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
