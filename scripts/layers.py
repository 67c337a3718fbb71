#!/usr/bin/env python3
"""Checks the include graph against the layer order.

Layers, lowest first: text < time < io < cmdline < sqlite_store < timeline < tool; a file may
include only files of its own layer or of a layer below it. Tests live in tests/<area> and
belong to the layer of that area (tests/e2e, bench and fuzz sit above the tool). Lists every include
that points up and every include cycle between layers: these fail (exit status 1). Include
cycles between modules of one layer (a module is a .h/.cpp pair) are listed too, for a look:
they break no layer. Run from anywhere: python3 scripts/layers.py
"""

import os
import re
import sys

LAYERS = ["text", "time", "io", "cmdline", "sqlite_store", "timeline", "tool", "e2e"]
SOURCE_ROOTS = {
    "framework/text": "text",
    "framework/time": "time",
    "framework/io": "io",
    "framework/cmdline": "cmdline",
    "sqlite_store": "sqlite_store",
    "timeline": "timeline",
    "tool": "tool",
    "bench": "e2e",
    "fuzz": "e2e",
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    """Layer name of a repository-relative path, or None when it belongs to no layer."""
    if path.startswith("tests/"):
        area = path.split("/")[1]
        return area if area in LAYERS else None
    for root, layer in SOURCE_ROOTS.items():
        if path.startswith(root + "/"):
            return layer
    return None


def collect(repo):
    """Map of every source file to the repository files it includes."""
    edges = {}
    for top in ["framework", "sqlite_store", "timeline", "tool", "tests", "bench", "fuzz"]:
        for folder, _, names in os.walk(os.path.join(repo, top)):
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), repo)
                with open(os.path.join(repo, path), encoding="utf-8", errors="replace") as f:
                    targets = INCLUDE.findall(f.read())
                edges[path] = [t for t in targets if os.path.exists(os.path.join(repo, t))]
    return edges


def cycles(graph):
    """Strongly connected components of more than one node (Tarjan), each sorted."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    edges = collect(repo)
    upward = []
    layer_graph, module_graph = {}, {}
    for source, targets in sorted(edges.items()):
        from_layer = layer_of(source)
        from_module = os.path.splitext(source)[0]
        for target in targets:
            to_layer = layer_of(target)
            if from_layer and to_layer:
                if LAYERS.index(to_layer) > LAYERS.index(from_layer):
                    upward.append(f"{source} ({from_layer}) -> {target} ({to_layer})")
                if from_layer != to_layer:
                    layer_graph.setdefault(from_layer, set()).add(to_layer)
            to_module = os.path.splitext(target)[0]
            if to_module != from_module:
                module_graph.setdefault(from_module, set()).add(to_module)
    layer_cycles = cycles(layer_graph)
    module_cycles = cycles(module_graph)
    for line in upward:
        print("upward include:", line)
    for component in layer_cycles:
        print("layer cycle:", " <-> ".join(component))
    for component in module_cycles:
        print("module cycle within a layer:", " <-> ".join(component))
    print(f"{len(upward)} upward includes, {len(layer_cycles)} layer cycles "
          f"({len(module_cycles)} module cycles within a layer)")
    return 1 if upward or layer_cycles else 0


if __name__ == "__main__":
    sys.exit(main())
