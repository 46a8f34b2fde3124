#!/usr/bin/env python3
"""Every name qmf writes reads back through every reader of the project.

Captures whose joint names are random UTF-8 (one- to four-byte characters) at
and near the 127-byte limit of a clip's names, End Sites named after them
(with the `_end` a name is cut to make room for), go BVH -> clip, and the clip
on to BVH, a Maya ASCII rig and glTF; each of those is read back by qmf
(`info --json` of the clip, `info` of the BVH, export of the rig, the glTF
converted back to a clip). Every name read is valid UTF-8 of at most 127
bytes, and BVH -> clip -> BVH keeps every name as the clip holds it.

Usage: name_round_trip.py QMF WORK_DIR
"""
import json
import os
import random
import shutil
import subprocess
import sys

LIMIT = 127
# Letters of one, two, three and four bytes; Maya names keep none but ASCII.
ALPHABETS = ["abcxyz", "éßøЖж", "漢字한글", "😀🎉𝄞"]


def name(rng, size):
    out = ""
    while len((out + "x").encode()) <= size:
        c = rng.choice(rng.choice(ALPHABETS))
        if len((out + c).encode()) > size:
            break
        out += c
    return out or "j"


def capture(names):
    lines = ["HIERARCHY"]
    depth = 0
    for i, n in enumerate(names):
        lines += ["%s %s" % ("ROOT" if i == 0 else "JOINT", n), "{", "OFFSET 0 %d 0" % (0 if i == 0 else 10),
                  "CHANNELS %s" % ("6 Xposition Yposition Zposition Zrotation Xrotation Yrotation" if i == 0
                                   else "3 Zrotation Xrotation Yrotation")]
        depth += 1
    lines += ["End Site", "{", "OFFSET 0 10 0", "}"] + ["}"] * depth
    values = 6 + 3 * (len(names) - 1)
    lines += ["MOTION", "Frames: 2", "Frame Time: 0.0333333"]
    lines += [" ".join(["0"] * values), " ".join(["1"] * values)]
    return "\n".join(lines) + "\n"


def run(qmf, *args):
    r = subprocess.run([qmf, *args], capture_output=True)
    if r.returncode != 0:
        raise AssertionError("qmf %s failed: %s" % (" ".join(args), r.stderr.decode("utf-8", "replace").strip()))
    return r.stdout


def valid(names, what, failures):
    for n in names:
        raw = n if isinstance(n, bytes) else n.encode("utf-8", "surrogatepass")
        try:
            raw.decode("utf-8")
        except UnicodeDecodeError:
            failures.append("%s: %r is not UTF-8" % (what, raw))
            continue
        if not 0 < len(raw) <= LIMIT:
            failures.append("%s: %r is %d bytes" % (what, raw, len(raw)))


def clip_names(qmf, path):
    return [j["name"] for j in json.loads(run(qmf, "info", path, "--json"))["skeletons"][0]["joints"]]


def main():
    qmf, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    rng = random.Random(20261208)
    failures = []
    for trial in range(12):
        names = []
        for _ in range(4):
            n = name(rng, rng.choice([LIMIT, LIMIT - 1, LIMIT - 2, LIMIT - 3, LIMIT - 4, 120]))
            while n in names:
                n = name(rng, LIMIT - 5)
            names.append(n)
        bvh = os.path.join(work, "t%d.bvh" % trial)
        with open(bvh, "w", encoding="utf-8") as f:
            f.write(capture(names))
        clip = os.path.join(work, "t%d.qmf" % trial)
        try:
            run(qmf, "convert", bvh, clip)
            held = clip_names(qmf, clip)
            valid(held, "clip of trial %d" % trial, failures)
            if held[:len(names)] != names:
                failures.append("trial %d: the clip names %r, the capture %r" % (trial, held[:4], names))

            back = os.path.join(work, "t%d.back.bvh" % trial)
            run(qmf, "convert", clip, back)
            text = open(back, "rb").read()
            words = [line.split(None, 1)[1] for line in text.split(b"\n")
                     if line.strip().split(None, 1)[:1] in ([b"ROOT"], [b"JOINT"])]
            valid(words, "BVH of trial %d" % trial, failures)
            if [w.decode("utf-8", "replace").strip() for w in words] != [n for n in held if not n.endswith("_end")][:len(words)]:
                failures.append("trial %d: the BVH written names %r" % (trial, words))
            run(qmf, "info", back)

            rig = os.path.join(work, "t%d.ma" % trial)
            run(qmf, "convert", clip, rig, "--rig-only")
            exported = os.path.join(work, "t%d.rig.qmf" % trial)
            run(qmf, "export", rig, exported)
            valid(clip_names(qmf, exported), "rig of trial %d" % trial, failures)

            glb = os.path.join(work, "t%d.glb" % trial)
            run(qmf, "convert", clip, glb)
            again = os.path.join(work, "t%d.glb.qmf" % trial)
            run(qmf, "convert", glb, again)
            valid(clip_names(qmf, again), "glTF of trial %d" % trial, failures)
        except AssertionError as e:
            failures.append("trial %d: %s" % (trial, e))
    for f in failures:
        print("FAIL:", f)
    print("%d trials of four names near %d bytes: %s" % (12, LIMIT, "failed" if failures else "every name read back"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
