#!/usr/bin/env python3
"""Checks that the source tree keeps its layout, and prints its graphs.

  check_layout.py SOURCE_DIR                 folders: no cycle, the core includes no Qt
  check_layout.py SOURCE_DIR --libraries F   libraries: each needs only symbols of what it links
                                             (F: the build's rm7_libraries.txt)
  --graph                                    also print the graph checked

A folder is a top-level folder; its ui/ is a node of its own (the views sit above their folder),
its win/ belongs to it. Tests are left out: a test may include whatever it tests.
"""
import argparse
import os
import re
import subprocess
import sys

CORE = {"platform", "model", "link", "firmware", "config", "txgain", "memories", "clock", "terminal", "sim"}
SKIP_DIRS = {"tests", "build", "docs", "resources", "scripts", "cmake", ".git", ".ci"}
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^>"]+)[>"]', re.M)


def node_of(rel):
    parts = rel.split(os.sep)
    if len(parts) > 2 and parts[1] == "ui":
        return parts[0] + "/ui"
    return parts[0]


def is_test(name):
    return name.endswith("_test.cpp") or name.endswith("_test.h")


def folder_graph(root):
    edges, faults = {}, []
    folders = {d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)) and d not in SKIP_DIRS
               and not d.startswith("build") and not d.startswith(".")}
    for top in sorted(folders):
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".h", ".cpp")) or is_test(name):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                src = node_of(rel)
                text = open(path, encoding="utf-8", errors="replace").read()
                for bracket, target in INCLUDE.findall(text):
                    if bracket == "<":
                        if src in CORE and re.match(r"Q[A-Za-z]*(/|$)", target):
                            faults.append(f"{rel}: the core includes Qt (<{target}>)")
                        continue
                    first = target.split("/")[0]
                    if first not in folders:
                        continue
                    dst = node_of(target.replace("/", os.sep))
                    if dst != src:
                        edges.setdefault(src, {}).setdefault(dst, []).append(rel)
    return edges, faults


def find_cycle(edges):
    state, stack = {}, []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(edges.get(n, {})):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if state.get(m) is None:
                found = visit(m)
                if found:
                    return found
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(edges):
        if state.get(n) is None:
            found = visit(n)
            if found:
                return found
    return None


def check_folders(root, show):
    edges, faults = folder_graph(root)
    cycle = find_cycle(edges)
    if cycle:
        lines = [f"  {a} -> {b} ({edges[a][b][0]})" for a, b in zip(cycle, cycle[1:])]
        faults.append("folders include each other: " + " -> ".join(cycle) + "\n" + "\n".join(lines))
    if show:
        for n in sorted(edges):
            print(f"{n} -> {' '.join(sorted(edges[n]))}")
    return faults


def symbols(archive, defined):
    # Mangled names: they hold no spaces, so each line splits cleanly.
    flag = "--defined-only" if defined else "--undefined-only"
    out = subprocess.run(["nm", flag, "--format=posix", archive], capture_output=True, text=True, check=True).stdout
    found = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) < 2 or line.endswith(":"):
            continue
        name, kind = parts[0], parts[1]
        if defined and kind in ("T", "D", "B", "R", "V", "u", "i"):
            found.add(name)
        elif not defined and kind == "U":
            found.add(name)
    return found


def demangled(name):
    return subprocess.run(["c++filt", name], capture_output=True, text=True).stdout.strip() or name


def check_libraries(listing, show):
    # Each line: target<TAB>archive<TAB>;-separated libraries it links.
    libs = {}
    for line in open(listing, encoding="utf-8"):
        name, archive, links = (line.rstrip("\n").split("\t") + ["", ""])[:3]
        libs[name] = (archive, [l for l in links.split(";") if l])
    ours = {n for n in libs}
    defined = {n: symbols(a, True) for n, (a, _) in libs.items() if os.path.exists(a)}
    owner = {}
    for n, names in defined.items():
        for s in names:
            owner.setdefault(s, set()).add(n)

    def reach(n, seen):
        for m in libs.get(n, ("", []))[1]:
            if m in ours and m not in seen:
                seen.add(m)
                reach(m, seen)
        return seen

    faults = []
    for n, (archive, links) in sorted(libs.items()):
        if not os.path.exists(archive):
            continue
        allowed = reach(n, {n})
        if show:
            print(f"{n} -> {' '.join(sorted(m for m in links if m in ours))}")
        missing = {}
        for s in symbols(archive, False):
            homes = owner.get(s)
            if homes and not (homes & allowed):
                missing.setdefault(", ".join(sorted(homes)), []).append(s)
        for home, names in sorted(missing.items()):
            faults.append(f"{n} needs {len(names)} symbol(s) of {home}, which it does not link: {demangled(sorted(names)[0])}")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--libraries")
    parser.add_argument("--graph", action="store_true")
    args = parser.parse_args()
    faults = check_libraries(args.libraries, args.graph) if args.libraries else check_folders(args.root, args.graph)
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
