#!/usr/bin/env python3
"""Runs qmf (in CI: its AddressSanitizer + UBSan build) on generated hostile
inputs of every kind it reads -- Maya ASCII scenes, JSON for pack, Movantis
clips, BVH captures -- each deep, wide, repetitive and truncated. Every run must end within
the time bound and the memory bound, with success or one "qmf: " line, and
never with a crash or a sanitizer report.

usage: hostile_inputs.py QMF [--seconds S] [--rss-mb M] [--only SUBSTRING]
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SANITIZER_EXIT = 86  # distinct from qmf's own refusals (1)


def run(qmf, args, seconds, rss_mb, work):
    env = dict(os.environ)
    # A sanitizer-compatible memory bound: ASan enforces the RSS limit itself
    # (address-space limits do not work with its shadow memory).
    env["ASAN_OPTIONS"] = "exitcode=%d:hard_rss_limit_mb=%d:allocator_may_return_null=1:detect_leaks=0" % (
        SANITIZER_EXIT, rss_mb)
    env["UBSAN_OPTIONS"] = "halt_on_error=1:exitcode=%d:print_stacktrace=1" % SANITIZER_EXIT
    out_path, err_path = os.path.join(work, ".out"), os.path.join(work, ".err")
    rss_path = os.path.join(work, ".rss")
    # /usr/bin/time measures the peak of qmf alone (a child forked from this
    # script would count the script's own memory as well).
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.monotonic()
        proc = subprocess.Popen(["/usr/bin/time", "-q", "-f", "%M", "-o", rss_path, qmf] + args, stdout=out, stderr=err,
                                stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        try:
            proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return "took more than %d s" % seconds, None
    elapsed = time.monotonic() - start
    with open(err_path, "rb") as f:
        err = f.read()
    with open(rss_path) as f:
        rss_lines = f.read().split()
    if not rss_lines or not rss_lines[-1].isdigit():
        return "killed by a signal (%s)" % " ".join(rss_lines), err
    peak_mb = int(rss_lines[-1]) / 1024
    code = proc.returncode
    if peak_mb > rss_mb:
        return "peak memory %d MB is above %d MB" % (peak_mb, rss_mb), err
    if code not in (0, 1):
        return "exit status %d" % code, err
    if b"Sanitizer" in err or b"runtime error" in err:
        return "sanitizer report", err
    lines = err.decode("utf-8", "replace").splitlines()
    if code == 1 and (not lines or not lines[-1].startswith("qmf: ")):
        return "refused without a qmf: line", err
    if code == 1 and args[0] in ("pack", "info") and len(lines) != 1:
        return "refusal is %d lines" % len(lines), err
    return None, "%s in %.1f s, %d MB%s" % (("ok" if code == 0 else "refused"), elapsed, peak_mb,
                                          (": " + lines[-1][:110]) if code else "")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    return path


# ---- Maya ASCII --------------------------------------------------------------

MA_HEAD = '//Maya ASCII 2020 scene\nrequires maya "2020";\ncurrentUnit -l centimeter -a degree -t film;\n'


def ma_inputs(work):
    deep = [MA_HEAD, 'createNode joint -n "j0";\n']
    for i in range(1, 3000):
        deep.append('createNode joint -n "j%d" -p "j%d";\n\tsetAttr ".t" -type "double3" 1 0 0 ;\n' % (i, i - 1))
    wide = [MA_HEAD, 'createNode joint -n "root";\n']
    for i in range(20000):
        wide.append('createNode joint -n "w%d" -p "root";\n' % i)
    rep = [MA_HEAD, 'createNode joint -n "a";\ncreateNode joint -n "b" -p "a";\n']
    rep += ['setAttr "b.t" -type "double3" 1 2 3 ;\nconnectAttr -f "a.s" "b.is";\n'] * 20000
    long_name = MA_HEAD + 'createNode joint -n "%s";\n' % ("n" * 200000)
    nested = MA_HEAD + 'createNode joint -n "a";\n\tsetAttr ".t" -type "double3" ' + "(" * 100000 + ";\n"
    rig = open(os.path.join(os.path.dirname(__file__), "..", "..", "examples", "rig.ma"), "rb").read()
    return [
        ("ma deep hierarchy", write(os.path.join(work, "deep.ma"), "".join(deep))),
        ("ma wide hierarchy", write(os.path.join(work, "wide.ma"), "".join(wide))),
        ("ma repeated statements", write(os.path.join(work, "rep.ma"), "".join(rep))),
        ("ma long name", write(os.path.join(work, "long.ma"), long_name)),
        ("ma nested brackets", write(os.path.join(work, "nested.ma"), nested)),
        ("ma truncated", write(os.path.join(work, "trunc.ma"), rig[: len(rig) * 2 // 3])),
        ("ma unterminated string", write(os.path.join(work, "quote.ma"), MA_HEAD + 'createNode joint -n "a' + "x" * 100000)),
    ]


# ---- JSON for pack -----------------------------------------------------------

def joint(name, parent):
    return {"name": name, "parent": parent, "root": parent < 0, "offset": [1, 0, 0], "orientation": [1, 0, 0, 0],
            "body": None}


def clip(joints, frames=4, figures=None):
    return {"frameRate": 30, "frameCount": frames,
            "skeletons": [{"name": "s", "completed": False, "joints": joints}],
            "figures": figures or [{"skeleton": 0, "channels": {}, "orientations": []}]}


def json_inputs(work):
    chain = clip([joint("j%d" % i, i - 1) for i in range(32767)])
    figures = [{"skeleton": 0, "channels": {"1": [[f, 0.5]]}, "orientations": [{"joint": 0, "keys": [[f, 1, 0, 0, 0]]}]}
               for f in range(4096)]
    wide = clip([joint("r", -1)], frames=4096, figures=figures)
    keys = clip([joint("j%d" % i, -1) for i in range(10)], frames=20000, figures=[
        {"skeleton": 0, "channels": {c: [[f, f * 0.01] for f in range(20000)] for c in "123"},
         "orientations": [{"joint": j, "keys": [[f, 1, 0, 0, 0] for f in range(20000)]} for j in range(10)]}])
    walk = open(os.path.join(os.path.dirname(__file__), "..", "..", "examples", "walk.json"), "rb").read()
    items = [
        ("json deep arrays", b"[" * 10_000_000),
        ("json deep objects", b'{"a":' * 2_000_000),
        ("json deep inside a clip", b'{"frameRate": 30, "skeletons": [{"joints": ' + b"[" * 1_000_000),
        ("json wide unknown array", b'{"x": [' + b"[]," * 3_000_000 + b"[]]}"),
        ("json repeated unknown key", b"{" + b'"x": {"y": [1, 2]}, ' * 500_000 + b'"frameRate": 30}'),
        ("json 32767-joint chain", json.dumps(chain).encode()),
        ("json 4096 figures", json.dumps(wide).encode()),
        ("json 1.2 M keys", json.dumps(keys).encode()),
        ("json sparse keys over 2^24 frames", json.dumps(clip([joint("j%d" % i, -1) for i in range(2000)], 16777216, [
            {"skeleton": 0, "channels": {}, "orientations": [{"joint": j, "keys": [[16777215, 1, 0, 0, 0]]}
                                                              for j in range(2000)]}])).encode()),
        ("json huge string", b'{"frameRate": 30, "skeletons": [{"name": "' + b"s" * 50_000_000 + b'"}]}'),
        ("json huge number", b'{"frameRate": 30, "frameCount": 1' + b"0" * 1_000_000 + b"}"),
        ("json truncated", walk[: len(walk) // 2]),
    ]
    return [(label, write(os.path.join(work, "in%d.json" % i), data)) for i, (label, data) in enumerate(items)]


# ---- BVH ------------------------------------------------------------------------

ROT = "CHANNELS 3 Zrotation Xrotation Yrotation\n"


def bvh(body, frames, lines):
    return "HIERARCHY\n" + body + "MOTION\nFrames: %d\nFrame Time: 0.0083333\n" % frames + lines


def bvh_inputs(work, corpus):
    depth = 20000
    deep = "ROOT j0\n{\nOFFSET 0 0 0\n" + ROT + "".join("JOINT j%d\n{\nOFFSET 0 1 0\n%s" % (i, ROT) for i in range(1, depth))
    deep += "}\n" * depth
    wide = "".join("ROOT r%d\n{\nOFFSET %d 0 0\n}\n" % (i, i) for i in range(32767))
    items = [
        ("bvh deep 20000", bvh(deep, 2, ("0 " * 3 * depth + "\n") * 2)),
        ("bvh wide 32767 roots", bvh(wide, 0, "")),
        ("bvh 32768 roots", bvh(wide + "ROOT more\n{\n}\n", 0, "")),
        ("bvh claims 2^24 frames", bvh("ROOT a\n{\n" + ROT + "}\n", 1 << 24, "1 2 3\n")),
        ("bvh one line of 4M values", bvh("ROOT a\n{\n" + ROT + "}\n", 1, "1 " * (4 << 20) + "\n")),
        ("bvh unbalanced 100k braces", "HIERARCHY\nROOT a\n" + "{\n" * 100000),
        ("bvh name with control byte", bvh("ROOT a\x1b[2J\n{\n}\n", 0, "")),
    ]
    capture = os.path.join(corpus, "bvh", "01_01.bvh")
    if os.path.exists(capture):
        data = open(capture, "rb").read()
        items.append(("bvh CMU cut mid-line", data[: len(data) // 2]))
        head, _, motion = data.partition(b"MOTION")
        rows = [r for r in motion.split(b"\n")[3:] if r.strip()]
        many = head + b"MOTION\nFrames: 20000\nFrame Time: .0083333\n" + b"\n".join(rows[i % len(rows)] for i in range(20000)) + b"\n"
        items.append(("bvh CMU 20000 frames", many))
    return [(label, write(os.path.join(work, "in%d.bvh" % i), data)) for i, (label, data) in enumerate(items)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("qmf")
    ap.add_argument("--seconds", type=int, default=120)
    ap.add_argument("--rss-mb", type=int, default=1536)
    ap.add_argument("--only", default="")
    ap.add_argument("--corpus", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                                     "shared", "corpus"))
    opts = ap.parse_args()
    work = tempfile.mkdtemp(prefix="qmf_hostile_")
    failures = 0

    def check(label, args):
        nonlocal failures
        if opts.only not in label:
            return
        problem, detail = run(opts.qmf, args, opts.seconds, opts.rss_mb, work)
        if problem:
            failures += 1
            text = detail.decode("utf-8", "replace")[-2000:] if isinstance(detail, bytes) else ""
            print("FAIL %-36s %s\n%s" % (label, problem, text))
        else:
            print("ok   %-36s %s" % (label, detail))
        sys.stdout.flush()

    try:
        out = os.path.join(work, "out")
        for label, path in ma_inputs(work):
            check(label + " (export)", ["export", path, out + ".qmf"])
        packed = []
        for label, path in json_inputs(work):
            target = path[:-5] + ".qmf"
            check(label + " (pack)", ["pack", path, target])
            if os.path.exists(target):
                packed.append((label.replace("json", "clip"), target))
        for label, path in packed:
            data = open(path, "rb").read()
            cut = write(path[:-4] + "-cut.qmf", data[: len(data) // 2])
            for name, p in ((label, path), (label + " truncated", cut)):
                check(name + " (info)", ["info", p])
                check(name + " (info --json)", ["info", p, "--json"])
        for label, path in bvh_inputs(work, opts.corpus):
            clip = path[:-4] + ".qmf"
            check(label + " (to clip)", ["convert", path, clip])
            check(label + " (to Maya)", ["convert", path, path[:-4] + ".ma"])
            if os.path.exists(clip):
                check(label + " (clip to BVH)", ["convert", clip, path[:-4] + "-back.bvh"])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure%s" % (failures, "" if failures == 1 else "s"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
