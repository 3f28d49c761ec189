#!/usr/bin/env python3
"""Checks the layering: core/ includes nothing of gui/, app/ or cli/, and the core folders
include each other without a cycle. Prints the folder graph and exits 1 on a breach."""
import os, re, sys
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
inc = re.compile(r'#include "([a-z_]+(?:/[a-z_]+)?)/[^"/]+"')
edges = {}
bad = []
for d in ("core", "gui", "app", "cli"):
    for dirpath, _, files in os.walk(os.path.join(root, d)):
        for f in files:
            if not f.endswith((".h", ".cpp")):
                continue
            path = os.path.join(dirpath, f)
            rel = os.path.relpath(path, root)
            folder = os.path.dirname(rel)
            for m in inc.finditer(open(path, encoding="utf-8").read()):
                target = m.group(1)
                if target == folder:
                    continue
                edges.setdefault(folder, set()).add(target)
                if folder.startswith("core") and not target.startswith("core"):
                    bad.append(f"{rel} includes {target}/")
# Cycles among core folders.
core = {k: {t for t in v if t.startswith("core")} for k, v in edges.items() if k.startswith("core")}
state = {}
def visit(n, stack):
    state[n] = 1
    for t in sorted(core.get(n, ())):
        if state.get(t) == 1:
            bad.append("cycle: " + " -> ".join(stack[stack.index(t):] + [t]))
        elif not state.get(t):
            visit(t, stack + [t])
    state[n] = 2
for n in sorted(core):
    if not state.get(n):
        visit(n, [n])
for k in sorted(edges):
    print(f"{k}: {', '.join(sorted(edges[k]))}")
for b in bad:
    print("BREACH", b)
sys.exit(1 if bad else 0)
