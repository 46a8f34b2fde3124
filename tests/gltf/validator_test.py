#!/usr/bin/env python3
"""Every kind of glTF qmf writes passes Khronos' glTF-Validator with no error
and no warning: from a capture (.glb and .gltf), a clip, a Maya scene, an FBX
and a Collada take. The validator comes from npm, pinned, into the build folder.

Usage: validator_test.py QMF EXAMPLES_DIR CORPUS_DIR NPM_DIR
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skin_check  # noqa: E402

VALIDATOR = "gltf-validator@2.0.0-dev.3.10"
HERE = os.path.dirname(os.path.abspath(__file__))


def capture(frames):
    lines = ["HIERARCHY", "ROOT Hips", "{", " OFFSET 0 90 0",
             " CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation",
             " JOINT Spine", " {", "  OFFSET 0 10 0", "  CHANNELS 3 Zrotation Xrotation Yrotation",
             "  End Site", "  {", "   OFFSET 0 30 0", "  }", " }", "}", "MOTION",
             "Frames: %d" % frames, "Frame Time: 0.008333"]
    for f in range(frames):
        a = f * 0.05
        lines.append("%.4f 90 %.4f %.4f %.4f %.4f %.4f %.4f %.4f" % (
            math.sin(a), f * 0.5, 179 * math.sin(a), 90 * math.cos(a), -170 * math.sin(a / 3),
            20 * math.sin(a), 10.0, -5.0))
    return "\n".join(lines) + "\n"


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def main():
    qmf, examples, corpus, npm_dir = sys.argv[1:5]
    if not os.path.isdir(os.path.join(npm_dir, "node_modules", "gltf-validator")):
        os.makedirs(npm_dir, exist_ok=True)
        r = run(["npm", "install", "--prefix", npm_dir, "--no-audit", "--no-fund", "--loglevel=error", VALIDATOR])
        if r.returncode != 0:
            print("cannot install %s with npm: %s" % (VALIDATOR, r.stderr.strip()))
            return 1
    work = tempfile.mkdtemp(prefix="qmf_gltf_")
    try:
        bvh = os.path.join(work, "walk.bvh")
        with open(bvh, "w") as f:
            f.write(capture(400))
        clip = os.path.join(work, "walk.qmf")
        jobs = [
            (["pack", os.path.join(examples, "walk.json"), clip], None),
            (["convert", bvh, os.path.join(work, "capture.glb")], "capture.glb"),
            (["convert", bvh, os.path.join(work, "capture.gltf")], "capture.gltf"),
            (["convert", bvh, os.path.join(work, "one.glb"), "--frames", "3:3"], "one.glb"),
            (["convert", clip, os.path.join(work, "clip.glb")], "clip.glb"),
            (["convert", os.path.join(examples, "rig.ma"), os.path.join(work, "scene.glb")], "scene.glb"),
            (["convert", bvh, os.path.join(work, "capture-volumes.glb"), "--volumes"], "capture-volumes.glb"),
            (["convert", clip, os.path.join(work, "clip-volumes.glb"), "--volumes"], "clip-volumes.glb"),
            (["convert", os.path.join(examples, "rig.ma"), os.path.join(work, "scene-volumes.gltf"), "--volumes"],
             "scene-volumes.gltf"),
        ]
        for name in ("Silly_Dancing.fbx", "walking.dae", "mannequiny.glb"):
            source = os.path.join(corpus, "formats", name)
            if os.path.exists(source):
                jobs.append((["convert", source, os.path.join(work, name + ".glb"), "--volumes"], name + ".glb"))
        written = []
        for args, out in jobs:
            r = run([qmf] + args)
            if r.returncode != 0:
                print("qmf %s failed: %s" % (" ".join(args), r.stderr.strip()))
                return 1
            if out:
                written.append(os.path.join(work, out))
        r = run(["node", os.path.join(HERE, "validate.js"), npm_dir] + written)
        print(r.stdout, end="")
        if r.returncode != 0:
            print(r.stderr, end="")
            return 1
        if r.stdout.count(": 0 errors, 0 warnings") != len(written):
            print("expected a clean report for each of the %d files" % len(written))
            return 1
        # The volumes stay on the moving skeleton.
        failures = []
        for path in written:
            if path.endswith(".glb") and ("volumes" in path or path.endswith(".fbx.glb") or path.endswith(".dae.glb")):
                failures += skin_check.check(path, [0, 1, 7, 200])
        for f in failures[:20]:
            print(f)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
