#!/usr/bin/python3
"""Checks generated HTML pages the way a browser reads them.

Usage: html5_check.py PATH...   (files, or folders searched for *.html)

Each page is parsed with an HTML5 parser (html5lib, the Debian package
python3-html5lib: run with /usr/bin/python3). A page passes when the parser
reports no error, no two elements share an id, every same-page link
(href="#x") names an id of the page, and every `time` element's datetime is
a valid date or date and time. Prints one line per problem, "path: problem",
and exits with 1 when there is any, 0 otherwise.
"""

import os
import re
import sys

import html5lib

# yyyy-mm-dd, optionally followed by "T" or a blank and hh:mm[:ss[.fff]].
DATETIME = re.compile(r"^(\d{4,})-(\d\d)-(\d\d)(?:[T ](\d\d):(\d\d)(?::(\d\d)(?:\.\d{1,3})?)?)?$")
MONTH_DAYS = [31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]


def valid_datetime(text):
    m = DATETIME.match(text)
    if not m:
        return False
    year, month, day = int(m.group(1)), int(m.group(2)), int(m.group(3))
    if year < 1 or not 1 <= month <= 12:
        return False
    leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
    days = 29 if month == 2 and leap else (28 if month == 2 else MONTH_DAYS[month - 1])
    if not 1 <= day <= days:
        return False
    if m.group(4) is not None:
        hour, minute = int(m.group(4)), int(m.group(5))
        second = int(m.group(6)) if m.group(6) else 0
        if hour > 23 or minute > 59 or second > 59:
            return False
    return True


def check_page(path):
    with open(path, "rb") as f:
        data = f.read()
    parser = html5lib.HTMLParser(namespaceHTMLElements=False)
    root = parser.parse(data)
    problems = []
    for (line, column), code, values in parser.errors:
        detail = ", ".join("%s=%s" % (k, v) for k, v in sorted((values or {}).items()))
        problems.append("%d:%d: parse error %s%s" % (line, column, code, " (" + detail + ")" if detail else ""))

    ids = {}
    fragments = []
    for element in root.iter():
        if not isinstance(element.tag, str):
            continue  # comments
        element_id = element.get("id")
        if element_id is not None:
            ids[element_id] = ids.get(element_id, 0) + 1
        href = element.get("href")
        if href is not None and href.startswith("#"):
            fragments.append(href[1:])
        if element.tag == "time" and element.get("datetime") is not None:
            if not valid_datetime(element.get("datetime")):
                problems.append("time datetime=\"%s\" is not a valid date" % element.get("datetime"))
    for element_id, count in sorted(ids.items()):
        if count > 1:
            problems.append("id \"%s\" is used %d times" % (element_id, count))
    for fragment in fragments:
        if fragment not in ids:
            problems.append("href=\"#%s\" names no element" % fragment)
    return problems


def pages(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    if name.endswith(".html"):
                        yield os.path.join(folder, name)
        else:
            yield path


def main(argv):
    if len(argv) < 2:
        print("usage: html5_check.py PATH...", file=sys.stderr)
        return 2
    failed = False
    checked = 0
    for path in pages(argv[1:]):
        checked += 1
        for problem in check_page(path):
            failed = True
            print("%s: %s" % (path, problem))
    print("%d page(s) checked" % checked)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
