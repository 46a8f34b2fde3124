"""The module reads a clip as `qmf info --json` does, field by field."""
import json

import numpy as np
import pytest

import qmf
from conftest import run_qmf


def f32(v):
    """A float of the JSON form as the float32 the file holds."""
    special = {"inf": np.inf, "-inf": -np.inf, "nan": np.nan}
    return np.float32(special[v]) if isinstance(v, str) else np.float32(v)


def same(a, b):
    return np.array(a, dtype=np.float32).tobytes() == np.array([f32(x) for x in b], dtype=np.float32).tobytes()


@pytest.mark.parametrize("source", ["walk", "exported_rig"])
def test_clip_matches_info_json(source, request):
    walk = request.getfixturevalue(source)
    info = json.loads(run_qmf("info", walk, "--json").stdout)
    clip = qmf.open(walk)
    assert np.float32(clip.frame_rate) == f32(info["frameRate"])
    assert clip.frame_count == info["frameCount"]
    assert len(clip.figures) == len(info["figures"])
    assert len(clip.skeletons) == len(info["skeletons"])
    for sk, sj in zip(clip.skeletons, info["skeletons"]):
        assert (sk.name, sk.completed, sk.completed_name) == (sj["name"], sj["completed"], sj["completedName"])
        assert len(sk.joints) == len(sj["joints"])
        for j, jj in zip(sk.joints, sj["joints"]):
            assert (j.name, j.parent, j.root) == (jj["name"], jj["parent"], jj["root"])
            assert same(j.offset, jj["offset"]), j.name
            assert same(j.orientation, jj["orientation"]), j.name
            if jj["body"] is None:
                assert j.body is None
                continue
            assert len(j.body["primitives"]) == len(jj["body"]["primitives"])
            for p, pj in zip(j.body["primitives"], jj["body"]["primitives"]):
                assert p["kind"] == pj["kind"]
                for key in ("radius", "length"):
                    if key in pj:
                        assert np.float32(p[key]) == f32(pj[key])
                if "direction" in pj:
                    assert same(p["direction"], pj["direction"])
            if jj["body"]["bounds"] is None:
                assert j.body["bounds"] is None
            else:
                assert same(j.body["bounds"][0], jj["body"]["bounds"]["min"])
                assert same(j.body["bounds"][1], jj["body"]["bounds"]["max"])

    for fig, fj in zip(clip.figures, info["figures"]):
        assert fig.skeleton.name == info["skeletons"][fj["skeleton"]]["name"]
        for axis in range(3):
            values, keyed = fig.channel(axis)
            listed = fj["channels"].get(str(axis + 1), [])
            assert list(np.flatnonzero(keyed)) == [k[0] for k in listed]
            assert same(values[keyed], [k[1] for k in listed])
        keys, keyed = fig.orientations()
        assert keys.shape == (clip.frame_count, fig.joint_count, 4)
        listed = {o["joint"]: o["keys"] for o in fj["orientations"]}
        for j in range(fig.joint_count):
            frames = [k[0] for k in listed.get(j, [])]
            assert list(np.flatnonzero(keyed[:, j])) == frames
            for key in listed.get(j, []):  # [frame, f0, f1, f2, f3]
                assert same(keys[key[0], j], key[1:])
        # Slots without a key read 0, so arrays compare without the mask.
        assert not keys[~keyed].any()


def test_new_clip_and_figure_facts():
    clip = qmf.Clip.new(24.0, 10)
    assert (clip.frame_rate, clip.frame_count, clip.figures) == (24.0, 10, [])
    offsets = np.array([[0, 1, 0], [0.5, 0, 0], [0, 0, -0.25]], dtype=np.float32)
    fig = clip.add_figure("body", ["root", "a", "b"], [-1, 0, 1], offsets=offsets)
    sk = fig.skeleton
    assert (sk.name, sk.completed_name, fig.joint_names) == ("body", "body", ["root", "a", "b"])
    assert [(j.parent, j.root) for j in sk.joints] == [(-1, True), (0, False), (1, False)]
    assert np.array([j.offset for j in sk.joints], dtype=np.float32).tobytes() == offsets.tobytes()
    assert all(j.orientation == (-1.0, 0.0, 0.0, 0.0) and j.body is None for j in sk.joints)
    values, keyed = fig.channel("x")
    assert values.shape == (10,) and not keyed.any()


@pytest.mark.parametrize("rate, count, message", [
    (0.0, 1, "frameRate must be a finite number above 0"),
    (float("nan"), 1, "frameRate must be a finite number above 0"),
    (30.0, -1, "frameCount must be from 0 to 16777216"),
    (30.0, 16777217, "frameCount must be from 0 to 16777216"),
])
def test_new_clip_refusals(rate, count, message):
    with pytest.raises(qmf.Error, match=message):
        qmf.Clip.new(rate, count)


@pytest.mark.parametrize("names, parents, message", [
    (["a", "b"], [1, 0], r"joints\[0\]\.parent makes a cycle"),
    (["a", "b"], [-1, 2], r"joints\[1\]\.parent must be from -1 to 1"),
    (["a", "a" * 128], [-1, 0], "is not 1 to 127 bytes"),
    (["a", ""], [-1, 0], "is not 1 to 127 bytes"),
    (["a", "b\0c"], [-1, 0], "joint name 1 holds a NUL byte"),
    (["a", "b"], [-1], "as many parents"),
])
def test_add_figure_refusals(names, parents, message):
    clip = qmf.Clip.new(30.0, 2)
    with pytest.raises(qmf.Error, match=message):
        clip.add_figure("s", names, parents)
