#!/usr/bin/env python3
"""qmf on damaged copies of real animated FBX, Collada, DirectX and glTF files
(Debian's assimp-testmodels, and a glb qmf writes): cut short and patched at
seeded places. Every run ends with exit status 0 and an output, or 1, one
"qmf:" line per message, the last naming the file, and nothing written.
A crash or hang of the parser is caught in its child process, so qmf itself
never dies of one.

Usage: mutated_models.py QMF [MODELS_DIR]
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

MODELS = [
    "FBX/animation_with_skeleton.fbx",
    "FBX/huesitos.fbx",
    "Collada/anims_with_full_rotations_between_keys.DAE",
    "Collada/box_nested_animation.dae",
    "X/anim_test.x",
    "glTF2/simple_skin/simple_skin.gltf",
]
CUTS = [0.02, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99]
PATCHES = 14


def mutations(data, rng):
    for cut in CUTS:
        yield "cut%g" % cut, data[: int(len(data) * cut)]
    for i in range(PATCHES):
        b = bytearray(data)
        for _ in range(rng.randint(1, 4)):
            at = rng.randrange(len(b))
            width = rng.choice([1, 1, 2, 4, 8])
            fill = rng.choice([b"\xff", b"\x00", b"\x7f", bytes([rng.randrange(256)])])
            b[at:at + width] = (fill * width)[: len(b) - at]
        yield "patch%d" % i, bytes(b)


def main():
    qmf = sys.argv[1]
    models_dir = sys.argv[2] if len(sys.argv) > 2 else "/usr/share/assimp/models"
    missing = [m for m in MODELS if not os.path.exists(os.path.join(models_dir, m))]
    if missing:
        print("missing %s: install Debian's assimp-testmodels (scripts/deps.sh does)" % ", ".join(missing))
        return 1
    work = tempfile.mkdtemp(prefix="qmf_mutated_")
    env = dict(os.environ, QMF_READER_SECONDS="20", QMF_READER_MEMORY_MB="3000")
    rng = random.Random(20261208)
    outcomes = {}
    failures = []
    try:
        # One glb of qmf's own, from a capture, among the real files.
        ours = os.path.join(work, "ours.glb")
        bvh = os.path.join(work, "ours.bvh")
        with open(bvh, "w") as f:
            f.write("HIERARCHY\nROOT Hips\n{\n OFFSET 0 90 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                    " JOINT Head\n {\n  OFFSET 0 60 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n  End Site\n  {\n   OFFSET 0 9 0\n  }\n }\n}\n"
                    "MOTION\nFrames: 30\nFrame Time: 0.033333\n" + "".join("0 90 %d %d 0 0 %d 0 0\n" % (f, f, -f) for f in range(30)))
        r = subprocess.run([qmf, "convert", bvh, ours], capture_output=True, text=True)
        if r.returncode != 0:
            print("cannot write the glb: " + r.stderr)
            return 1
        sources = [os.path.join(models_dir, m) for m in MODELS] + [ours]
        for source in sources:
            with open(source, "rb") as f:
                data = f.read()
            ext = os.path.splitext(source)[1]
            for tag, bytes_ in mutations(data, rng):
                damaged = os.path.join(work, "damaged" + ext)
                out = os.path.join(work, "out.glb")
                with open(damaged, "wb") as f:
                    f.write(bytes_)
                if os.path.exists(out):
                    os.unlink(out)
                what = "%s %s" % (os.path.basename(source), tag)
                try:
                    r = subprocess.run([qmf, "convert", damaged, out], capture_output=True, text=True, env=env, timeout=180)
                except subprocess.TimeoutExpired:
                    failures.append("%s: qmf did not finish in 180 s" % what)
                    continue
                lines = r.stderr.splitlines()
                if r.returncode == 0:
                    kind = "read"
                    if not os.path.exists(out):
                        failures.append("%s: success without an output" % what)
                elif r.returncode == 1:
                    kind = "refused"
                    if "reader failed (killed by signal" in r.stderr:
                        kind = "parser crashed (caught)"
                    elif "reader failed" in r.stderr:
                        kind = "parser stopped (caught)"
                    if not lines or any(not l.startswith("qmf: ") for l in lines):
                        failures.append("%s: messages not each one qmf line: %r" % (what, r.stderr))
                    elif not lines[-1].startswith("qmf: " + damaged + ": "):
                        failures.append("%s: the refusal does not name the file: %r" % (what, lines[-1]))
                    if os.path.exists(out):
                        failures.append("%s: an output was left after a failure" % what)
                else:
                    kind = "qmf died"
                    failures.append("%s: exit status %d: %r" % (what, r.returncode, r.stderr[-500:]))
                outcomes[kind] = outcomes.get(kind, 0) + 1
        print("outcomes: " + ", ".join("%s %d" % kv for kv in sorted(outcomes.items())))
        for f in failures:
            print("FAIL " + f)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
