#!/usr/bin/python3
"""Makes the pictures of the KAV guide from the guide's own examples.

Each picture the guide shows as ![...](img/guide-<name>.png) is made from the
"~~~kav" example above it: the example becomes a document of a site root
(with the example site's images), kavsite builds the site, and headless
Chromium, driven over the DevTools protocol, loads the page, opens its
toggles and photographs the part the example fills, cropped to it.

  /usr/bin/python3 scripts/guide_pictures.py --kavsite BIN [--out docs/img]

Run by scripts/guide_pictures.sh, which builds kavsite first.
"""

import argparse
import asyncio
import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "browser"))
import browser_test  # noqa: E402  (its DevTools client and browser start-up)

# What each picture shows: "body", the part of the page's body the example
# fills, its toggles open; "header", the page's header with its toggle open
# (without the table of content); "page", the top of the page as a reader
# first sees it. Pictures not named here show the body.
MODES = {
    "guide-first-site": "page",
    "guide-header": "header",
}
WIDTH = 1000     # CSS pixels of the window: the body is 75% of it
MARGIN = 8       # pixels kept around the cropped part
PAGE_HEIGHT = 640

PICTURE = re.compile(r"!\[[^\]]*\]\(img/(guide-[a-z0-9-]+)\.png\)")


def pictures_of_guide(path):
    """(name, source) of every guide picture, with the example above it."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found = []
    source = None
    k = 0
    while k < len(lines):
        if lines[k] == "~~~kav":
            body = []
            k += 1
            while k < len(lines) and lines[k] != "~~~":
                body.append(lines[k] + "\n")
                k += 1
            source = "".join(body)
        else:
            for name in PICTURE.findall(lines[k]):
                if source is None:
                    raise SystemExit("%s:%d: picture %s has no example above it" % (path, k + 1, name))
                found.append((name, source))
        k += 1
    return found


def as_document(name, source):
    """The example as a document that writes the page guide/<name>.html."""
    output = "output_path: guide/%s.html\n" % name
    if source.startswith("``\n"):
        # The example's own header takes the output path as its first key.
        return "``\n" + output + source[3:]
    return "``\n" + output + "``\n" + source


# The rectangle to photograph, in page coordinates: the union of what the
# chosen part shows (text, pictures, controls, boxes with a border or a
# background), so that the picture is no wider than its content.
CROP = r"""
(async (mode) => {
  await document.fonts.ready;
  const open = (root) => {
    for (const input of root.querySelectorAll('input[type="checkbox"][id^="toggle-checkbox_"]')) {
      if (!input.checked) input.click();
    }
  };
  const top = document.getElementById('top');
  const body = document.getElementById('b_w');
  const hide = (id) => { const e = document.getElementById(id); if (e) e.style.display = 'none'; };
  // Only the part shown: no side panels, and nothing of the page above
  // the body's first line.
  if (mode !== 'page') ['left', 'right'].forEach(hide);
  if (mode === 'header') hide('toc');
  if (mode === 'body') ['menu', 'top'].forEach(hide);
  let parts = [];
  if (mode === 'header') {
    open(top);
    parts = [...top.children].filter(e => e.id !== 'toc');
  } else if (mode === 'body') {
    open(body);
    parts = [...body.children];
  }
  await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
  if (mode === 'page') return {x: 0, y: 0, width: window.innerWidth, height: %d};
  const boxes = [];
  const visible = (r) => r.width > 0 && r.height > 0;
  const add = (r) => { if (visible(r)) boxes.push(r); };
  for (const part of parts) {
    const walker = document.createTreeWalker(part, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    for (let n = part; n; n = walker.nextNode()) {
      if (n.nodeType === 3) {
        if (!n.textContent.trim()) continue;
        const range = document.createRange();
        range.selectNodeContents(n);
        for (const r of range.getClientRects()) add(r);
        continue;
      }
      const style = getComputedStyle(n);
      if (style.display === 'none' || style.visibility === 'hidden') continue;
      const drawn = ['IMG', 'INPUT', 'HR', 'TABLE'].includes(n.tagName) ||
        parseFloat(style.borderTopWidth) > 0 || parseFloat(style.borderLeftWidth) > 0 ||
        style.backgroundColor !== 'rgba(0, 0, 0, 0)' ||
        (n.classList.contains('icon'));
      if (drawn) add(n.getBoundingClientRect());
    }
  }
  if (!boxes.length) return null;
  const left = Math.min(...boxes.map(r => r.left)), right = Math.max(...boxes.map(r => r.right));
  const topEdge = Math.min(...boxes.map(r => r.top)), bottom = Math.max(...boxes.map(r => r.bottom));
  return {x: left + window.scrollX, y: topEdge + window.scrollY, width: right - left, height: bottom - topEdge};
})
""" % PAGE_HEIGHT


async def photograph(devtools, pages, out):
    tab = await browser_test.Tab.open(devtools)
    for name, url in pages:
        mode = MODES.get(name, "body")
        if not await tab.load(url, WIDTH):
            raise RuntimeError("%s: %s" % (url, "; ".join(tab.errors)))
        box = await tab.evaluate(CROP + "(%r)" % mode)
        if not box:
            raise RuntimeError("%s: nothing to photograph" % url)
        x = max(0, int(box["x"]) - MARGIN)
        y = max(0, int(box["y"]) - MARGIN)
        width = int(box["x"] + box["width"]) + MARGIN - x + 1
        height = int(box["y"] + box["height"]) + MARGIN - y + 1
        shot = await tab.send("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": x, "y": y, "width": width, "height": height, "scale": 1}})
        path = os.path.join(out, name + ".png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print("wrote %s (%dx%d)" % (os.path.relpath(path), width, height))
    await devtools.send("Target.closeTarget", {"targetId": tab.target})


async def run(chromium, pages, out, work):
    log = open(os.path.join(work, "chromium.log"), "w")
    profile = os.path.join(work, "profile")
    process = subprocess.Popen([chromium] + browser_test.CHROMIUM_FLAGS + ["--user-data-dir=" + profile, "about:blank"],
                               stdout=log, stderr=subprocess.STDOUT)
    try:
        port_file = os.path.join(profile, "DevToolsActivePort")
        for _ in range(int(browser_test.STARTUP_SECONDS / 0.2)):
            if os.path.exists(port_file) and len(open(port_file).read().split("\n")) >= 2:
                break
            if process.poll() is not None:
                break
            await asyncio.sleep(0.2)
        else:
            raise RuntimeError("chromium did not start; see " + log.name)
        port, path = open(port_file).read().split("\n")[:2]
        async with browser_test.websockets.connect("ws://127.0.0.1:%s%s" % (port, path), max_size=None,
                                                   ping_interval=None) as socket:
            await photograph(browser_test.DevTools(socket), pages, out)
    finally:
        browser_test.stop_process(process)
        log.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--guide", default=os.path.join(SOURCE, "docs", "kav.md"))
    parser.add_argument("--out", default=os.path.join(SOURCE, "docs", "img"))
    args = parser.parse_args()

    chromium = browser_test.find_chromium()
    if not chromium:
        raise SystemExit("chromium is not installed (scripts/install-deps.sh installs it)")
    pictures = pictures_of_guide(args.guide)
    if not pictures:
        raise SystemExit("no guide-*.png pictures in " + args.guide)

    work = tempfile.mkdtemp(prefix="kavsite_guide_pictures_")
    try:
        root = os.path.join(work, "site")
        docs = os.path.join(work, "docs")
        shutil.copytree(os.path.join(SOURCE, "examples", "site", "html", "img"), os.path.join(root, "html", "img"))
        os.makedirs(docs)
        pages = []
        for name, source in pictures:
            with open(os.path.join(docs, name + ".kav"), "w", encoding="utf-8") as f:
                f.write(as_document(name, source))
            pages.append((name, "file://%s/html/guide/%s.html" % (root, name)))
        browser_test.run_kavsite(args.kavsite, docs, root + "/", [])
        os.makedirs(args.out, exist_ok=True)
        asyncio.run(run(chromium, pages, args.out, work))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
