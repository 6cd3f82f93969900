#!/usr/bin/python3
"""Every page kavsite builds, loaded in a real browser.

Builds three sites with the kavsite program: the example site for local viewing
(file:// links), the example site with `deploy` (served over HTTP on 127.0.0.1)
and a brand-new site root with one document. Debian's Chromium, headless and
driven over the DevTools protocol, loads every page 1280 and 390 pixels wide
(390: as a phone, so the viewport meta counts) and checks on each:

  - no console error, no failed request (file, HTTP error, blocked);
  - every font the page uses ('IconFont', "Figtree", "Fira Code") loaded;
  - ids unique, every "#" link names an element of the page;
  - at 390 pixels the layout viewport is the phone's width and nothing
    scrolls sideways;
  - every toggle opens when clicked and shows its content.

Once per site: each icon of the shared style sheet is drawn from 'IconFont'
(not from a fallback face), and every shipped font file decodes. A PNG
screenshot of each page and width goes under --out/screenshots.

  /usr/bin/python3 tests/browser/browser_test.py --kavsite BIN --example DIR --out DIR

Exit status 0 when every check passed, 1 otherwise, 77 (skipped) when no
Chromium is installed.
"""

import argparse
import asyncio
import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import websockets  # Debian's python3-websockets

SKIP = 77
WIDTHS = (1280, 390)
# Generous: a busy machine or a slow start must never fail a check.
STARTUP_SECONDS = 90
COMMAND_SECONDS = 90
LOAD_SECONDS = 90

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--remote-debugging-port=0",
]

# Checks that fail because of how pages are generated, not because of the
# theme: (page, check, start of the message, why). Such a failure is printed
# as known and does not fail the test.
KNOWN_FAILURES = []


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def stop_process(process):
    """Ends a program started for a test: politely, then for good."""
    process.terminate()
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        process.kill()


# ---- DevTools protocol ---------------------------------------------------------------

class DevTools:
    """One WebSocket to the browser; page sessions are flattened into it."""

    def __init__(self, socket):
        self.socket = socket
        self.next_id = 0
        self.pending = {}
        self.listeners = []  # callables taking every event message
        self.reader = asyncio.ensure_future(self.read())

    async def read(self):
        async for text in self.socket:
            message = json.loads(text)
            if "id" in message:
                future = self.pending.pop(message["id"], None)
                if future and not future.done():
                    future.set_result(message)
            else:
                for listener in list(self.listeners):
                    listener(message)

    async def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        future = asyncio.get_running_loop().create_future()
        self.pending[self.next_id] = future
        await self.socket.send(json.dumps(message))
        reply = await asyncio.wait_for(future, COMMAND_SECONDS)
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply.get("result", {})


class Tab:
    """A page target with its own session and the events of its current load."""

    def __init__(self, devtools, target, session):
        self.devtools = devtools
        self.target = target
        self.session = session
        self.errors = []
        self.requests = {}  # request id -> URL, to name failed requests
        self.loaded = asyncio.Event()
        devtools.listeners.append(self.on_event)

    @classmethod
    async def open(cls, devtools):
        target = await devtools.send("Target.createTarget", {"url": "about:blank"})
        attached = await devtools.send("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True})
        tab = cls(devtools, target["targetId"], attached["sessionId"])
        for domain in ("Page", "Runtime", "Log", "Network"):
            await tab.send(domain + ".enable")
        return tab

    async def send(self, method, params=None):
        return await self.devtools.send(method, params, self.session)

    def on_event(self, message):
        if message.get("sessionId") != self.session:
            return
        method, params = message["method"], message.get("params", {})
        if method == "Page.loadEventFired":
            self.loaded.set()
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            texts = [str(a.get("value", a.get("description", ""))) for a in params.get("args", [])]
            self.errors.append("console error: " + " ".join(texts))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.errors.append("exception: " + details.get("exception", {}).get("description", details.get("text", "")))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            entry = params["entry"]
            self.errors.append("console error: %s %s" % (entry.get("text", ""), entry.get("url", "")))
        elif method == "Network.requestWillBeSent":
            self.requests[params.get("requestId")] = params.get("request", {}).get("url", "")
        elif method == "Network.loadingFailed":
            # A request of the page before (cancelled by this navigation) is not this page's.
            if params.get("requestId") in self.requests:
                url = self.requests[params["requestId"]]
                self.errors.append("failed request: %s %s" % (params.get("errorText", ""), url))
        elif method == "Network.responseReceived":
            response = params.get("response", {})
            if response.get("status", 200) >= 400:
                self.errors.append("failed request: HTTP %s %s" % (response["status"], response.get("url", "")))

    async def load(self, url, width):
        mobile = width < 600
        await self.send("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": 844 if mobile else 900, "deviceScaleFactor": 1, "mobile": mobile})
        await self.send("Emulation.setTouchEmulationEnabled", {"enabled": mobile})
        self.errors = []
        self.requests = {}
        self.loaded.clear()
        result = await self.send("Page.navigate", {"url": url})
        if result.get("errorText"):
            self.errors.append("navigation failed: " + result["errorText"])
            return False
        await asyncio.wait_for(self.loaded.wait(), LOAD_SECONDS)
        return True

    async def evaluate(self, expression):
        result = await self.send("Runtime.evaluate", {
            "expression": expression, "awaitPromise": True, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % json.dumps(result["exceptionDetails"])[:2000])
        return result["result"].get("value")

    async def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            await self.send("Input.dispatchMouseEvent", {
                "type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    async def screenshot(self, path, width):
        metrics = await self.send("Page.getLayoutMetrics")
        height = min(int(metrics["cssContentSize"]["height"]), 6000)
        shot = await self.send("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": width, "height": max(height, 1), "scale": 1}})
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))


# ---- Checks run in the page ----------------------------------------------------------

# Families the theme provides; a page must have loaded every one it uses.
PAGE_CHECKS = r"""
(async () => {
  const problems = [];
  await document.fonts.ready;

  // Fonts: the first family of every element that shows text (an icon
  // shows its ::before content).
  const ours = ['IconFont', 'Figtree', 'Fira Code'];
  const unquote = s => s.trim().replace(/^["']|["']$/g, '');
  const used = new Map();
  for (const el of document.querySelectorAll('body, body *')) {
    if (el.getClientRects().length === 0) continue;
    let style = getComputedStyle(el);
    if (style.visibility === 'hidden') continue;
    let text = '';
    if (el.classList.contains('icon')) {
      style = getComputedStyle(el, '::before');
      const content = style.content;
      if (content && content !== 'none' && content !== 'normal') text = unquote(content);
    } else {
      for (const n of el.childNodes) if (n.nodeType === 3) text += n.textContent;
      text = text.trim();
    }
    if (!text) continue;
    const family = unquote(style.fontFamily.split(',')[0]);
    if (!ours.includes(family)) continue;
    const key = family + '|' + style.fontStyle + '|' + style.fontWeight;
    if (!used.has(key)) used.set(key, text.slice(0, 20));
  }
  const faces = [...document.fonts];
  for (const face of faces) {
    if (face.status === 'error') problems.push(['fonts', 'font face failed to load: ' + unquote(face.family) + ' ' + face.style + ' ' + face.weight]);
  }
  for (const [key, sample] of used) {
    const [family, fontStyle, weight] = key.split('|');
    const loaded = faces.some(f => unquote(f.family) === family && f.status === 'loaded');
    const ready = document.fonts.check(fontStyle + ' ' + weight + ' 16px "' + family + '"', sample);
    if (!loaded || !ready) problems.push(['fonts', 'font not loaded: "' + family + '" ' + fontStyle + ' ' + weight + ' (text "' + sample + '")']);
  }

  // Ids and "#" links.
  const seen = new Map();
  for (const el of document.querySelectorAll('[id]')) seen.set(el.id, (seen.get(el.id) || 0) + 1);
  for (const [id, count] of seen) if (count > 1) problems.push(['ids', 'id "' + id + '" used ' + count + ' times']);
  for (const a of document.querySelectorAll('a[href^="#"]')) {
    const name = decodeURIComponent(a.getAttribute('href').slice(1));
    if (name === '' || name === 'top') continue;
    if (!document.getElementById(name) && document.getElementsByName(name).length === 0)
      problems.push(['links', 'link "#' + name + '" names no element']);
  }
  return problems;
})()
"""

SIDEWAYS_CHECK = r"""
(() => {
  const root = document.documentElement;
  const problems = [];
  if (root.clientWidth > window.screen.width)
    problems.push('layout viewport is ' + root.clientWidth + ' px wide on a ' + window.screen.width + ' px screen (viewport meta?)');
  if (root.scrollWidth > root.clientWidth + 1) {
    const wide = [];
    for (const el of document.querySelectorAll('body *')) {
      const r = el.getBoundingClientRect();
      if (r.right > root.clientWidth + 1 && getComputedStyle(el).position !== 'fixed')
        wide.push(el.tagName.toLowerCase() + (el.id ? '#' + el.id : '') + ' ' + Math.round(r.right) + 'px');
    }
    problems.push('scrolls sideways: ' + root.scrollWidth + ' px of content in ' + root.clientWidth + ' px; ' + wide.slice(0, 4).join(', '));
  }
  return problems;
})()
"""

# The toggles in document order: control id, and the content it opens.
TOGGLES = r"""
(() => [...document.querySelectorAll('input[type="checkbox"][id^="toggle-checkbox_"]')].map(i => i.id))()
"""

TOGGLE_PREPARE = r"""
((id) => {
  const input = document.getElementById(id);
  if (input.checked) return {already: true};
  input.scrollIntoView({block: 'center', inline: 'center'});
  const r = input.getBoundingClientRect();
  if (r.width === 0 || r.height === 0) return {error: 'control not shown'};
  const x = r.left + r.width / 2, y = r.top + r.height / 2;
  const hit = document.elementFromPoint(x, y);
  if (hit !== input) return {error: 'control covered by ' + (hit ? hit.tagName.toLowerCase() + (hit.id ? '#' + hit.id : '') : 'nothing')};
  return {x, y};
})
"""

TOGGLE_RESULT = r"""
((id) => {
  const input = document.getElementById(id);
  if (!input.checked) return 'does not open when clicked';
  let content = input.nextElementSibling;
  while (content && !/toggle-content_/.test(content.className)) content = content.nextElementSibling;
  if (!content) return 'has no content';
  const r = content.getBoundingClientRect();
  if (getComputedStyle(content).display === 'none' || r.width === 0 || r.height === 0) return 'opens but shows no content';
  return '';
})
"""

# Each icon of the style sheet drawn with 'IconFont' first and two different
# fallbacks: the same pixels mean the glyph came from 'IconFont'.
ICON_CHECK = r"""
(async () => {
  const icons = [];
  for (const sheet of document.styleSheets) {
    let rules = [];
    try { rules = sheet.cssRules; } catch (e) { continue; }
    for (const rule of rules) {
      const m = /^\.icon-(\w+)::before$/.exec(rule.selectorText || '');
      if (!m) continue;
      const glyph = rule.style.content.trim().replace(/^["']|["']$/g, '').replace(/^\\/, '');
      if (glyph) icons.push([m[1], glyph]);
    }
  }
  await document.fonts.load('48px IconFont', icons.map(i => i[1]).join(''));
  const draw = (glyph, fallback) => {
    const canvas = document.createElement('canvas');
    canvas.width = canvas.height = 64;
    const ctx = canvas.getContext('2d');
    ctx.font = '48px IconFont, ' + fallback;
    ctx.fillText(glyph, 4, 52);
    return ctx.getImageData(0, 0, 64, 64).data;
  };
  const problems = [];
  for (const [name, glyph] of icons) {
    const a = draw(glyph, 'serif'), b = draw(glyph, 'monospace');
    let same = true, ink = false;
    for (let i = 3; i < a.length; i += 4) { if (a[i] !== b[i]) same = false; if (a[i]) ink = true; }
    if (!same || !ink) problems.push('icon ' + name + " ('" + glyph + "') is not drawn from IconFont");
  }
  return {count: icons.length, problems};
})()
"""

FONT_FILES_CHECK = r"""
(async (urls) => {
  const problems = [];
  for (const [i, url] of urls.entries()) {
    try { await new FontFace('probe' + i, 'url("' + url + '")').load(); }
    catch (e) { problems.push('font file does not load: ' + url + ' (' + e + ')'); }
  }
  return problems;
})
"""


# ---- Sites ---------------------------------------------------------------------------

# The one document of the new site root: text, code, a table, checkboxes, a
# toggle, a footnote: every face and some icons.
NEW_DOCUMENT = """``
title: A first note
author: Ann
creation_date: 2024-05-01
category: notes
output_path: notes/first.html
  The header's toggle.
``
Start
  A new site root needs nothing but its documents: the fonts, the icons and
  a style sheet for narrow screens come with kavsite[*1].
  Done [x] and to do [ ].
Code
  ```
  int main() { return 0; }  // a line long enough to be wider than a phone screen, if nothing wraps it
  ```
Table
|---
| Name | Notes
|---
| Ann  | likes long walks
More
  ``
  Open me
    hidden paragraph
  ``
[*1] And nothing else.
"""

def run_kavsite(kavsite, docs, root, extra):
    # The connection test goes to a port that refuses: nothing leaves the machine.
    args = [kavsite, "consent_url=https://127.0.0.1:1/save", "targ_p=" + docs, "root_p=" + root] + extra
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
    if result.returncode != 0:
        raise RuntimeError("kavsite %s failed (%d):\n%s" % (" ".join(extra), result.returncode, result.stdout))
    return result.stdout


def site_pages(root):
    html = os.path.join(root, "html")
    pages = []
    for folder, dirs, files in os.walk(html):
        dirs[:] = sorted(d for d in dirs if os.path.relpath(os.path.join(folder, d), html) != "shared")
        for name in sorted(files):
            if name.endswith(".html"):
                pages.append(os.path.relpath(os.path.join(folder, name), html).replace(os.sep, "/"))
    return pages


def font_files(root):
    folder = os.path.join(root, "html", "shared", "fonts")
    return sorted(n for n in os.listdir(folder) if n.endswith(".woff2")) if os.path.isdir(folder) else []


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- One site ------------------------------------------------------------------------

async def check_site(devtools, name, root, base_url, out, report):
    tab = await Tab.open(devtools)
    pages = site_pages(root)
    if not pages:
        report.fail(name, "-", "-", "site", "no pages were built")
    first = True
    for page in pages:
        url = base_url + page
        for width in WIDTHS:
            where = (name, page, width)
            if not await tab.load(url, width):
                report.fail(*where, "load", "; ".join(tab.errors))
                continue
            for check, problem in await tab.evaluate(PAGE_CHECKS):
                report.fail(*where, check, problem)
            if width < 600:
                for problem in await tab.evaluate(SIDEWAYS_CHECK):
                    report.fail(*where, "sideways", problem)
            shot = os.path.join(out, "screenshots", name, "%d" % width, page.replace("/", "_")[:-5] + ".png")
            await tab.screenshot(shot, width)
            report.screens += 1

            if first:
                first = False
                icons = await tab.evaluate(ICON_CHECK)
                if icons["count"] == 0:
                    report.fail(*where, "icons", "no icon rules in the page's style sheets")
                for problem in icons["problems"]:
                    report.fail(*where, "icons", problem)
                urls = [base_url + "shared/fonts/" + f for f in font_files(root)]
                if not urls:
                    report.fail(*where, "font files", "no font files under html/shared/fonts")
                for problem in await tab.evaluate(FONT_FILES_CHECK + "(%s)" % json.dumps(urls)):
                    report.fail(*where, "font files", problem)

            for control in await tab.evaluate(TOGGLES):
                state = await tab.evaluate(TOGGLE_PREPARE + "(%s)" % json.dumps(control))
                if state.get("already"):
                    continue
                if "error" in state:
                    report.fail(*where, "toggle", "toggle %s: %s" % (control, state["error"]))
                    continue
                await tab.click(state["x"], state["y"])
                problem = await tab.evaluate(TOGGLE_RESULT + "(%s)" % json.dumps(control))
                if problem:
                    report.fail(*where, "toggle", "toggle %s: %s" % (control, problem))
                report.toggles += 1

            # Errors of the whole visit: loading, fonts, clicks.
            await asyncio.sleep(0.2)
            for error in tab.errors:
                report.fail(*where, "console", error)
            report.loads += 1
    devtools.listeners.remove(tab.on_event)
    await devtools.send("Target.closeTarget", {"targetId": tab.target})


class Report:
    def __init__(self):
        self.failures = []
        self.known = []
        self.loads = self.screens = self.toggles = 0

    def fail(self, site, page, width, check, message):
        why = next((w for p, c, start, w in KNOWN_FAILURES
                    if p == page and c == check and message.startswith(start)), None)
        line = "%s %s @%s: %s" % (site, page, width, message)
        (self.known if why else self.failures).append(line + (" [known: %s]" % why if why else ""))


async def run(args, chromium, sites):
    profile = tempfile.mkdtemp(prefix="kavsite_browser_")
    log = open(os.path.join(args.out, "chromium.log"), "w")
    process = subprocess.Popen([chromium] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile, "about:blank"],
                               stdout=log, stderr=subprocess.STDOUT)
    try:
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.monotonic() + STARTUP_SECONDS
        while not os.path.exists(port_file) or len(open(port_file).read().split("\n")) < 2:
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("chromium did not start; see " + log.name)
            await asyncio.sleep(0.2)
        port, path = open(port_file).read().split("\n")[:2]
        async with websockets.connect("ws://127.0.0.1:%s%s" % (port, path), max_size=None,
                                      ping_interval=None, open_timeout=STARTUP_SECONDS) as socket:
            devtools = DevTools(socket)
            report = Report()
            for name, root, base_url in sites:
                await check_site(devtools, name, root, base_url, args.out, report)
            return report
    finally:
        stop_process(process)
        log.close()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--example", required=True, help="examples/site")
    parser.add_argument("--out", required=True, help="work folder: sites and screenshots")
    args = parser.parse_args()

    chromium = find_chromium()
    if not chromium:
        print("SKIP: chromium is not installed (scripts/install-deps.sh installs it)")
        return SKIP

    args.out = os.path.abspath(args.out)
    shutil.rmtree(args.out, ignore_errors=True)
    os.makedirs(args.out)

    # The example, built as scripts/build-example.sh does, once for local
    # viewing and once for deployment; and a new root with one document.
    local = os.path.join(args.out, "example-local")
    deploy = os.path.join(args.out, "example-deploy")
    fresh = os.path.join(args.out, "new-root")
    for copy in (local, deploy):
        shutil.copytree(args.example, copy)
    run_kavsite(args.kavsite, os.path.join(local, "documents"), local + "/", [])
    run_kavsite(args.kavsite, os.path.join(deploy, "documents"), deploy + "/", ["deploy"])
    os.makedirs(os.path.join(fresh, "docs", "notes"))
    os.makedirs(os.path.join(fresh, "site"))
    with open(os.path.join(fresh, "docs", "notes", "first.kav"), "w") as f:
        f.write(NEW_DOCUMENT)
    run_kavsite(args.kavsite, os.path.join(fresh, "docs"), os.path.join(fresh, "site") + "/", ["site_title=First site"])

    server = serve(os.path.join(deploy, "html"))
    sites = [
        ("example-local", local, "file://" + local + "/html/"),
        ("example-deploy", deploy, "http://127.0.0.1:%d/" % server.server_address[1]),
        ("new-root", os.path.join(fresh, "site"), "file://" + fresh + "/site/html/"),
    ]
    try:
        report = asyncio.run(run(args, chromium, sites))
    finally:
        server.shutdown()

    for line in report.known:
        print("known failure: " + line)
    for line in report.failures:
        print("FAIL: " + line)
    print("%d page loads, %d toggles clicked, %d failed checks, %d screenshots in %s" %
          (report.loads, report.toggles, len(report.failures), report.screens,
           os.path.join(args.out, "screenshots")))
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
