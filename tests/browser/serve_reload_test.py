#!/usr/bin/python3
"""Live reload in a real browser: `kavsite serve` and headless Chromium.

Two served pages are open in two tabs. Editing the first page's document
reloads that tab, with the new text, and leaves the other tab alone; editing
a style sheet the pages link to reloads the style sheet in place, without
reloading either page.

  /usr/bin/python3 tests/browser/serve_reload_test.py --kavsite BIN

Exit status 0 when every check passed, 1 otherwise, 77 (skipped) when no
Chromium is installed. Waits are for hangs only.
"""

import argparse
import asyncio
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from browser_test import DevTools, stop_process, websockets  # the DevTools client of the page test

SKIP = 77
WAIT = 90  # seconds

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--remote-debugging-port=0",
]

DOCUMENT = "``\ntitle: %s\noutput_path: notes/%s.html\n``\nHeading\n  %s\n"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".save", "w") as f:
        f.write(text)
    os.replace(path + ".save", path)


class Tab:
    def __init__(self, devtools, session):
        self.devtools = devtools
        self.session = session
        self.loads = 0  # load events seen
        self.changed = asyncio.Event()
        devtools.listeners.append(self.on_event)

    @classmethod
    async def open(cls, devtools, url):
        target = await devtools.send("Target.createTarget", {"url": "about:blank"})
        attached = await devtools.send("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True})
        tab = cls(devtools, attached["sessionId"])
        for domain in ("Page", "Runtime"):
            await tab.send(domain + ".enable")
        await tab.send("Page.navigate", {"url": url})
        await tab.wait_for_load(1)
        return tab

    async def send(self, method, params=None):
        return await self.devtools.send(method, params, self.session)

    def on_event(self, message):
        if message.get("sessionId") == self.session and message["method"] == "Page.loadEventFired":
            self.loads += 1
            self.changed.set()

    async def wait_for_load(self, count):
        deadline = time.monotonic() + WAIT
        while self.loads < count:
            self.changed.clear()
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("the page did not load (load %d)" % count)
            try:
                await asyncio.wait_for(self.changed.wait(), left)
            except asyncio.TimeoutError:
                pass

    async def evaluate(self, expression):
        result = await self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                      "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % json.dumps(result["exceptionDetails"])[:1000])
        return result["result"].get("value")

    async def wait_until(self, expression, what):
        deadline = time.monotonic() + WAIT
        while not await self.evaluate(expression):
            if time.monotonic() > deadline:
                raise AssertionError(what)
            await asyncio.sleep(0.05)


class Kavsite:
    def __init__(self, binary, docs, root):
        self.lines = []
        self.process = subprocess.Popen(
            [binary, "consent_url=https://127.0.0.1:1/save", "targ_p=" + docs, "root_p=" + root, "serve=18208"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.ready = threading.Event()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            if line.startswith("[watch] watching"):
                self.ready.set()
        self.ready.set()

    def address(self):
        if not self.ready.wait(WAIT):
            raise AssertionError("kavsite did not start serving")
        for line in self.lines:
            m = re.search(r"at (http://127\.0\.0\.1:\d+/)", line)
            if m:
                return m.group(1)
        raise AssertionError("no address printed:\n" + "\n".join(self.lines))

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(WAIT)


async def check(chromium, base, site, report):
    profile = tempfile.mkdtemp(prefix="kavsite_reload_")
    process = subprocess.Popen([chromium] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile, "about:blank"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.monotonic() + WAIT
        while not os.path.exists(port_file) or len(open(port_file).read().split("\n")) < 2:
            if process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("chromium did not start")
            await asyncio.sleep(0.2)
        port, path = open(port_file).read().split("\n")[:2]
        async with websockets.connect("ws://127.0.0.1:%s%s" % (port, path), max_size=None, ping_interval=None,
                                      open_timeout=WAIT) as ws:
            devtools = DevTools(ws)
            edited = await Tab.open(devtools, base + "notes/a.html")
            other = await Tab.open(devtools, base + "notes/b.html")
            for tab in (edited, other):
                await tab.evaluate("window.__kept = 1")
                # The stream is open before anything is edited.
                await tab.wait_until("window.__kavsiteEvents && window.__kavsiteEvents.readyState === 1",
                                     "no event stream opened")

            # The edited page reloads with its new text; the other stays.
            started = time.monotonic()
            write(os.path.join(site, "documents/notes/a.kav"), DOCUMENT % ("Alpha", "a", "Reloaded words"))
            await edited.wait_for_load(2)
            report.append("reload %.0f ms after the save" % ((time.monotonic() - started) * 1000))
            text = await edited.evaluate("document.body.innerText")
            assert "Reloaded words" in text, "the reloaded page lacks the new text"
            assert await edited.evaluate("window.__kept") is None, "the edited page did not reload"
            await asyncio.sleep(1)
            assert await other.evaluate("window.__kept") == 1, "a page that did not change reloaded"
            assert other.loads == 1, "the other page loaded %d times" % other.loads

            # A linked style sheet changes in place.
            await edited.evaluate("window.__kept = 2")
            write(os.path.join(site, "root/html/shared/css/site.css"), "body { background-color: rgb(1, 2, 3); }\n")
            await edited.wait_until("getComputedStyle(document.body).backgroundColor === 'rgb(1, 2, 3)'",
                                    "the style sheet was not reloaded")
            assert await edited.evaluate("window.__kept") == 2, "the page reloaded for a style sheet"
            assert await other.evaluate("window.__kept") == 1, "the other page reloaded for a style sheet"
            href = await edited.evaluate("document.querySelector('link[rel=stylesheet]').href")
            assert "kavsite_reload=" in href, href
    finally:
        stop_process(process)
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavsite", required=True)
    args = parser.parse_args()
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium or not websockets:
        print("SKIP: chromium or python3-websockets is not installed")
        return SKIP

    site = tempfile.mkdtemp(prefix="kavsite_reload_site_")
    try:
        write(os.path.join(site, "documents/notes/a.kav"), DOCUMENT % ("Alpha", "a", "First words"))
        write(os.path.join(site, "documents/notes/b.kav"), DOCUMENT % ("Beta", "b", "Other words"))
        write(os.path.join(site, "root/html/shared/css/site.css"), "body { background-color: rgb(250, 250, 250); }\n")
        write(os.path.join(site, "root/html/shared/html/default_head.html"),
              '<head><meta charset="utf-8"><title>Reload</title>'
              '<link rel="stylesheet" href="/shared/css/site.css"></head>\n')
        kavsite = Kavsite(os.path.abspath(args.kavsite), os.path.join(site, "documents"),
                          os.path.join(site, "root") + "/")
        failed = None
        report = []
        try:
            asyncio.run(check(chromium, kavsite.address(), site, report))
        except (AssertionError, RuntimeError, asyncio.TimeoutError) as e:
            failed = e
        status = kavsite.stop()
        for line in report:
            print(line)
        if failed:
            print("FAIL: %r\nkavsite output:\n%s" % (failed, "\n".join(kavsite.lines)))
            return 1
        if status != 0:
            print("FAIL: kavsite ended with status %d" % status)
            return 1
        print("live reload: the edited page reloaded with its new text, the other did not; "
              "the style sheet reloaded in place")
        return 0
    finally:
        shutil.rmtree(site, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
