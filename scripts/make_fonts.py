#!/usr/bin/python3
"""Builds the web fonts of kavsite's default theme from Debian's font packages.

  iconfont.woff2          'IconFont': Font Awesome 4.7 glyphs, each icon of the
                          icon table (src/site/icons.h) at that table's glyph
                          character, nothing else
  figtree*.woff2          the text face served as "Figtree": Inter, Latin subset,
                          regular, italic, semi-bold and bold
  fira-code.woff2         "Fira Code", Latin subset (plus arrows and box drawing)
  <font>-LICENSE.txt      each font's copyright and licence (SIL OFL 1.1)

Run with Debian's python (python3-fonttools, python3-brotli):
  /usr/bin/python3 scripts/make_fonts.py --icons src/site/icons.h --out DIR
The output is the same for the same inputs (no time stamps).
"""

import argparse
import logging
import os
import re
import sys

try:
    import brotli  # noqa: F401 (woff2 compression)
    from fontTools import subset
    from fontTools.pens.transformPen import TransformPen
    from fontTools.pens.ttGlyphPen import TTGlyphPen
    from fontTools.ttLib import TTFont, newTable
    from fontTools.ttLib.tables._c_m_a_p import CmapSubtable
except ImportError as error:
    sys.exit("make_fonts: %s: install python3-fonttools and python3-brotli (scripts/install-deps.sh)" % error)

FONT_AWESOME = "/usr/share/fonts/truetype/font-awesome/fontawesome-webfont.ttf"
FIRA_CODE = "/usr/share/fonts/truetype/firacode/FiraCode-Regular.ttf"
INTER = "/usr/share/fonts/opentype/inter/Inter-{}.otf"
COPYRIGHT = "/usr/share/doc/{}/copyright"

# Icon name -> Font Awesome 4.7 code point. "Colon" has no Font Awesome
# glyph: it is drawn from two small circles.
ICON_GLYPHS = {
    "Menu": 0xF0C9,          # bars
    "Unlink": 0xF127,        # chain-broken
    "Eye": 0xF06E,           # eye
    "DownDir": 0xF0D7,       # caret-down
    "UpDir": 0xF0D8,         # caret-up
    "LeftDir": 0xF0D9,       # caret-left
    "RightDir": 0xF0DA,      # caret-right
    "At": 0xF1FA,            # at
    "Clone": 0xF24D,         # clone
    "Clipboard": 0xF0EA,     # clipboard
    "ListNested": 0xF03C,    # indent
    "Thlist": 0xF00B,        # th-list
    "Pencil": 0xF040,        # pencil
    "EllipsisVert": 0xF142,  # ellipsis-v
    "Ellipsis": 0xF141,      # ellipsis-h
    "CircleEmpty": 0xF10C,   # circle-o
    "DotCircle": 0xF192,     # dot-circle-o
    "Link": 0xF0C1,          # link
    "Attach": 0xF0C6,        # paperclip
    "Brush": 0xF1FC,         # paint-brush
    "List": 0xF03A,          # list
    "Info": 0xF05A,          # info-circle
    "Attention": 0xF071,     # exclamation-triangle
    "CancelCircle": 0xF057,  # times-circle
    "Colon": None,           # drawn: two dots
    "HelpCircled": 0xF059,   # question-circle
    "Calendar": 0xF073,      # calendar
    "CC": 0xF25E,            # creative-commons
    "User": 0xF007,          # user
    "Quote": 0xF10D,         # quote-left
    "Tag": 0xF02B,           # tag
    "Comment": 0xF075,       # comment
    "Square": 0xF0C8,        # square (list marker)
    "CheckEmpty": 0xF096,    # square-o (open checkbox)
    "Check": 0xF046,         # check-square-o (ticked checkbox)
    "Bookmark": 0xF02E,      # bookmark
}
CIRCLE = 0xF111

# Latin and common punctuation: ASCII, Latin-1, the usual extra letters and
# typographic signs, general punctuation, euro, trade mark, minus.
LATIN = (
    list(range(0x20, 0x7F)) + list(range(0xA0, 0x100)) +
    [0x131, 0x152, 0x153, 0x2BB, 0x2BC, 0x2C6, 0x2DA, 0x2DC, 0x304, 0x308, 0x329] +
    list(range(0x2000, 0x2070)) + [0x2074, 0x20AC, 0x2122, 0x2212, 0x2215, 0xFEFF, 0xFFFD] +
    list(range(0x2190, 0x219A))  # arrows
)
CODE_EXTRA = list(range(0x2500, 0x2580))  # box drawing, for trees and tables in code

TEXT_FACES = [
    # output name, source
    ("figtree.woff2", INTER.format("Regular")),
    ("figtree-italic.woff2", INTER.format("Italic")),
    ("figtree-semibold.woff2", INTER.format("SemiBold")),
    ("figtree-bold.woff2", INTER.format("Bold")),
]


def fail(message):
    sys.stderr.write("make_fonts: " + message + "\n")
    sys.exit(1)


def read_icon_table(path):
    """(name, glyph character) of every icon of the C++ icon table but Nil."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    rows = re.findall(r'\{\s*(\d+)\s*,\s*SC\("(\w+)"\)\s*,\s*SC\("((?:\\.|[^"\\])*)"\)\s*\}', text)
    icons = []
    for index, name, glyph in rows:
        glyph = re.sub(r"\\(.)", r"\1", glyph)
        if int(index) == 0:
            continue
        if len(glyph) != 1:
            fail("icon %s: glyph %r is not one character" % (name, glyph))
        icons.append((name, glyph))
    if not icons:
        fail("no icon rows found in " + path)
    return icons


def subset_options():
    options = subset.Options()
    options.flavor = "woff2"
    options.hinting = False  # browsers on every platform render unhinted outlines well
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.recalc_timestamp = False
    return options


def save(font, path):
    font.flavor = "woff2"
    font.save(path)


def build_icon_font(icons, out):
    font = TTFont(FONT_AWESOME, recalcTimestamp=False)
    source_cmap = font.getBestCmap()
    glyph_set = font.getGlyphSet()

    # Colon: the circle glyph twice, at a third of its size, one dot above the other.
    circle = source_cmap[CIRCLE]
    pen = TTGlyphPen(glyph_set)
    width = font["hmtx"][circle][0]
    scale = 0.3
    dot = width * scale
    for y in (font["head"].unitsPerEm * 0.08, font["head"].unitsPerEm * 0.52):
        glyph_set[circle].draw(TransformPen(pen, (scale, 0, 0, scale, (width - dot) / 2, y)))
    colon = pen.glyph()
    glyf = font["glyf"]
    glyf["kav_colon"] = colon  # appends the name to the table's glyph order
    font.setGlyphOrder(list(glyf.glyphOrder))
    font["hmtx"]["kav_colon"] = (width, int((width - dot) / 2))

    mapping = {}
    for name, glyph in icons:
        if name not in ICON_GLYPHS:
            fail("icon %s has no glyph in ICON_GLYPHS" % name)
        code = ICON_GLYPHS[name]
        mapping[ord(glyph)] = "kav_colon" if code is None else source_cmap[code]

    # The cmap holds only the icon characters.
    cmap = newTable("cmap")
    cmap.tableVersion = 0
    cmap.tables = []
    for platform, encoding in ((0, 3), (3, 1)):
        table = CmapSubtable.newSubtable(4)
        table.platformID, table.platEncID, table.language = platform, encoding, 0
        table.cmap = dict(mapping)
        cmap.tables.append(table)
    font["cmap"] = cmap

    options = subset_options()
    options.layout_features = []
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=list(mapping))
    subsetter.subset(font)

    names = font["name"]
    for record in list(names.names):
        if record.nameID in (1, 3, 4, 6, 16, 17):
            names.removeNames(nameID=record.nameID)
    for name_id, value in ((1, "IconFont"), (3, "IconFont"), (4, "IconFont"), (6, "IconFont"),
                           (13, "SIL Open Font License, Version 1.1"),
                           (14, "https://openfontlicense.org")):
        names.setName(value, name_id, 3, 1, 0x409)
        names.setName(value, name_id, 1, 0, 0)
    path = os.path.join(out, "iconfont.woff2")
    save(font, path)

    # Every icon character must reach a glyph with an outline.
    check = TTFont(path)
    check_cmap = check.getBestCmap()
    glyf = check["glyf"]
    for name, glyph in icons:
        target = check_cmap.get(ord(glyph))
        if target is None or glyf[target].numberOfContours == 0:
            fail("icon %s (%r) has no outline in %s" % (name, glyph, path))


def build_text_face(source, unicodes, out_name, out):
    font = TTFont(source, recalcTimestamp=False)
    subsetter = subset.Subsetter(subset_options())
    subsetter.populate(unicodes=unicodes)
    subsetter.subset(font)
    save(font, os.path.join(out, out_name))


def ofl_text(package):
    """The copyright lines of the package's OFL-covered files and the OFL text."""
    with open(COPYRIGHT.format(package), encoding="utf-8") as f:
        paragraphs = f.read().split("\n\n")

    def fields(paragraph):
        out, key = {}, None
        for line in paragraph.split("\n"):
            if line.startswith((" ", "\t")) and key:
                out[key].append(line[1:])
            elif ":" in line:
                key, value = line.split(":", 1)
                out[key] = [value.strip()] if value.strip() else []
        return out

    copyright_lines = licence_lines = None
    for paragraph in paragraphs:
        f = fields(paragraph.strip("\n"))
        if "Files" in f and f.get("License", [""])[0].startswith("OFL-1.1") and copyright_lines is None:
            copyright_lines = f.get("Copyright", [])
        if "Files" not in f and f.get("License", [""])[0] == "OFL-1.1" and len(f["License"]) > 1:
            licence_lines = f["License"][1:]
    if not copyright_lines or not licence_lines:
        fail("no OFL-1.1 copyright and licence text in " + COPYRIGHT.format(package))
    body = "\n".join("" if line.strip() == "." else line for line in licence_lines)
    copyright_text = "\n".join("  " + line.strip() for line in copyright_lines)
    return copyright_text, body


def write_licence(out, name, about, package):
    copyright_text, body = ofl_text(package)
    with open(os.path.join(out, name), "w", encoding="utf-8", newline="\n") as f:
        f.write(about.strip() + "\n\nCopyright:\n" + copyright_text + "\n\n" +
                "Licensed under the SIL Open Font License, Version 1.1:\n\n" + body.rstrip() + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--icons", required=True, help="src/site/icons.h")
    parser.add_argument("--out", required=True, help="output folder")
    args = parser.parse_args()
    logging.basicConfig(level=logging.ERROR)  # the subsetter notes every table it drops
    for path in (FONT_AWESOME, FIRA_CODE, INTER.format("Regular")):
        if not os.path.exists(path):
            fail("missing %s (install fonts-font-awesome, fonts-firacode, fonts-inter)" % path)
    os.makedirs(args.out, exist_ok=True)

    build_icon_font(read_icon_table(args.icons), args.out)
    for out_name, source in TEXT_FACES:
        build_text_face(source, LATIN, out_name, args.out)
    build_text_face(FIRA_CODE, LATIN + CODE_EXTRA, "fira-code.woff2", args.out)

    write_licence(args.out, "iconfont-LICENSE.txt", """
IconFont (iconfont.woff2) is made from Font Awesome 4.7 (Debian package
fonts-font-awesome): the glyphs of kavsite's icons, each at the character its
icon class shows; the "Colon" icon is drawn from two of its circles.""", "fonts-font-awesome")
    write_licence(args.out, "figtree-LICENSE.txt", """
The face served under the family name "Figtree" (figtree*.woff2) is Inter
(Debian package fonts-inter), subset to Latin letters and punctuation.""", "fonts-inter")
    write_licence(args.out, "fira-code-LICENSE.txt", """
Fira Code (fira-code.woff2) comes from the Debian package fonts-firacode,
subset to Latin letters, punctuation, arrows and box drawing.""", "fonts-firacode")


if __name__ == "__main__":
    main()
