#!/usr/bin/env python3
"""Writes the corpus of the KAV parse benchmark and its Markdown twin.

Documents use every construct of the language (header keys, headings and
paragraphs by indentation, lists of every kind, tables side by side, quotes,
code blocks, inline code, emphasis, links with descriptions, images,
footnotes, internal links, checkboxes, toggles, embedded HTML, comments,
separators, escapes) around prose of ordinary words. The Markdown twin says
the same in Markdown so that other tools can be timed on equal content.
The same seed and size always give the same bytes.

    bench/gen_kav_parse_corpus.py --out bench/out/kav_parse --bytes 20000000 [--seed 7]

writes OUT/kav/NNNNN.kav and OUT/md/NNNNN.md.
"""
import argparse
import os
import random
import shutil

WORDS = (
    "the of and to in a is that for it as was with be by on not he this are or his from at which but have an "
    "they you were her she there one all we their been has when who will more no if out so said what up its "
    "about into than them can only other new some could time these two may then first any like now my such "
    "river mountain library garden window evening morning village harbour journey letter market bridge "
    "weather kitchen winter summer station forest island painting history language question answer "
    "remembered walked carried listened wondered travelled gathered borrowed finished measured"
).split()


class Doc:
    def __init__(self, rng, number):
        self.rng = rng
        self.number = number
        self.kav = []
        self.md = []
        self.notes = 0

    def words(self, low, high):
        return " ".join(self.rng.choice(WORDS) for _ in range(self.rng.randint(low, high)))

    def sentence(self):
        s = self.words(6, 18)
        return s[0].upper() + s[1:] + "."

    def emit(self, kav, md):
        self.kav.append(kav)
        self.md.append(md)

    def inline_text(self):
        """A paragraph with inline constructs; returns (kav, md)."""
        rng = self.rng
        kav, md = [], []
        for _ in range(rng.randint(2, 5)):
            s = self.sentence()
            kav.append(s)
            md.append(s)
            kind = rng.random()
            w = rng.choice(WORDS)
            if kind < 0.15:
                kav.append("_%s %s_" % (w, rng.choice(WORDS)))
                md.append("**%s %s**" % (w, md[-1].split()[0]))
            elif kind < 0.25:
                kav.append("__%s__" % w)
                md.append("*%s*" % w)
            elif kind < 0.35:
                kav.append("`%s <%s>`" % (w, rng.choice(WORDS)))
                md.append("`%s <%s>`" % (w, rng.choice(WORDS)))
            elif kind < 0.45:
                url = "https://www.example.org/%s/%d" % (w, rng.randint(1, 999))
                kav.append('"%s"(%s %s)' % (url, w, rng.choice(WORDS)))
                md.append("[%s %s](%s)" % (w, rng.choice(WORDS), url))
            elif kind < 0.52:
                self.notes += 1
                kav.append("%s[*%d]" % (w, self.notes))
                md.append("%s[^%d]" % (w, self.notes))
            elif kind < 0.58:
                kav.append("[#%d(%s)]" % (rng.randint(1, 9), w))
                md.append("[%s](#t%d)" % (w, rng.randint(1, 9)))
            elif kind < 0.63:
                kav.append("[x] %s [ ] %s" % (w, rng.choice(WORDS)))
                md.append("[x] %s [ ] %s" % (w, rng.choice(WORDS)))
            elif kind < 0.68:
                kav.append("``%s | %s``" % (w, rng.choice(WORDS)))
                md.append("<details><summary>i</summary>%s %s</details>" % (w, rng.choice(WORDS)))
            elif kind < 0.72:
                kav.append("~{<abbr title=\"%s\">%s</abbr>}~" % (w, w.upper()))
                md.append("<abbr title=\"%s\">%s</abbr>" % (w, w.upper()))
            elif kind < 0.76:
                kav.append("\\[%s\\] 5\\_000" % w)
                md.append("\\[%s\\] 5\\_000" % w)
        return " ".join(kav), " ".join(md)

    def header(self):
        rng = self.rng
        title = self.words(2, 6).capitalize()
        section = rng.choice(["notes", "journal", "recipes", "travel"])
        self.emit("``", "---")
        self.emit("title: %s" % title, "title: %s" % title)
        self.emit("author: %s %s" % (rng.choice(WORDS).capitalize(), rng.choice(WORDS).capitalize()),
                  "author: someone")
        self.emit("creation_date: 2024-%02d-%02d" % (rng.randint(1, 12), rng.randint(1, 28)), "date: 2024-01-01")
        self.emit("category: %s | status: published" % section, "category: %s" % section)
        self.emit("output_path: %s/page_%05d.html" % (section, self.number), "path: %s" % section)
        self.emit("summary: %s" % self.sentence(), "summary: x")
        self.emit("  %s" % self.sentence(), "---")
        self.emit("``", "")

    def section(self):
        rng = self.rng
        heading = self.words(2, 5).capitalize()
        self.emit("%s [#%d_]" % (heading, rng.randint(1, 9)), "## %s" % heading)
        for _ in range(rng.randint(2, 5)):
            choice = rng.random()
            kav, md = self.inline_text()
            if choice < 0.35:
                self.emit("  " + kav, "\n" + md)
            elif choice < 0.45:
                sub = self.words(2, 4).capitalize()
                self.emit("    " + sub, "\n### " + sub)
                self.emit("      " + kav, "\n" + md)
            elif choice < 0.55:
                marker = rng.choice(["1.", ".", "a."])
                mdm = "1." if marker != "." else "-"
                for k in range(rng.randint(2, 5)):
                    item = self.words(3, 10)
                    m = marker if marker != "a." else "%s." % "abcdefg"[k]
                    self.emit("  %s %s" % (m, item), "%s %s" % (mdm, item))
                    if rng.random() < 0.3:
                        nested = self.words(3, 8)
                        self.emit("    . %s" % nested, "   - %s" % nested)
                self.emit("", "")
            elif choice < 0.62:
                cols = rng.randint(2, 4)
                side = rng.random() < 0.3
                rule = "  |---" + ("           |---" if side else "")
                self.emit(rule, "")
                head = " | ".join(rng.choice(WORDS) for _ in range(cols))
                self.emit("  | " + head + ("  | " + rng.choice(WORDS) if side else ""), "| " + head + " |")
                self.emit("", "|" + "---|" * cols)
                for _ in range(rng.randint(2, 6)):
                    row = " | ".join(self.words(1, 3) for _ in range(cols))
                    self.emit("  |---", "")
                    self.emit("  | " + row, "| " + row + " |")
            elif choice < 0.70:
                self.emit("  >  " + self.sentence(), "> " + self.sentence())
                self.emit("  >  " + kav, "> " + md)
                if rng.random() < 0.5:
                    self.emit("  > >  " + self.sentence(), "> > " + self.sentence())
                self.emit("", "")
            elif choice < 0.78:
                self.emit("  ```c", "```c")
                for _ in range(rng.randint(3, 10)):
                    line = "    %s(%s, %d); // %s" % (rng.choice(WORDS), rng.choice(WORDS), rng.randint(0, 99),
                                                      self.words(2, 5))
                    self.emit(line, line)
                self.emit("  ```", "```")
            elif choice < 0.83:
                self.emit("  ``", "<details>")
                self.emit("    " + self.sentence(), self.sentence())
                self.emit("  ``", "</details>")
            elif choice < 0.87:
                img = "/img/%s_%d.jpg" % (rng.choice(WORDS), rng.randint(1, 99))
                self.emit('  [_"%s"("%s" %dx%d)]' % (img, self.words(2, 4), rng.randint(100, 900),
                                                      rng.randint(100, 900)),
                          "![%s](%s)" % (self.words(2, 4), img))
            elif choice < 0.90:
                self.emit("  // " + self.words(3, 8), "<!-- x -->")
            elif choice < 0.92:
                self.emit("  ---", "---")
            else:
                self.emit("  " + kav, "\n" + md)

    def notes_block(self):
        for n in range(1, self.notes + 1):
            s = self.sentence()
            self.emit("[*%d] %s" % (n, s), "[^%d]: %s" % (n, s))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--bytes", type=int, default=20_000_000)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    for sub in ("kav", "md"):
        shutil.rmtree(os.path.join(args.out, sub), ignore_errors=True)
        os.makedirs(os.path.join(args.out, sub))
    total = 0
    number = 0
    while total < args.bytes:
        number += 1
        doc = Doc(rng, number)
        doc.header()
        target = rng.randint(2_000, 40_000)
        while sum(len(x) + 1 for x in doc.kav) < target:
            doc.section()
        doc.notes_block()
        kav = "\n".join(doc.kav) + "\n"
        md = "\n".join(doc.md) + "\n"
        with open(os.path.join(args.out, "kav", "%05d.kav" % number), "w", newline="") as f:
            f.write(kav)
        with open(os.path.join(args.out, "md", "%05d.md" % number), "w", newline="") as f:
            f.write(md)
        total += len(kav.encode())
    print("%d documents, %d bytes of KAV" % (number, total))


if __name__ == "__main__":
    main()
