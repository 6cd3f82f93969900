#!/usr/bin/env python3
"""Writes the site of the page-generation benchmark: KAV documents for
kavsite and a Hugo site with the same content in Markdown.

Documents are made by the generator of the KAV parse benchmark (every
construct of the language around prose, with a Markdown twin of each), cut
to a size drawn between --min and --max bytes, with a header that uses every
metadata key and puts each page in one of a few sections. The same arguments
always give the same bytes.

    bench/gen_site_corpus.py --out bench/out/site [--files 5000] [--min 2000] [--max 6200] [--seed 11]

writes
    OUT/kav/<section>/NNNNN.kav        the documents (targ_p)
    OUT/root/                          an empty kavsite site root (root_p)
    OUT/hugo/content/<section>/NNNNN.md
    OUT/hugo/hugo.toml, OUT/hugo/layouts/...   a minimal Hugo site
"""
import argparse
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_kav_parse_corpus import WORDS, Doc  # noqa: E402

SECTIONS = ["notes", "journal", "recipes", "travel", "guides", "letters"]

HUGO_CONFIG = """\
baseURL = "https://example.org/"
languageCode = "en"
title = "Benchmark site"
uglyURLs = true
disableKinds = ["taxonomy", "term", "RSS", "sitemap", "robotsTXT", "404", "section"]
[markup.goldmark.renderer]
unsafe = true
[markup.tableOfContents]
startLevel = 2
endLevel = 3
"""

# One page per document with its title, a table of content and the content;
# the home page lists the pages by section, as kavsite's index page does.
HUGO_SINGLE = """\
<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>{{ .Title }}</title></head>
<body><h1>{{ .Title }}</h1>{{ .TableOfContents }}{{ .Content }}</body></html>
"""

HUGO_HOME = """\
<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>{{ .Site.Title }}</title></head>
<body>{{ range .Site.RegularPages.GroupBy "Section" }}<div id="{{ .Key }}"><h3>{{ .Key }}</h3>
{{ range .Pages }}<a href="{{ .RelPermalink }}">{{ .Title }}</a>{{ end }}</div>{{ end }}</body></html>
"""


class SiteDoc(Doc):
    def header(self):
        rng = self.rng
        title = self.words(2, 6).capitalize()
        self.section_name = rng.choice(SECTIONS)
        author = "%s %s" % (rng.choice(WORDS).capitalize(), rng.choice(WORDS).capitalize())
        day = "2024-%02d-%02d" % (rng.randint(1, 12), rng.randint(1, 28))
        summary = self.sentence()
        self.kav += [
            "``",
            "title: %s" % title,
            "author: %s | author_link: \"https://www.example.org/%s\"" % (author, rng.choice(WORDS)),
            "creation_date: %s | last_modification_date: %s" % (day, day),
            "category: %s %s | status: published" % (self.section_name, rng.choice(WORDS)),
            "output_path: %s/page_%05d.html" % (self.section_name, self.number),
            "summary: %s" % summary,
            "excerpt: %s | remark: %s" % (self.words(3, 8), self.words(2, 5)),
            "includes: shared/common",
            "  %s" % self.sentence(),
            "``",
        ]
        self.md += [
            "---",
            'title: "%s"' % title,
            'author: "%s"' % author,
            "date: %s" % day,
            'categories: ["%s"]' % self.section_name,
            'summary: "%s"' % summary,
            "---",
            "",
        ]


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--files", type=int, default=5000)
    parser.add_argument("--min", type=int, default=2000)
    parser.add_argument("--max", type=int, default=6200)
    parser.add_argument("--seed", type=int, default=11)
    args = parser.parse_args()
    for sub in ("kav", "root", "hugo"):
        shutil.rmtree(os.path.join(args.out, sub), ignore_errors=True)
    os.makedirs(os.path.join(args.out, "root"))

    rng = random.Random(args.seed)
    kav_bytes = md_bytes = 0
    for number in range(1, args.files + 1):
        doc = SiteDoc(rng, number)
        doc.header()
        target = rng.randint(args.min, args.max)
        while sum(len(x) + 1 for x in doc.kav) < target:
            doc.section()
        doc.notes_block()
        kav = "\n".join(doc.kav) + "\n"
        md = "\n".join(doc.md) + "\n"
        write(os.path.join(args.out, "kav", doc.section_name, "%05d.kav" % number), kav)
        write(os.path.join(args.out, "hugo", "content", doc.section_name, "page_%05d.md" % number), md)
        kav_bytes += len(kav.encode())
        md_bytes += len(md.encode())

    hugo = os.path.join(args.out, "hugo")
    write(os.path.join(hugo, "hugo.toml"), HUGO_CONFIG)
    write(os.path.join(hugo, "layouts", "_default", "single.html"), HUGO_SINGLE)
    write(os.path.join(hugo, "layouts", "index.html"), HUGO_HOME)
    print("%d documents, %d bytes of KAV, %d bytes of Markdown" % (args.files, kav_bytes, md_bytes))


if __name__ == "__main__":
    main()
