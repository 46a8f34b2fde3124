#!/usr/bin/env python3
"""Whole-command benchmarks at production scale, each next to a floor.

  clip  the library opening a 60-joint x 100,000-frame clip (every frame
        keyed, 120 fps) and reading every key, against a plain read() of the
        same bytes; the keys are checked against an independent decoder.
  read  reading Maya ASCII rigs of 10,000 / 30,000 / 100,000 joints and a
        ~100 MB scene into the host, against a plain linear parse in Python.
  export  `qmf export` of a 30,000-joint rig against reading that rig, and of
        a 100,000-joint rig (over the library's joint limit).
  keys  reading scenes of 60 animated joints x 10,000 / 100,000 frames (183
        curves keyed on every frame, written by `qmf import`) into the host,
        and `qmf export` of them, against reading every number of the file
        into a double (ma_numbers_floor).

Runs alternate between the command and its floor; times are CPU seconds
(user + sys) of the child process, min and median of --runs runs; memory is
the child's peak resident set. Usage:

  bench/scale/scale_bench.py [--build build-rel] [--runs 5] [clip|read|export|keys ...]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import genrig  # noqa: E402


def run(cmd):
    """CPU seconds, peak RSS in bytes and stdout of one fresh process."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        out.seek(0)
        err.seek(0)
        text, why = out.read().decode(), err.read().decode()
    code = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024, text, why, code


def python_floor(function, *args):
    """The same measures for a floor run in this process's child."""
    cmd = [sys.executable, os.path.join(HERE, "floors.py"), function] + [str(a) for a in args]
    return run(cmd)


def compare(label, runs, ours, floor):
    """Alternates the two commands; prints min and median of each and the ratio of minima."""
    a, b = [], []
    a_mem = b_mem = 0
    a_out = b_out = ""
    for _ in range(runs):
        t, m, out, why, code = ours()
        if code != 0 and not label.endswith("(fails)"):
            sys.exit("%s: command failed: %s" % (label, why.strip()))
        a.append(t)
        a_mem, a_out = max(a_mem, m), out + why
        t, m, out, why, code = floor()
        if code != 0:
            sys.exit("%s: floor failed: %s" % (label, why.strip()))
        b.append(t)
        b_mem, b_out = max(b_mem, m), out
    print("%-44s %7.3f %7.3f | %7.3f %7.3f | %5.2fx | %6.0f MB %6.0f MB" % (
        label, min(a), statistics.median(a), min(b), statistics.median(b),
        min(a) / max(min(b), 1e-6), a_mem / 2**20, b_mem / 2**20))
    return min(a), min(b), a_out, b_out


def header():
    print("%-44s %15s | %15s | %6s | %s" % ("what (CPU s: min median)", "command", "floor", "ratio",
                                            "peak RSS command, floor"))


def bench_clip(args, work):
    tool = os.path.join(args.build, "bin", "kell_readall")
    clip = os.path.join(work, "clip.qmf")
    if subprocess.call([tool, "write", clip]) != 0:
        sys.exit("cannot write the clip")
    size = os.path.getsize(clip)
    print("clip: %s, %.1f MB" % (clip, size / 1e6))
    # Decoded in a child, so this process stays small: a child's peak
    # resident set starts from its parent's.
    expected = python_floor("clip", clip)[2]
    _, _, out, _, _ = run([tool, "read", clip])
    if out != expected:
        sys.exit("the library's keys differ from the independent decoder's: %s vs %s" % (out.strip(), expected.strip()))
    print("keys checked equal: " + out.strip())
    header()
    compare("open + every key vs read() into file-size buf", args.runs,
            lambda: run([tool, "read", clip]), lambda: run([tool, "whole", clip]))
    compare("open + every key vs read() through 1 MiB", args.runs,
            lambda: run([tool, "read", clip]), lambda: run([tool, "plain", clip]))
    _, mem, _, _, _ = run([tool, "read", clip])
    print("memory of the read: %.2fx the file" % (mem / size))


def bench_read(args, work):
    tool = os.path.join(args.build, "bin", "ma_load")
    header()
    results = {}
    for joints in args.joints:
        rig = os.path.join(work, "rig%d.ma" % joints)
        genrig.write(rig, joints)
        size = os.path.getsize(rig)
        ours, floor, out, _ = compare("read %d joints (%.1f MB)" % (joints, size / 1e6), args.runs,
                                      lambda: run([tool, rig]), lambda: python_floor("rig", rig))
        results[joints] = ours
        print("   phases: " + out.splitlines()[-1])
    if len(args.joints) > 1:
        lo, hi = min(args.joints), max(args.joints)
        print("%d joints / %d joints: %.1fx the time for %.0fx the joints" % (
            hi, lo, results[hi] / results[lo], hi / lo))
    big = os.path.join(work, "big.ma")
    genrig.write(big, args.big_joints)
    size = os.path.getsize(big)
    ours, floor, out, _ = compare("read %.0f MB scene (%d joints)" % (size / 1e6, args.big_joints), max(1, args.runs // 2),
                                  lambda: run([tool, big]), lambda: python_floor("rig", big))
    print("   phases: " + out.splitlines()[-1])
    print("   %.0f MB/s" % (size / 1e6 / ours))


def bench_export(args, work):
    qmf = os.path.join(args.build, "bin", "qmf")
    load = os.path.join(args.build, "bin", "ma_load")
    header()
    rig = os.path.join(work, "rig30000.ma")
    genrig.write(rig, 30000)
    out = os.path.join(work, "rig30000.qmf")
    compare("export 30000 joints vs reading the rig", args.runs,
            lambda: run([qmf, "export", rig, out]), lambda: run([load, rig]))
    rig = os.path.join(work, "rig100000.ma")
    genrig.write(rig, 100000)
    out = os.path.join(work, "rig100000.qmf")
    _, _, text, _ = compare("export 100000 joints (fails)", args.runs,
                            lambda: run([qmf, "export", rig, out]), lambda: run([load, rig]))
    print("   " + text.strip().splitlines()[-1])


def bench_keys(args, work):
    bin_dir = os.path.join(args.build, "bin")
    load, qmf = os.path.join(bin_dir, "ma_load"), os.path.join(bin_dir, "qmf")
    floor = os.path.join(bin_dir, "ma_numbers_floor")
    header()
    for frames in args.frames:
        folder = os.path.join(work, "keys%d" % frames)
        os.makedirs(folder, exist_ok=True)
        scene = os.path.join(folder, "anim.ma")
        if (subprocess.call([os.path.join(bin_dir, "gen_clip"), folder, "60", str(frames), "120"]) != 0 or
                run([qmf, "import", os.path.join(folder, "clip.qmf"), os.path.join(folder, "rig.ma"),
                     "-o", scene])[4] != 0):
            sys.exit("cannot make the %d-frame scene" % frames)
        os.remove(os.path.join(folder, "clip.qmf"))
        size = os.path.getsize(scene)
        runs = args.runs if frames <= 10000 else max(3, args.runs // 2)
        out = os.path.join(folder, "out.qmf")
        for label, ours in (("read", lambda: run([load, scene])),
                            ("qmf export", lambda: run([qmf, "export", scene, out]))):
            _, _, text, _ = compare("%s %d frames (%.0f MB) vs every number" % (label, frames, size / 1e6), runs,
                                    ours, lambda: run([floor, scene]))
            _, mem, _, _, _ = ours()
            print("   peak memory %.2fx the file%s" % (mem / size, "; phases: " + text.splitlines()[-1]
                                                      if label == "read" else ""))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-rel", help="build folder (a Release build)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--joints", type=int, nargs="*", default=[10000, 30000, 100000])
    parser.add_argument("--big-joints", type=int, default=440000, help="joints of the ~100 MB scene")
    parser.add_argument("--frames", type=int, nargs="*", default=[10000, 100000], help="frames of the keyed scenes")
    parser.add_argument("what", nargs="*", default=["clip", "read", "export", "keys"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="qmf-scale-") as work:
        for what in args.what:
            print("== " + what)
            {"clip": bench_clip, "read": bench_read, "export": bench_export, "keys": bench_keys}[what](args, work)


if __name__ == "__main__":
    main()
