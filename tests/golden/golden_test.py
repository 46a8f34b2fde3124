#!/usr/bin/python3
"""Golden outputs of the qmf command.

Runs qmf on the bundled example and on the shared corpus (convert routes and
chains, export, import, view, draw, plot, info, identify, pack and a handful of
refusals), each run in a fresh folder of its own, and records for every run its
exit status and the sha256 of its stdout, its stderr and each file it wrote.
The records are compared with outputs.sha256 beside this script, so that a
change meant to keep behaviour can show that every output is byte-identical.

Usage: golden_test.py QMF EXAMPLES CORPUS [--record] [--expected FILE]
                      [--actual FILE] [--keep DIR]
  --record        rewrite the expectation file from this build instead of checking
  --expected FILE the expectation file (default: outputs.sha256 beside this script)
  --actual FILE   also write this run's records to FILE
  --keep DIR      copy every run's folder, stdout and stderr to DIR (must not exist),
                  to compare two builds' outputs with diff -r

Paths of the temporary folder, the examples, the corpus and the build are
replaced by fixed tokens in stdout, stderr and output files before hashing, so
the hashes do not depend on where the test runs. When CORPUS is missing only
the example's records are checked.
"""
import argparse
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# A capture the BVH reader refuses (the joint is never closed).
BROKEN_BVH = b"HIERARCHY\nROOT hips\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\nMOTION\n"

# Corpus captures, with their frame counts (for the last frame's positions).
# Between them: 120 and 100 fps, ZYX, ZXY and XYZ orders, CRLF lines, metres,
# a Z-up rig in decimetres, a one-frame pose of 173 joints, a leaf without an
# End Site, and a Frames: line that leaves a frame line over (Boxing_Toes).
CORPUS_BVH = {
    "01_01": 2752,
    "Boxing_Toes": 3069,
    "pfnn_hierarchy": 60,
    "sinusoidal": 120,
    "test_mocapbank": 455,
    "tpose": 1,
    "walk1": 14,
}

CORPUS_MA = [
    "UsdExportEulerFilterTest",
    "UsdExportSkeleton",
    "UsdExportSkeletonAtSceneRoot",
    "UsdExportSkeletonBindPoseMissingJoints",
    "UsdExportSkeletonNoDagPose",
    "UsdExportSkeletonSegfaultTest",
    "UsdExportSkeletonWithIdentityBindPose",
    "anim_v034",
    "skel",
    "skel2",
]


class Step:
    """One qmf run: its arguments name files in its own folder; `inputs` are copied
    there first, as (name in the folder, source) where source is a path, bytes, or
    '@STEP/FILE' for a file an earlier step wrote."""

    def __init__(self, name, args, inputs):
        self.name, self.args, self.inputs = name, args, inputs


class Plan:
    def __init__(self):
        self.steps = []
        self.names = set()

    def add(self, name, args, *inputs):
        if name in self.names:
            raise ValueError("two runs named " + name)
        pairs = []
        for src in inputs:
            pair = src if isinstance(src, tuple) else (os.path.basename(src), src)
            made = pair[1]
            if isinstance(made, str) and made.startswith("@") and os.path.dirname(made[1:]) not in self.names:
                raise ValueError("%s reads %s before its run" % (name, made))
            pairs.append(pair)
        self.names.add(name)
        self.steps.append(Step(name, args, pairs))


def clip_routes(p, prefix, clip):
    """Every route out of a clip, and what info says of it. `clip` is an input
    source whose name in the folder is its basename."""
    c = os.path.basename(clip)
    p.add(prefix + "/qmf-ma", ["convert", c, "scene.ma"], clip)
    p.add(prefix + "/qmf-ma-rig-only", ["convert", c, "rig.ma", "--rig-only"], clip)
    p.add(prefix + "/qmf-bvh", ["convert", c, "capture.bvh"], clip)
    p.add(prefix + "/qmf-bvh-order-xyz", ["convert", c, "capture.bvh", "--order", "xyz"], clip)
    p.add(prefix + "/qmf-bvh-unit-m", ["convert", c, "capture.bvh", "--unit", "m"], clip)
    p.add(prefix + "/info", ["info", c], clip)
    p.add(prefix + "/info-json", ["info", c, "--json"], clip)


def bvh_routes(p, prefix, bvh):
    """Every route out of a capture, and the chains through the clip it makes."""
    b = os.path.basename(bvh)
    p.add(prefix + "/bvh-qmf", ["convert", b, "clip.qmf"], bvh)
    p.add(prefix + "/bvh-qmf-unit-m", ["convert", b, "clip.qmf", "--unit", "m"], bvh)
    p.add(prefix + "/bvh-ma", ["convert", b, "scene.ma"], bvh)
    p.add(prefix + "/bvh-ma-unit-m", ["convert", b, "scene.ma", "--unit", "m"], bvh)
    clip_routes(p, prefix + "/bvh-qmf", "@%s/bvh-qmf/clip.qmf" % prefix)


def example_plan(p, examples):
    walk_json = os.path.join(examples, "walk.json")
    rig = os.path.join(examples, "rig.ma")
    walk = "@example/pack/walk.qmf"
    capture = "@example/qmf-bvh/capture.bvh"
    animated = "@example/import/out.ma"
    rig_only = "@example/qmf-ma-rig-only/rig.ma"

    p.add("example/help", ["--help"])
    p.add("example/version", ["--version"])
    for cmd in ["convert", "export", "import", "view", "draw", "plot", "info", "pack", "identify"]:
        p.add("example/help-" + cmd, [cmd, "--help"])

    p.add("example/pack", ["pack", "walk.json", "walk.qmf"], walk_json)
    clip_routes(p, "example", walk)
    bvh_routes(p, "example/qmf-bvh", capture)
    # info --json and pack give back the same file.
    p.add("example/pack-info-json", ["pack", "info.json", "walk.qmf"],
          ("info.json", "@example/info-json/stdout"))

    p.add("example/export", ["export", "rig.ma", "rig.qmf"], rig)
    p.add("example/export-info", ["info", "rig.qmf"], "@example/export/rig.qmf")
    p.add("example/export-info-json", ["info", "rig.qmf", "--json"], "@example/export/rig.qmf")

    p.add("example/import", ["import", "walk.qmf", "rig.ma", "-o", "out.ma"], walk, rig)
    p.add("example/import-onto-built-rig", ["import", "walk.qmf", "rig.ma", "-o", "out.ma"], walk, rig_only)
    p.add("example/import-replace", ["import", "walk.qmf", "scene.ma", "-o", "out.ma", "--replace"],
          walk, "@example/qmf-ma/scene.ma")
    p.add("example/export-animated", ["export", "out.ma", "skeleton.qmf"], animated)
    p.add("example/export-animated-time-8", ["export", "out.ma", "skeleton.qmf", "--time", "8"], animated)
    p.add("example/identify", ["identify", "rig.ma", "walk.qmf", "capture.bvh"], rig, walk, capture)

    for frame in ["0", "7", "15"]:
        p.add("example/view-positions-clip-" + frame, ["view", "--positions", "walk.qmf", "--frame", frame], walk)
    p.add("example/view-positions-rig", ["view", "--positions", "rig.ma"], rig)
    for frame in ["0", "9"]:
        p.add("example/view-positions-scene-" + frame, ["view", "--positions", "out.ma", "--frame", frame], animated)
        p.add("example/view-positions-bvh-" + frame, ["view", "--positions", "capture.bvh", "--frame", frame], capture)
    p.add("example/view-clip", ["view", "walk.qmf", "-o", "page.html"], walk)
    p.add("example/view-scene", ["view", "out.ma", "-o", "page.html"], animated)
    p.add("example/view-bvh", ["view", "capture.bvh", "-o", "page.html"], capture)
    p.add("example/view-clip-up-z", ["view", "walk.qmf", "-o", "page.html", "--up", "z"], walk)

    p.add("example/draw-clip", ["draw", "walk.qmf", "-o", "skeleton.svg"], walk)
    p.add("example/draw-clip-side-5", ["draw", "walk.qmf", "-o", "skeleton.svg", "--view", "side", "--frame", "5"], walk)
    p.add("example/draw-clip-top-up-z", ["draw", "walk.qmf", "-o", "skeleton.svg", "--view", "top", "--up", "z"], walk)
    p.add("example/draw-rig", ["draw", "rig.ma", "-o", "skeleton.svg"], rig)
    p.add("example/draw-scene-10", ["draw", "out.ma", "-o", "skeleton.svg", "--frame", "10"], animated)
    p.add("example/draw-bvh", ["draw", "capture.bvh", "-o", "skeleton.svg", "--frame", "3"], capture)
    p.add("example/plot-clip", ["plot", "walk.qmf", "-o", "curves.svg"], walk)
    p.add("example/plot-clip-joints", ["plot", "walk.qmf", "-o", "curves.svg", "--joint", "knee_L", "--joint", "hips", "--joint", "foot_L"], walk)
    p.add("example/plot-rig", ["plot", "rig.ma", "-o", "curves.svg"], rig)
    p.add("example/plot-scene", ["plot", "out.ma", "-o", "curves.svg"], animated)
    p.add("example/plot-bvh", ["plot", "capture.bvh", "-o", "curves.svg"], capture)

    # Refusals: their status and one line must stay as they are.
    p.add("example/refuse/convert-ma-qmf", ["convert", "rig.ma", "clip.qmf"], rig)
    p.add("example/refuse/convert-unknown-extension", ["convert", "walk.qmf", "clip.txt"], walk)
    p.add("example/refuse/convert-qmf-qmf", ["convert", "walk.qmf", "copy.qmf"], walk)
    p.add("example/refuse/convert-bad-unit", ["convert", "capture.bvh", "clip.qmf", "--unit", "furlong"], capture)
    p.add("example/refuse/convert-bad-order", ["convert", "walk.qmf", "capture.bvh", "--order", "xxz"], walk)
    p.add("example/refuse/convert-malformed-bvh", ["convert", "broken.bvh", "clip.qmf"], ("broken.bvh", BROKEN_BVH))
    p.add("example/refuse/convert-missing-input", ["convert", "absent.bvh", "clip.qmf"])
    p.add("example/refuse/import-without-output", ["import", "walk.qmf", "rig.ma"], walk, rig)
    p.add("example/refuse/draw-frame-past-last", ["draw", "walk.qmf", "-o", "skeleton.svg", "--frame", "16"], walk)
    p.add("example/refuse/plot-unknown-joint", ["plot", "walk.qmf", "-o", "curves.svg", "--joint", "tail"], walk)
    p.add("example/refuse/info-not-a-clip", ["info", "rig.ma"], rig)
    p.add("example/refuse/unknown-command", ["nosuch"])


def corpus_plan(p, corpus):
    for name, frames in CORPUS_BVH.items():
        bvh = os.path.join(corpus, "bvh", name + ".bvh")
        b = name + ".bvh"
        pre = "corpus/bvh/" + name
        bvh_routes(p, pre, bvh)
        last = str(frames - 1)
        for frame in sorted({"0", str(frames // 2), last}, key=int):
            p.add(pre + "/view-positions-" + frame, ["view", "--positions", b, "--frame", frame], bvh)
        p.add(pre + "/draw", ["draw", b, "-o", "skeleton.svg", "--frame", last], bvh)
        p.add(pre + "/plot", ["plot", b, "-o", "curves.svg"], bvh)

    bvh = lambda n: os.path.join(corpus, "bvh", n + ".bvh")
    p.add("corpus/bvh/sinusoidal/view", ["view", "sinusoidal.bvh", "-o", "page.html"], bvh("sinusoidal"))
    p.add("corpus/bvh/walk1/view-up-z", ["view", "walk1.bvh", "-o", "page.html", "--up", "z"], bvh("walk1"))
    p.add("corpus/bvh/walk1/draw-side-up-z", ["draw", "walk1.bvh", "-o", "skeleton.svg", "--view", "side", "--up", "z", "--frame", "7"], bvh("walk1"))
    p.add("corpus/bvh/tpose/draw-top", ["draw", "tpose.bvh", "-o", "skeleton.svg", "--view", "top"], bvh("tpose"))
    p.add("corpus/bvh/pfnn_hierarchy/draw-unit-m", ["draw", "pfnn_hierarchy.bvh", "-o", "skeleton.svg", "--unit", "m"], bvh("pfnn_hierarchy"))
    p.add("corpus/bvh/pfnn_hierarchy/view-positions-unit-m", ["view", "--positions", "pfnn_hierarchy.bvh", "--unit", "m"], bvh("pfnn_hierarchy"))
    p.add("corpus/bvh/sinusoidal/plot-joints", ["plot", "sinusoidal.bvh", "-o", "curves.svg", "--joint", "child3", "--joint", "base"], bvh("sinusoidal"))
    p.add("corpus/bvh/test_mocapbank/view-bvh-qmf", ["view", "clip.qmf", "-o", "page.html"],
          "@corpus/bvh/test_mocapbank/bvh-qmf/clip.qmf")
    p.add("corpus/bvh/test_mocapbank/import-onto-built-rig", ["import", "clip.qmf", "rig.ma", "-o", "out.ma"],
          "@corpus/bvh/test_mocapbank/bvh-qmf/clip.qmf", "@corpus/bvh/test_mocapbank/bvh-qmf/qmf-ma-rig-only/rig.ma")
    p.add("corpus/bvh/test_mocapbank/export-bvh-ma", ["export", "scene.ma", "skeleton.qmf"],
          "@corpus/bvh/test_mocapbank/bvh-ma/scene.ma")
    p.add("corpus/bvh/01_01/refuse/draw-frame-past-last", ["draw", "01_01.bvh", "-o", "skeleton.svg", "--frame", "2752"], bvh("01_01"))

    for name in CORPUS_MA:
        ma = os.path.join(corpus, "ma", name + ".ma")
        m = name + ".ma"
        pre = "corpus/ma/" + name
        p.add(pre + "/export", ["export", m, "skeleton.qmf"], ma)
        p.add(pre + "/export-info", ["info", "skeleton.qmf"], "@%s/export/skeleton.qmf" % pre)
        p.add(pre + "/view-positions", ["view", "--positions", m], ma)
        p.add(pre + "/draw", ["draw", m, "-o", "skeleton.svg"], ma)
        p.add(pre + "/plot", ["plot", m, "-o", "curves.svg"], ma)

    ma = lambda n: os.path.join(corpus, "ma", n + ".ma")
    p.add("corpus/ma/UsdExportSkeleton/export-time-2", ["export", "UsdExportSkeleton.ma", "skeleton.qmf", "--time", "2"], ma("UsdExportSkeleton"))
    p.add("corpus/ma/UsdExportSkeleton/view-positions-2", ["view", "--positions", "UsdExportSkeleton.ma", "--frame", "2"], ma("UsdExportSkeleton"))
    p.add("corpus/ma/UsdExportSkeleton/view", ["view", "UsdExportSkeleton.ma", "-o", "page.html"], ma("UsdExportSkeleton"))
    p.add("corpus/ma/skel/draw-side", ["draw", "skel.ma", "-o", "skeleton.svg", "--view", "side"], ma("skel"))
    p.add("corpus/ma/skel/export-info-json", ["info", "skeleton.qmf", "--json"], "@corpus/ma/skel/export/skeleton.qmf")
    p.add("corpus/ma/identify", ["identify", "skel.ma", "anim_v034.ma", "sinusoidal.bvh"],
          ma("skel"), ma("anim_v034"), bvh("sinusoidal"))
    p.add("corpus/ma/UsdExportSkeleton/refuse/import-other-names", ["import", "walk.qmf", "UsdExportSkeleton.ma", "-o", "out.ma"],
          "@example/pack/walk.qmf", ma("UsdExportSkeleton"))

    # Many files at once, one process each; one at a time so the summary's order is fixed.
    p.add("corpus/batch/convert-bvh", ["convert", "sinusoidal.bvh", "walk1.bvh", "Boxing_Toes.bvh", "broken.bvh",
                                       "--out-dir", "clips", "--jobs", "1"],
          bvh("sinusoidal"), bvh("walk1"), bvh("Boxing_Toes"), ("broken.bvh", BROKEN_BVH))
    p.add("corpus/batch/convert-bvh-to-ma", ["convert", "sinusoidal.bvh", "tpose.bvh", "--out-dir", "scenes",
                                             "--to", "ma", "--jobs", "1"],
          bvh("sinusoidal"), bvh("tpose"))
    p.add("corpus/batch/export", ["export", "skel.ma", "UsdExportSkeleton.ma", "anim_v034.ma", "--out-dir", "skeletons",
                                  "--jobs", "1"],
          ma("skel"), ma("UsdExportSkeleton"), ma("anim_v034"))


def sha(data):
    return hashlib.sha256(data).hexdigest()


class Runner:
    def __init__(self, qmf, examples, corpus, root):
        self.qmf = qmf
        self.root = root
        self.outputs = {}  # "STEP/FILE" -> absolute path, for later steps
        self.normalised = []
        tmp = os.path.join(root, "tmp")
        os.mkdir(tmp)
        self.env = dict(os.environ, LC_ALL="C", LANG="C", TZ="UTC", TMPDIR=tmp)
        self.env.pop("LANGUAGE", None)
        # Longest first, so a folder inside another gets its own token.
        subs = [(qmf, "<QMF>"), (os.path.dirname(os.path.dirname(qmf)), "<BUILD>"),
                (root, "<TMP>"), (examples, "<EXAMPLES>"), (corpus, "<CORPUS>")]
        expanded = []
        for path, token in subs:
            for variant in {path, os.path.realpath(path)}:
                expanded.append((variant.encode(), token.encode()))
        self.subs = expanded

    def normalise(self, data, run_dir):
        pairs = [(os.fsencode(v), b"<RUN>") for v in {run_dir, os.path.realpath(run_dir)}] + self.subs
        for path, token in sorted(pairs, key=lambda pt: -len(pt[0])):
            data = data.replace(path, token)
        return data

    def run(self, index, step):
        run_dir = os.path.join(self.root, "runs", "%03d-%s" % (index, step.name.replace("/", "_")))
        os.makedirs(run_dir)
        missing = []
        for dest, src in step.inputs:
            target = os.path.join(run_dir, dest)
            if isinstance(src, bytes):
                with open(target, "wb") as f:
                    f.write(src)
            elif src.startswith("@"):
                made = self.outputs.get(src[1:])
                if made is None or not os.path.isfile(made):
                    missing.append(src[1:])
                    continue
                shutil.copyfile(made, target)
            else:
                shutil.copyfile(src, target)
        if missing:
            return "%s exit=input-missing:%s" % (step.name, ",".join(missing))

        before = snapshot(run_dir)
        try:
            proc = subprocess.run([self.qmf] + step.args, cwd=run_dir, env=self.env, input=b"",
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            status, out, err = str(proc.returncode), proc.stdout, proc.stderr
        except subprocess.TimeoutExpired as e:
            status, out, err = "timeout", e.stdout or b"", e.stderr or b""
        after = snapshot(run_dir)

        # Kept beside the run (outside its folder) for --keep and for later steps.
        side = run_dir + ".std"
        os.mkdir(side)
        for stream, data in (("stdout", out), ("stderr", err)):
            with open(os.path.join(side, stream), "wb") as f:
                f.write(data)
            self.outputs[step.name + "/" + stream] = os.path.join(side, stream)

        fields = [step.name, "exit=" + status,
                  "stdout=" + sha(self.normalise(out, run_dir)),
                  "stderr=" + sha(self.normalise(err, run_dir))]
        for rel in sorted(set(before) | set(after)):
            if rel not in after:
                fields.append(rel + "=deleted")
                continue
            if before.get(rel) == after[rel]:
                continue  # an input left as it was
            path = os.path.join(run_dir, rel)
            self.outputs[step.name + "/" + rel] = path
            if after[rel] is None:
                fields.append(rel + "=not-a-file")
                continue
            with open(path, "rb") as f:
                data = f.read()
            norm = self.normalise(data, run_dir)
            if norm != data:
                self.normalised.append(step.name + "/" + rel)
            fields.append(rel + "=" + sha(norm))
        return " ".join(fields)


def snapshot(folder):
    """Every entry under folder by relative path: a regular file's sha256, None otherwise."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(folder):
        for n in filenames + [d for d in dirnames if os.path.islink(os.path.join(dirpath, d))]:
            path = os.path.join(dirpath, n)
            rel = os.path.relpath(path, folder)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    found[rel] = sha(f.read())
            else:
                found[rel] = None
    return found


def read_records(path):
    records = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                records[line.split(" ", 1)[0]] = line
    return records


def describe(want, got):
    """The fields of two records of one run that differ."""
    w = dict(field.split("=", 1) for field in want.split(" ")[1:])
    g = dict(field.split("=", 1) for field in got.split(" ")[1:])
    parts = []
    for key in sorted(set(w) | set(g)):
        if key not in g:
            parts.append(key + " not written")
        elif key not in w:
            parts.append(key + " written, not expected")
        elif w[key] != g[key]:
            parts.append("%s %s (was %s)" % (key, g[key], w[key]) if key == "exit" else key + " differs")
    return ", ".join(parts)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[1].replace("\n", " "))
    ap.add_argument("qmf", help="the qmf executable to check")
    ap.add_argument("examples", help="the examples folder (rig.ma, walk.json)")
    ap.add_argument("corpus", help="the shared corpus folder (bvh/, ma/); when missing, the example only")
    ap.add_argument("--record", action="store_true", help="rewrite the expectation file from this build")
    ap.add_argument("--expected", default=os.path.join(HERE, "outputs.sha256"),
                    help="the expectation file (default: outputs.sha256 beside this script)")
    ap.add_argument("--actual", help="also write this run's records to this file")
    ap.add_argument("--keep", help="copy every run's folder, stdout and stderr to this new folder")
    a = ap.parse_args()

    qmf = os.path.abspath(a.qmf)
    examples = os.path.abspath(a.examples)
    corpus = os.path.abspath(a.corpus)
    if not os.access(qmf, os.X_OK):
        sys.exit("golden: %s is not an executable" % qmf)
    have_corpus = os.path.isdir(corpus)
    if a.record and not have_corpus:
        sys.exit("golden: --record needs the corpus (%s is missing); the expectations cover it" % corpus)
    if a.keep and os.path.exists(a.keep):
        sys.exit("golden: --keep %s exists already" % a.keep)

    plan = Plan()
    example_plan(plan, examples)
    if have_corpus:
        corpus_plan(plan, corpus)
    else:
        print("golden: corpus folder %s not found: checking the example's outputs only" % corpus)

    # ctest ends a test that runs too long with SIGTERM: clean up then too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("golden: terminated"))
    root = tempfile.mkdtemp(prefix="qmf-golden.", dir=os.environ.get("TMPDIR") or "/tmp")
    started = time.monotonic()
    try:
        runner = Runner(qmf, examples, corpus, root)
        got = {}
        for i, step in enumerate(plan.steps):
            got[step.name] = runner.run(i, step)
        if a.keep:
            shutil.copytree(os.path.join(root, "runs"), a.keep, symlinks=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    elapsed = time.monotonic() - started

    lines = [got[name] for name in sorted(got)]
    if a.actual:
        with open(a.actual, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
    for name in runner.normalised:
        print("golden: note: %s held an absolute path, replaced by a token before hashing" % name)

    if a.record:
        header = ["# Golden outputs of qmf: NAME exit=STATUS stdout=SHA256 stderr=SHA256 FILE=SHA256...",
                  "# Written by golden_test.py --record; checked by the golden.outputs test."]
        with open(a.expected, "w", encoding="utf-8") as f:
            f.write("\n".join(header + lines) + "\n")
        print("golden: recorded %d runs in %s (%.1f s)" % (len(lines), a.expected, elapsed))
        return 0

    want = read_records(a.expected)
    if not have_corpus:
        want = {n: r for n, r in want.items() if n.startswith("example/")}
    problems = []
    for name in sorted(set(want) | set(got)):
        if name not in got:
            problems.append("MISSING %s: expected, not run" % name)
        elif name not in want:
            problems.append("EXTRA %s: run, not expected (record again if it is new)" % name)
        elif want[name] != got[name]:
            problems.append("DIFFERS %s: %s" % (name, describe(want[name], got[name])))
    for line in problems:
        print(line)
    if problems:
        print("golden: %d of %d records differ from %s (%.1f s)" % (len(problems), len(want), a.expected, elapsed))
        return 1
    print("golden: all %d records match %s (%.1f s)" % (len(got), a.expected, elapsed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
