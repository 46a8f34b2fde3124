#!/usr/bin/env python3
"""The last key of a take is read: for each text FBX file, the frames qmf reads
cover the span of the file's own curves (its KeyTime lists, in FBX's
46,186,158,000 ticks a second), to the last key. The library is known to lose
a key that sits exactly on a take's end in some files; this holds qmf to the
file, not to the library. Files without text FBX are skipped with a message.

Usage: fbx_take_ends.py QMF FILE.fbx...
"""
import os
import re
import subprocess
import sys

TICKS = 46186158000
KEYTIME = re.compile(r"KeyTime:\s*\*(\d+)\s*\{\s*a:\s*([^}]*)\}", re.S)
TAKE = re.compile(r"^\s+(\d+)\s+(.*): (\d+) frames? at ([0-9.]+) fps", re.M)


def main():
    qmf, files = sys.argv[1], [f for f in sys.argv[2:] if os.path.exists(f)]
    checked = 0
    failures = []
    for path in files:
        with open(path, "rb") as f:
            head = f.read(32)
        if head.startswith(b"Kaydara FBX Binary"):
            continue
        text = open(path, encoding="utf-8", errors="replace").read()
        times = []
        for count, values in KEYTIME.findall(text):
            keys = [int(v) for v in values.replace("\n", "").split(",") if v.strip()]
            if len(keys) != int(count):
                failures.append("%s: a KeyTime list says %s keys and holds %d" % (path, count, len(keys)))
            times += keys
        if not times:
            continue
        r = subprocess.run([qmf, "info", path], capture_output=True, text=True)
        takes = TAKE.findall(r.stdout)
        if r.returncode != 0 or len(takes) != 1:
            failures.append("%s: qmf info: %s%s" % (path, r.stdout, r.stderr))
            continue
        frames, rate = int(takes[0][2]), float(takes[0][3])
        span = (max(times) - min(times)) / TICKS
        want = round(span * rate) + 1
        if frames != want:
            failures.append("%s: the curves span %.4f s, %d frames at %g fps; qmf reads %d" % (path, span, want, rate, frames))
        checked += 1
    print("%d text FBX file(s) checked" % checked)
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
