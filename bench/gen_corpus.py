#!/usr/bin/env python3
"""Writes a synthetic corpus of .kav documents for the benchmarks.

The same seed, file count and size always give the same files, byte for
byte. Documents are spread over section/year folders; sizes vary around the
mean (a few hundred bytes to a few tens of kilobytes) and are scaled so the
whole corpus comes to --bytes.

    bench/gen_corpus.py --out bench/out/corpus --files 10000 --bytes 50000000
"""
import argparse
import os
import random
import shutil

WORDS = (
    "arena build cache document folder header index link list markup memory node page parse path "
    "queue render root scanner section site source streamer style table template thread token tree "
    "value walk write quick brown fox jumps over lazy dog lorem ipsum dolor sit amet consectetur "
    "adipiscing elit sed do eiusmod tempor incididunt ut labore et dolore magna aliqua"
).split()
SECTIONS = ["notes", "blog", "projects", "recipes", "travel", "reading", "music", "code", "photos", "misc"]
YEARS = ["2019", "2020", "2021", "2022", "2023", "2024"]


def sentence(rng):
    words = [rng.choice(WORDS) for _ in range(rng.randint(5, 16))]
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def body(rng, size):
    """Headings, paragraphs, lists and code blocks until `size` bytes."""
    parts = []
    length = 0
    while length < size:
        kind = rng.random()
        if kind < 0.1:
            block = "\n" + sentence(rng)[:-1] + "\n"
        elif kind < 0.25:
            block = "".join("\t- " + sentence(rng) + "\n" for _ in range(rng.randint(2, 6)))
        elif kind < 0.32:
            block = "```\n" + "".join("    x = %d;\n" % rng.randint(0, 999) for _ in range(rng.randint(2, 8))) + "```\n"
        else:
            block = "\t" + " ".join(sentence(rng) for _ in range(rng.randint(2, 6))) + "\n"
        parts.append(block)
        length += len(block)
    return "".join(parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, help="folder to (re)create")
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--bytes", type=int, default=50_000_000, help="approximate total size")
    parser.add_argument("--seed", type=int, default=20240501)
    parser.add_argument("--ext", default="kav",
                        help="file extension; another one than kav makes the build fetch the files without parsing them")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    # Log-normal sizes scaled to the wanted total.
    raw = [rng.lognormvariate(0.0, 0.8) for _ in range(args.files)]
    scale = args.bytes / sum(raw)
    sizes = [max(200, int(r * scale)) for r in raw]

    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    total = 0
    for i, size in enumerate(sizes):
        section = SECTIONS[i % len(SECTIONS)]
        year = YEARS[(i // len(SECTIONS)) % len(YEARS)]
        folder = os.path.join(args.out, section, year)
        os.makedirs(folder, exist_ok=True)
        title = sentence(rng)[:-1]
        header = (
            "title: %s\n"
            "status: %s\n"
            "output_path: %s/%s/doc_%05d.html\n"
            "date: %s-%02d-%02d\n"
            "category: %s\n\n" % (title, "draft" if i % 17 == 0 else "done", section, year, i, year,
                                  rng.randint(1, 12), rng.randint(1, 28), section)
        )
        text = header + body(rng, max(0, size - len(header)))
        data = text.encode("utf-8")
        with open(os.path.join(folder, "doc_%05d.%s" % (i, args.ext)), "wb") as f:
            f.write(data)
        total += len(data)
    print("wrote %d files, %d bytes, into %s" % (len(sizes), total, args.out))


if __name__ == "__main__":
    main()
