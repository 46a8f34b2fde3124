#!/usr/bin/python3
"""Draws the rooms and their allowed arrows as docs/images/architecture.svg.

The table is the one scripts/check-includes.py enforces, read from
docs/architecture.md, so the picture shows exactly what the check allows.

Usage:
  scripts/draw-architecture.py [--root DIR] [--out FILE]
  scripts/draw-architecture.py --check    fail (1) when the picture is not the table's
"""

import argparse
import runpy
import types
import os
import sys
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURE = os.path.join("docs", "images", "architecture.svg")

BOX_W, BOX_H = 128, 50
DUMMY_W = 9          # room an arrow takes when it passes through a layer
GAP = 22             # between neighbours in a layer
LAYER_GAP = 96       # between layers
MARGIN = 24
TITLE_H = 30

# One hue per room that starts arrows, so a bundle can be followed by colour.
PALETTE = ["#1b6ca8", "#c0392b", "#2e8b57", "#8e44ad", "#d35400", "#16a085", "#7f8c8d",
           "#b7950b", "#2c3e50", "#e84393", "#6d4c41", "#0097a7"]


def load_checker():
    # The checker's file name has a dash, so it is loaded by path: one table reader for both scripts.
    return types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "check-includes.py"), run_name="check_includes"))


def layers_of(table):
    """Each room's layer: one above the highest room it includes; rooms no one
    includes (the programs, tests, benchmarks) all on the top layer."""
    deps = {name: sorted(table.allowed[name]) for name in table.names()}
    layer = {}

    # The checker refuses a table whose arrows go round, so this ends.
    def depth(name):
        if name not in layer:
            below = [depth(d) for d in deps[name]]
            layer[name] = 1 + max(below) if below else 0
        return layer[name]

    for name in table.names():
        depth(name)
    used = {d for ds in deps.values() for d in ds}
    top = max(layer.values()) if layer else 0
    for name in table.names():
        if name not in used:
            layer[name] = top
    return layer, deps


class Item:
    def __init__(self, key, layer, room=None):
        self.key, self.layer, self.room = key, layer, room
        self.width = BOX_W if room else DUMMY_W
        self.x = 0.0


def layout(table):
    layer, deps = layers_of(table)
    top = max(layer.values())
    items = {}
    rows = [[] for _ in range(top + 1)]
    for name in table.names():
        items[name] = Item(name, layer[name], name)
        rows[layer[name]].append(items[name])
    # An arrow spanning layers passes through each one in between at a point
    # of its own, so it never crosses a box.
    chains = []
    links = []  # (upper key, lower key)
    for source in table.names():
        for target in deps[source]:
            chain = [source]
            for l in range(layer[source] - 1, layer[target], -1):
                key = f"{source}>{target}@{l}"
                items[key] = Item(key, l)
                rows[l].append(items[key])
                chain.append(key)
            chain.append(target)
            chains.append((source, target, chain))
            links.extend(zip(chain, chain[1:]))
    up = {k: [] for k in items}
    down = {k: [] for k in items}
    for a, b in links:
        down[a].append(b)
        up[b].append(a)

    def spacing(a, b):
        return (a.width + b.width) / 2 + (GAP if a.room or b.room else 3)

    def pack(row, wanted):
        # As near the wanted places as the order and the spacing allow: the
        # mean of a packing pushed right and one pushed left keeps both.
        right = list(wanted)
        for i in range(1, len(row)):
            right[i] = max(right[i], right[i - 1] + spacing(row[i - 1], row[i]))
        left = list(wanted)
        for i in range(len(row) - 2, -1, -1):
            left[i] = min(left[i], left[i + 1] - spacing(row[i], row[i + 1]))
        for item, a, b in zip(row, right, left):
            item.x = (a + b) / 2

    def neighbours_x(item, sides):
        xs = [items[k].x for side in sides for k in side[item.key]]
        return sum(xs) / len(xs) if xs else item.x

    for row in rows:
        pack(row, [i * (BOX_W + GAP) for i in range(len(row))])
    # Barycentre sweeps: each layer ordered by where its neighbours are,
    # then placed under or over them.
    for sweep in range(12):
        sides = (up,) if sweep % 2 == 0 else (down,)
        order = range(top - 1, -1, -1) if sweep % 2 == 0 else range(1, top + 1)
        for l in order:
            for item in rows[l]:
                item.bary = neighbours_x(item, sides)
            rows[l].sort(key=lambda i: (i.bary, i.key))
            pack(rows[l], [i.bary for i in rows[l]])
    for sweep in range(12):
        for l in range(top + 1):
            pack(rows[l], [neighbours_x(i, (up, down)) for i in rows[l]])
    left = min(i.x - i.width / 2 for row in rows for i in row)
    right = max(i.x + i.width / 2 for row in rows for i in row)
    for row in rows:
        for item in row:
            item.x += MARGIN - left
    width = right - left
    return items, rows, chains, width, top


def y_of(layer, top):
    return MARGIN + TITLE_H + (top - layer) * (BOX_H + LAYER_GAP)


def wrap(text, width):
    """Folder names on at most two lines of the box."""
    lines = [""]
    for word in text.split(" "):
        if lines[-1] and len(lines[-1]) + 1 + len(word) > width:
            lines.append(word)
        else:
            lines[-1] = (lines[-1] + " " + word).strip()
    if len(lines) > 2:
        lines = [lines[0], " ".join(lines[1:])]
    return [line if len(line) <= width else line[:width - 1] + "…" for line in lines]


def draw(table):
    items, rows, chains, width, top = layout(table)
    height = y_of(0, top) + BOX_H + MARGIN
    total_w = width + 2 * MARGIN
    starts = [name for name in table.names() if table.allowed[name]]
    colour = {name: PALETTE[i % len(PALETTE)] for i, name in enumerate(starts)}

    # Ports: arrows leave a box's bottom and enter a box's top spread out,
    # ordered by where they go or come from, so bundles do not cross at the box.
    out_ports, in_ports = {}, {}
    for source, target, chain in chains:
        out_ports.setdefault(source, []).append((items[chain[1]].x, target))
        in_ports.setdefault(target, []).append((items[chain[-2]].x, source))

    def port(ports, name, other):
        lst = sorted(ports[name])
        i = [o for _, o in lst].index(other)
        box = items[name]
        span = BOX_W - 16
        return box.x - span / 2 + span * (i + 1) / (len(lst) + 1)

    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="{total_w:.0f}" height="{height:.0f}" '
        f'viewBox="0 0 {total_w:.0f} {height:.0f}">',
        "<style>.bg{fill:#fff}.box{fill:#f4f6f8;stroke:#37474f;stroke-width:1.2}"
        ".room{font-family:sans-serif;font-size:13px;font-weight:bold;fill:#212121;text-anchor:middle}"
        ".dirs{font-family:monospace;font-size:9px;fill:#546e7a;text-anchor:middle}"
        ".title{font-family:sans-serif;font-size:14px;fill:#212121}"
        ".arrow{fill:none;stroke-width:1.3;stroke-opacity:0.8}</style>",
        f'<rect class="bg" width="{total_w:.0f}" height="{height:.0f}"/>',
        f'<text class="title" x="{MARGIN}" y="{MARGIN + 12}">Rooms and the rooms each may include '
        "(arrows point at what is included)</text>",
        "<defs>",
    ]
    for name in starts:
        out.append(f'<marker id="head-{escape(name)}" viewBox="0 0 8 8" refX="7" refY="4" markerWidth="7" '
                   f'markerHeight="7" orient="auto"><path d="M0,0 L8,4 L0,8 z" fill="{colour[name]}"/></marker>')
    out.append("</defs>")

    for source, target, chain in chains:
        sy = y_of(items[source].layer, top) + BOX_H
        points = [(port(out_ports, source, target), sy)]
        for key in chain[1:-1]:
            ly = y_of(items[key].layer, top)
            points += [(items[key].x, ly), (items[key].x, ly + BOX_H)]
        points.append((port(in_ports, target, source), y_of(items[target].layer, top) - 2))
        d = f"M{points[0][0]:.1f},{points[0][1]:.1f}"
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            if x0 == x1:
                d += f" L{x1:.1f},{y1:.1f}"
            else:
                mid = (y0 + y1) / 2
                d += f" C{x0:.1f},{mid:.1f} {x1:.1f},{mid:.1f} {x1:.1f},{y1:.1f}"
        out.append(f'<path class="arrow" stroke="{colour[source]}" marker-end="url(#head-{escape(source)})" '
                   f'd="{d}"><title>{escape(source)} includes {escape(target)}</title></path>')

    folders = {name: ", ".join(fs) for name, fs, _ in table.rooms}
    for name in table.names():
        box = items[name]
        x, y = box.x - BOX_W / 2, y_of(box.layer, top)
        lines = wrap(folders[name], 23)
        label = "".join(f'<text class="dirs" x="{box.x:.1f}" y="{y + 35 + 11 * (i - (len(lines) - 1) / 2):.1f}">'
                        f"{escape(line)}</text>" for i, line in enumerate(lines))
        out.append(f'<g><title>{escape(name)}: {escape(folders[name])}</title>'
                   f'<rect class="box" x="{x:.1f}" y="{y:.1f}" width="{BOX_W}" height="{BOX_H}" rx="5"/>'
                   f'<text class="room" x="{box.x:.1f}" y="{y + 18:.1f}">{escape(name)}</text>{label}</g>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description="Draws the rooms table as an SVG picture.")
    parser.add_argument("--root", default=os.path.dirname(HERE), help="repository (default: this script's)")
    parser.add_argument("--out", help=f"picture to write (default: ROOT/{PICTURE})")
    parser.add_argument("--check", action="store_true", help="fail when the picture on disk is out of date")
    args = parser.parse_args(argv)
    checker = load_checker()
    try:
        table = checker.load_table(args.root)
        svg = draw(table)
    except checker.TableError as e:
        print(f"draw-architecture: {e}", file=sys.stderr)
        return 2
    path = args.out or os.path.join(args.root, PICTURE)
    if args.check:
        try:
            with open(path, encoding="utf-8") as f:
                same = f.read() == svg
        except OSError:
            same = False
        if not same:
            print(f"draw-architecture: {path} is not the table's picture; run scripts/draw-architecture.py",
                  file=sys.stderr)
            return 1
        return 0
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(svg)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
