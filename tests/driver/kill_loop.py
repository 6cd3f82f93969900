#!/usr/bin/python3
"""Kill loop: kavsite builds killed with SIGKILL at random moments.

Builds a generated site into fresh roots and into one reused root (whose
documents change between builds, so pages are replaced), kills each build
at a random moment of its run, and checks:

- every page and raw view under html/ (the templates under html/shared/ are
  fragments) is whole: it ends with "</html>", parses with html5lib, and is
  byte for byte the page of a complete build of either the documents before
  or the documents of the killed build (builds use `deploy`, whose pages do
  not depend on the root's path);
- the next, complete build leaves no temporary file (".kavsite-tmp-...")
  anywhere under the root, and the pages of a complete build.

Prints one line per kill and a summary. Exit status 1 when a check failed.
Run with /usr/bin/python3 (html5lib comes from Debian's python3-html5lib).

    tests/driver/kill_loop.py --kavsite build/plain/kavsite --kills 50
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import html5lib

TEMP_PREFIX = ".kavsite-tmp-"


def document(index, version, large):
    lines = ["``", f"title: Page {index}", f"output_path: part{index % 5}/p{index}.html", "``",
             f"Heading {version}"]
    # A large document (over 256 KiB) takes the build's other path: its body
    # spooled, its page written from pieces.
    for line in range(6000 if large else 60):
        lines.append(f"  Line {line} of version {version}, with *some* words.")
        if large and line % 50 == 0:
            lines.append(f"Part {line} [#{line % 7}_] note[*1]")
    if large:
        lines.append("[*1] The note.")
    return "\n".join(lines) + "\n"


def write_documents(folder, count, version, large_count=0):
    os.makedirs(folder, exist_ok=True)
    for index in range(count):
        with open(os.path.join(folder, f"d{index}.kav"), "w") as f:
            f.write(document(index, version, index < large_count))


def build_command(kavsite, docs, root):
    # The connection test goes to a port that refuses: nothing leaves the machine.
    return [kavsite, "consent_url=https://127.0.0.1:1/save", "deploy", "targ_p=" + docs, "root_p=" + root]


def run_build(kavsite, docs, root):
    start = time.monotonic()
    done = subprocess.run(build_command(kavsite, docs, root), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit(f"build failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
    return time.monotonic() - start


def pages(root):
    """Every page and raw view under root/html (not the shared templates): relative path -> bytes."""
    found = {}
    html = os.path.join(root, "html")
    for folder, _, names in os.walk(html):
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, html)
            if name.endswith(".html") and not name.startswith(TEMP_PREFIX) and not relative.startswith("shared" + os.sep):
                with open(path, "rb") as f:
                    found[relative] = f.read()
    return found


def temporaries(root):
    return [os.path.join(folder, name) for folder, _, names in os.walk(root) for name in names
            if name.startswith(TEMP_PREFIX)]


def whole(text):
    if not text.rstrip().endswith(b"</html>"):
        return False
    parser = html5lib.HTMLParser(strict=False)
    tree = parser.parse(text)
    return tree.find("{http://www.w3.org/1999/xhtml}body") is not None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kavsite", required=True)
    parser.add_argument("--kills", type=int, default=50)
    parser.add_argument("--documents", type=int, default=400)
    parser.add_argument("--versions", type=int, default=3)
    parser.add_argument("--large", type=int, default=3, help="documents over 256 KiB among them")
    parser.add_argument("--seed", type=int, default=20240607)
    args = parser.parse_args()
    kavsite = os.path.abspath(args.kavsite)
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="kavsite_kill_loop_")
    failures = []
    try:
        docs = os.path.join(work, "docs")
        # The pages of a complete build of each version of the documents.
        reference = []
        durations = []
        for version in range(args.versions):
            write_documents(docs, args.documents, version, args.large)
            root = os.path.join(work, f"reference{version}")
            durations.append(run_build(kavsite, docs, root))
            reference.append(pages(root))
        full = sorted(durations)[len(durations) // 2]
        print(f"{args.documents} documents, {len(reference[0])} pages and raw views per build, "
              f"a complete build takes {full * 1000:.0f} ms")

        reused = os.path.join(work, "reused")
        current = 0
        reused_version = current  # the documents of the reused root's last complete build
        write_documents(docs, args.documents, current, args.large)
        run_build(kavsite, docs, reused)
        counts = {"fresh": 0, "reused": 0, "pages_checked": 0, "left_temporaries": 0, "temporaries_left": 0}
        for kill in range(args.kills):
            fresh = kill % 2 == 0
            kind = "fresh" if fresh else "reused"
            root = os.path.join(work, f"fresh{kill}") if fresh else reused
            current = (current + 1) % args.versions
            write_documents(docs, args.documents, current, args.large)
            allowed = [reference[current]] if fresh else [reference[reused_version], reference[current]]

            delay = rng.uniform(0, full * 1.2)
            process = subprocess.Popen(build_command(kavsite, docs, root), stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()

            found = pages(root)
            bad = [path for path, text in found.items()
                   if not whole(text) or not any(ref.get(path) == text for ref in allowed)]
            left = temporaries(root)
            counts[kind] += 1
            counts["pages_checked"] += len(found)
            counts["temporaries_left"] += len(left)
            counts["left_temporaries"] += 1 if left else 0

            run_build(kavsite, docs, root)
            if not fresh:
                reused_version = current
            remaining = temporaries(root)
            complete = pages(root) == reference[current]
            status = "ok" if not bad and not remaining and complete else "FAILED"
            print(f"kill {kill + 1:3}: {kind:6} root, after {delay * 1000:6.1f} ms: {len(found):4} pages whole "
                  f"{len(found) - len(bad):4}, temporaries left {len(left)}, after the next build {len(remaining)}"
                  f"{'' if complete else ', next build incomplete'}: {status}")
            if bad:
                failures.append(f"kill {kill + 1}: not whole or not a build's page: {bad[:5]}")
            if remaining:
                failures.append(f"kill {kill + 1}: temporaries after the next build: {remaining[:5]}")
            if not complete:
                failures.append(f"kill {kill + 1}: the next build did not leave a complete site")
            if fresh:
                shutil.rmtree(root)

        print(f"{args.kills} kills ({counts['fresh']} into fresh roots, {counts['reused']} into the reused root), "
              f"{counts['pages_checked']} pages checked, {counts['left_temporaries']} kills left "
              f"{counts['temporaries_left']} temporaries, all removed by the next build"
              if not failures else "")
        for failure in failures:
            print("FAILED " + failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
