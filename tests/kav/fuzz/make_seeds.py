#!/usr/bin/env python3
"""Writes the examples of docs/kav.md as the fuzzer's seed files, one per
distinct source (the guide's appendix repeats sources with their trees).

Run from anywhere after editing the guide; the guide test checks that the
seeds match the examples.
"""
import os

here = os.path.dirname(os.path.abspath(__file__))
guide = os.path.join(here, '..', '..', '..', 'docs', 'kav.md')
seeds = os.path.join(here, 'kav_parse_seeds')

lines = open(guide, encoding='utf-8').read().split('\n')
examples = []
k = 0
while k < len(lines):
    if lines[k] == '~~~kav':
        body = []
        k += 1
        while k < len(lines) and lines[k] != '~~~':
            body.append(lines[k] + '\n')
            k += 1
        text = ''.join(body)
        if text not in examples:
            examples.append(text)
    k += 1

os.makedirs(seeds, exist_ok=True)
for name in os.listdir(seeds):
    if name.startswith('guide_'):
        os.remove(os.path.join(seeds, name))
for n, text in enumerate(examples, 1):
    with open(os.path.join(seeds, 'guide_%d.kav' % n), 'w', encoding='utf-8', newline='') as f:
        f.write(text)
print('%d seeds written' % len(examples))
