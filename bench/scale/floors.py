#!/usr/bin/env python3
"""Floors for scale_bench.py, written from the formats alone.

  floors.py rig SCENE.ma   a plain linear parse of a Maya ASCII scene: the
                           statements, the nodes by name and full path, the
                           parents, the values and the connections by plug
  floors.py clip CLIP.qmf  decodes a Movantis clip and prints its key count
                           and the XOR of every key value's 32-bit words
"""
import re
import struct
import sys


TOKEN = re.compile(r'"((?:[^"\\]|\\.)*)"|(;)|//[^\n]*|([^\s;"]+)')


def statements(text):
    """Yields each statement's words, quotes removed; linear in the text."""
    words = []
    for m in TOKEN.finditer(text):
        kind = m.lastindex
        if kind == 2:
            if words:
                yield words
            words = []
        elif kind:  # a comment has no group
            words.append(m.group(kind))


def rig(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        text = f.read()
    by_name, by_path, parent, values, connections = {}, {}, {}, {}, {}
    current = None
    for words in statements(text):
        cmd = words[0]
        if cmd == "createNode":
            name = words[words.index("-n") + 1]
            up = words[words.index("-p") + 1] if "-p" in words else None
            p = (by_path[up] if up.startswith("|") else by_name[up]) if up else None
            node = len(parent)
            parent[node] = p
            full = (p[1] if p else "") + "|" + name
            by_name[name] = (node, full)
            by_path[full] = (node, full)
            current = node
        elif cmd == "setAttr":
            rest = [w for w in words[1:] if not w.startswith("-") or w[1:2].isdigit()]
            if rest and rest[0].startswith(".") and current is not None:
                values[(current, rest[0])] = [float(v) for v in rest[1:] if v != "double3"]
        elif cmd == "connectAttr":
            src, dst = words[1], words[2]
            s, sa = src.split(".", 1)
            d, da = dst.split(".", 1)
            connections[(by_name[d][0], da)] = (by_name[s][0], sa)
    print("%d nodes, %d values, %d connections" % (len(parent), len(values), len(connections)))


def clip_keys(path):
    """(key count, xor) of every root channel and joint orientation key."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"MOVANTIS", "not a Movantis file"
    pos = 32
    frames, figures = None, []
    skeleton_joints = []
    while pos < len(data):
        tag = data[pos:pos + 4]
        (length,) = struct.unpack_from("<Q", data, pos + 8)
        body = memoryview(data)[pos + 16:pos + 16 + length]
        pos += 16 + length
        if tag == b"ANIM":
            _, frames, _, _ = struct.unpack_from("<fIII", body)
        elif tag == b"SKEL":
            skeleton_joints.append(body)
        elif tag == b"FIGR":
            figures.append(body)
    keys, fold = 0, 0
    body = figures[0]
    (_, joints) = struct.unpack_from("<IH", body)
    at = 6
    for track in range(3 + joints):
        width = 4 if track < 3 else 16
        encoding = body[at]
        at += 1
        if encoding == 0:
            continue
        if encoding == 1:
            count = frames
        else:
            (count,) = struct.unpack_from("<I", body, at)
            at += 4 + ((frames + 7) // 8 if encoding == 2 else 4 * count)
        for (word,) in struct.iter_unpack("<I", body[at:at + count * width]):
            fold ^= word
        keys += count
        at += count * width
    return keys, fold


def main():
    what, path = sys.argv[1], sys.argv[2]
    if what == "rig":
        rig(path)
    else:
        print("keys %d fold %08x" % clip_keys(path))


if __name__ == "__main__":
    main()
