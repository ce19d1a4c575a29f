#!/usr/bin/env python3
"""Checks that the folders under src/ use each other one way only.

Builds the graph of folders from every `#include "folder/..."` line in src/ and fails,
naming the files, when the graph has a cycle (two folders that include each other, or a
longer circle). Prints the layers it found, lowest first, when there is none.
usage: scripts/check-layers.py [SRC_DIR]
"""
import os
import re
import sys

src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
src = os.path.normpath(src)
folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')

# edges[a][b] = the files of folder a that include something of folder b
edges = {f: {} for f in folders}
for top in folders:
    for root, _, files in os.walk(os.path.join(src, top)):
        for name in files:
            if not name.endswith((".h", ".cpp", ".c", ".hpp")):
                continue
            path = os.path.join(root, name)
            with open(path, encoding="utf-8", errors="replace") as text:
                for line in text:
                    m = include.match(line)
                    if m and m.group(1) in edges and m.group(1) != top:
                        edges[top].setdefault(m.group(1), []).append(os.path.relpath(path, src))

# Depth-first search for a cycle; on finding one, print it with the files behind each step.
state = {f: 0 for f in folders}  # 0 unseen, 1 on the path, 2 done
path = []
order = []


def visit(f):
    state[f] = 1
    path.append(f)
    for g in sorted(edges[f]):
        if state[g] == 1:
            circle = path[path.index(g):] + [g]
            print("check-layers: the folders under src/ include each other in a circle:")
            for a, b in zip(circle, circle[1:]):
                print(f"  {a} -> {b}: {', '.join(sorted(set(edges[a][b])))}")
            sys.exit(1)
        if state[g] == 0:
            visit(g)
    path.pop()
    state[f] = 2
    order.append(f)


for f in folders:
    if state[f] == 0:
        visit(f)

# A folder's layer: one above the highest folder it uses.
layer = {}
for f in order:
    layer[f] = 1 + max((layer[g] for g in edges[f]), default=-1)
print("check-layers: no circle among the folders under src/; layers, lowest first:")
for level in range(max(layer.values()) + 1):
    names = [f"{f} (uses {', '.join(sorted(edges[f])) or 'nothing'})" for f in folders if layer[f] == level]
    print(f"  {level}: " + "; ".join(names))
