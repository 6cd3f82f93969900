#!/usr/bin/env python3
"""Writes the hostile documents of the whole-build benchmark: each is one
document with a page, in a folder of its own, so that a build of that folder
times and measures one hostile page end to end.

    gen_site_hostile.py --out DIR [--megabytes 10]

Shapes (sizes follow --megabytes, the size of the large ones in MB):
  footnotes   footnote references, a hundred to a line
  links       internal link references to one target, a hundred to a line
  mixed       prose with every construct (the parse benchmark's generator)
  labels      an internal-link label repeated on 20,000 lines
  quotes      100,000 nested quote markers on one line, then back out
  columns     a table of 5,000 columns and 20 rows
The same arguments always give the same bytes.
"""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_kav_parse_corpus import Doc  # noqa: E402

HEADER = "``\ntitle: Hostile %s\noutput_path: hostile/%s.html\n``\n"


def mixed(megabytes):
    rng = random.Random(3)
    parts, total, number = [], 0, 0
    while total < megabytes * 1_000_000:
        number += 1
        doc = Doc(rng, number)
        while sum(len(x) + 1 for x in doc.kav) < 20_000:
            doc.section()
        doc.notes_block()
        text = "\n".join(doc.kav) + "\n"
        parts.append(text)
        total += len(text)
    return "".join(parts)


def shapes(megabytes):
    line_count = megabytes * 1_000_000 // 500
    return {
        "footnotes": lambda: "Notes\n" + ("  x" + "[*1]" * 100 + "\n") * line_count + "[*1] The note.\n",
        "links": lambda: "Target [#1_]\n" + ("  x" + "[#1]" * 100 + "\n") * line_count,
        "mixed": lambda: mixed(megabytes * 10),
        "labels": lambda: "Part [#1_] see [#1]\n" * 20000,
        "quotes": lambda: ">" * 100000 + " deep\n> back\nafter\n",
        "columns": lambda: "|--- " * 5000 + "\n" + "| h  " * 5000 + "\n" + ("|---\n" + "| c  " * 5000 + "\n") * 20,
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--megabytes", type=int, default=10)
    args = parser.parse_args()
    for name, make in shapes(args.megabytes).items():
        folder = os.path.join(args.out, name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "doc.kav"), "w", encoding="utf-8") as f:
            f.write(HEADER % (name, name) + make())


if __name__ == "__main__":
    main()
