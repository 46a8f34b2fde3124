#!/usr/bin/env python3
"""Reading a long clip into NumPy arrays through the qmf module, against the library's own read.

Generates a clip keyed on every frame (60 joints x 100,000 frames at 120 fps by
default, 97 MB) with `kell_readall write`, then runs alternately, each as a fresh
process:
  floor   `kell_readall read CLIP`: open it and read every key with the library's calls
  module  python3: qmf.open(CLIP), the three root channels and the orientation
          array (timed inside the process, after the imports)
and prints the CPU time (user + sys) of each, min and median over --runs, and the
ratio module / floor. The keys the module returns are checked against the floor's
XOR of every 32-bit word.

    bench/python/arrays_bench.py --build build [--runs 5] [--joints 60 --frames 100000]
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile

MODULE_RUN = r"""
import resource, sys, time
import numpy as np
import qmf
def cpu():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime
t0 = cpu()
clip = qmf.open(sys.argv[1])
fig = clip.figures[0]
channels = [fig.channel(a) for a in range(3)]
keys, keyed = fig.orientations()
t1 = cpu()
fold = 0
for values, mask in channels:
    fold ^= int(np.bitwise_xor.reduce(values[mask].view(np.uint32)))
words = keys[keyed].view(np.uint32)
fold ^= int(np.bitwise_xor.reduce(words, axis=None)) if words.size else 0
count = sum(int(m.sum()) for _, m in channels) + int(keyed.sum())
print(f"{t1 - t0:.6f} keys {count} fold {fold:08x}")
"""


def child_cpu(cmd, env=None):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(cmd, check=True, capture_output=True, text=True, env=env).stdout
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build", help="build folder with bin/kell_readall and python/qmf*.so")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--joints", type=int, default=60)
    ap.add_argument("--frames", type=int, default=100000)
    ap.add_argument("--python", default="/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable)
    a = ap.parse_args()
    readall = os.path.join(a.build, "bin", "kell_readall")
    env = dict(os.environ, PYTHONPATH=os.path.join(os.path.abspath(a.build), "python"))
    with tempfile.TemporaryDirectory() as tmp:
        clip = os.path.join(tmp, "clip.qmf")
        subprocess.run([readall, "write", clip, str(a.joints), str(a.frames)], check=True)
        print(f"clip: {a.joints} joints x {a.frames} frames, {os.path.getsize(clip) / 1e6:.1f} MB")
        floor, module = [], []
        for _ in range(a.runs):
            t, out = child_cpu([readall, "read", clip])
            floor.append(t)
            want = out.split()
            _, out = child_cpu([a.python, "-c", MODULE_RUN, clip], env)
            got = out.split()
            module.append(float(got[0]))
            if got[1:] != want:
                sys.exit(f"arrays_bench: the module's keys differ from the library's: {got[1:]} vs {want}")
        for name, times in (("floor (kell_readall read, whole process)", floor),
                            ("module (open + arrays, in process)", module)):
            print(f"{name:45s} min {min(times):.3f} s  median {statistics.median(times):.3f} s")
        print(f"ratio module / floor: min {min(module) / min(floor):.2f}  "
              f"median {statistics.median(module) / statistics.median(floor):.2f}")


if __name__ == "__main__":
    main()
