#!/usr/bin/python3
"""Writes examples/walk.json: one step cycle of a walk for the example rig.

The clip's skeleton is the rig's own (as `qmf export` writes it), and every key is
the rotation the walk gives the joint, turned into the file's orientation through
the joint's jointOrient and rotate order, so that importing the clip onto rig.ma
keeps the rig upright and walks it forward along +Z.

Usage: PYTHONPATH=build/python examples/make_walk.py build/bin/qmf
"""
import json
import math
import os
import subprocess
import sys
import tempfile

import numpy as np
import qmf

FRAMES, RATE = 16, 30.0

# jointOrient (degrees) and rotate order of the keyed joints, as rig.ma sets them.
RIG = {
    "hips": ((0, 0, 90), "xyz"),
    "spine": ((0, 0, 0), "zxy"),
    "head": ((0, 0, 0), "xyz"),
    "leg_L": ((0, 0, -180), "xyz"),
    "knee_L": ((0, 0, 0), "xyz"),
}


def walk_angles(phase):
    """Rotate X, Y, Z in degrees per keyed joint at one phase of the cycle.

    Every keyed joint's local Y is the rig's left-right axis (a positive turn
    tips the body backwards, swings a leg back); the spine's local X is up."""
    s, c = math.sin(phase), math.cos(phase)
    return {
        "hips": (6 * s, 0, 0),                 # the pelvis turns with the stride
        "spine": (-4 * s, -3, 0),              # against the hips, leaning forward a little
        "head": (0, 2 * c, 0),                 # a small nod
        "leg_L": (0, -25 * s, 0),              # swings forward, then back
        "knee_L": (0, 20 * (1 - c), 0),        # bends as the leg passes under the body
    }


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else "build/bin/qmf"
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as tmp:
        rig_file = os.path.join(tmp, "rig.qmf")
        subprocess.run([tool, "export", os.path.join(here, "rig.ma"), rig_file], check=True,
                       stdout=subprocess.DEVNULL)
        rig = qmf.open(rig_file)
        skeleton = rig.skeletons[0]
        joints = skeleton.joints
        names = [j.name for j in joints]

        clip = qmf.Clip.new(RATE, FRAMES)
        fig = clip.add_figure(skeleton.name, names, [j.parent for j in joints],
                              offsets=[j.offset for j in joints],
                              orientations=[j.orientation for j in joints],
                              roots=[j.root for j in joints])

        phases = [2 * math.pi * f / FRAMES for f in range(FRAMES)]
        keys = np.zeros((FRAMES, len(names), 4), np.float32)
        mask = np.zeros((FRAMES, len(names)), bool)
        for name, (orient, order) in RIG.items():
            j = names.index(name)
            degrees = np.array([walk_angles(p)[name] for p in phases])
            keys[:, j] = qmf.euler_to_orientation(degrees, orient, order)
            mask[:, j] = True
        fig.set_orientations(keys, mask)

        # The hips travel forward along +Z and bob twice per cycle.
        scene = np.array([(0.0, 95 + 1.5 * math.cos(2 * p), 50.0 * f / FRAMES)
                          for f, p in enumerate(phases)])
        channels = qmf.translation_to_file(scene)
        for axis in range(3):
            fig.set_channel(axis, channels[:, axis])

        clip_file = os.path.join(tmp, "walk.qmf")
        clip.save(clip_file)
        text = subprocess.run([tool, "info", "--json", clip_file], check=True,
                              capture_output=True, text=True).stdout
        rig_text = subprocess.run([tool, "info", "--json", rig_file], check=True,
                                  capture_output=True, text=True).stdout
        doc = json.loads(text)
        # The rig's body volumes come with its skeleton.
        doc["skeletons"] = json.loads(rig_text)["skeletons"]
    if float(doc["frameRate"]).is_integer():
        doc["frameRate"] = int(doc["frameRate"])
    out = os.path.join(here, "walk.json")
    with open(out + ".tmp", "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    os.replace(out + ".tmp", out)
    print("wrote", out)


if __name__ == "__main__":
    main()
