#!/usr/bin/env python3
"""Writes the hostile KAV documents of the parse benchmark, one folder each.

    gen_kav_hostile.py --out DIR [--scale N]

Each shape is written at size N and 2N (DIR/<shape>_1x/doc.kav and
DIR/<shape>_2x/doc.kav), so the timings show how the parse grows. The bytes
depend only on the scale.
"""
import argparse
import os

SHAPES = {
    # One internal-link label repeated on every line, with a reference to it.
    'labels': lambda n: 'Part [#1_] see [#1]\n' * (20000 * n),
    # Quote markers nested on one line, then back to the outer quote.
    'quotes': lambda n: '>' * (100000 * n) + ' deep\n> back\nafter\n',
    # A rule line of many columns, a header cell under each, 20 body rows.
    'columns': lambda n: '|--- ' * (5000 * n) + '\n' + '| h  ' * (5000 * n) + '\n' +
                         ('|---\n' + '| c  ' * (5000 * n) + '\n') * 20,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--out', required=True)
    parser.add_argument('--scale', type=int, default=1)
    args = parser.parse_args()
    for name, make in SHAPES.items():
        for factor in (1, 2):
            folder = os.path.join(args.out, '%s_%dx' % (name, factor))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, 'doc.kav'), 'w', encoding='utf-8') as f:
                f.write(make(args.scale * factor))


if __name__ == '__main__':
    main()
