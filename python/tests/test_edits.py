"""rename() with the checks of `qmf import --map`; retime() keeping or re-sampling keys."""
import numpy as np
import pytest

import qmf
from conftest import EXAMPLES, bits, run_qmf


def all_keys(clip):
    fig = clip.figures[0]
    return [fig.channel(a) for a in range(3)] + [fig.orientations()]


def assert_same_keys(a, b):
    for (va, ma), (vb, mb) in zip(a, b):
        assert np.array_equal(ma, mb) and np.array_equal(bits(va), bits(vb))


def test_rename_keeps_everything_else(walk, tmp_path):
    clip = qmf.open(walk)
    before, joints = all_keys(clip), clip.skeletons[0].joints
    clip.rename({"hips": "pelvis", "knee_L": "ns:knee_left"})
    path = tmp_path / "renamed.qmf"
    clip.save(path)
    back = qmf.open(path)
    assert back.figures[0].joint_names == ["pelvis", "spine", "head", "head_end", "leg_L", "ns:knee_left", "foot_L"]
    assert_same_keys(all_keys(back), before)
    for a, b in zip(back.skeletons[0].joints, joints):
        assert (a.parent, a.root, a.offset, a.orientation, a.body) == (b.parent, b.root, b.offset, b.orientation, b.body)


def test_swapping_names_is_one_rename(walk):
    clip = qmf.open(walk)
    clip.rename({"leg_L": "knee_L", "knee_L": "leg_L"})
    assert clip.figures[0].joint_names[4:6] == ["knee_L", "leg_L"]


@pytest.mark.parametrize("mapping", [{"nope": "spine"}, {"hips": "spine"}, {"head": "leg_L", "spine": "leg_L"}])
def test_rename_refuses_as_import_map_does(walk, tmp_path, mapping):
    map_file = tmp_path / "joints.map"
    map_file.write_text("".join(f"{a} {b}\n" for a, b in mapping.items()))
    tool = run_qmf("import", walk, EXAMPLES / "rig.ma", "-o", tmp_path / "out.ma", "--map", map_file, check=False)
    assert tool.returncode != 0
    # The tool names the map file's line where the module names the call.
    tool_line = tool.stderr.strip().removeprefix("qmf: ").replace(f"{map_file}:1: ", "")
    clip = qmf.open(walk)
    with pytest.raises(qmf.Error) as e:
        clip.rename(mapping)
    assert str(e.value).removeprefix("rename: ") == tool_line
    assert clip.figures[0].joint_names[0] == "hips"  # nothing changed


@pytest.mark.parametrize("mapping, message", [
    ({"hips": ""}, "rename: a name is empty"),
    ({"hips": "x" * 128}, "is not 1 to 127 bytes"),
    ({"hips": "a\0b"}, "rename: a name holds a NUL byte"),
])
def test_rename_refuses_names_a_clip_cannot_hold(walk, mapping, message):
    with pytest.raises(qmf.Error, match=message):
        qmf.open(walk).rename(mapping)


def test_rename_needs_str_names(walk):
    with pytest.raises(TypeError, match="names must be str"):
        qmf.open(walk).rename({"hips": 3})


def test_rename_of_a_clip_without_figures():
    with pytest.raises(qmf.Error, match="no figure to rename"):
        qmf.Clip.new(30, 1).rename({"a": "b"})


def test_retime_keeps_keys_on_their_frames(walk):
    clip = qmf.open(walk)
    before = all_keys(clip)
    clip.retime(120.0)
    assert (clip.frame_rate, clip.frame_count) == (120.0, 16)
    assert_same_keys(all_keys(clip), before)


def slerp(a, b, t):
    a, b = a / np.linalg.norm(a), b / np.linalg.norm(b)
    if np.dot(a, b) < 0:
        b = -b
    theta = np.arccos(np.clip(np.dot(a, b), -1, 1))
    if theta < 1e-6:
        r = (1 - t) * a + t * b
    else:
        r = (np.sin((1 - t) * theta) * a + np.sin(t * theta) * b) / np.sin(theta)
    return r / np.linalg.norm(r)


def test_resample_to_double_rate(walk):
    clip = qmf.open(walk)
    (tx, _), _, _, (q, qm) = all_keys(clip)
    clip.retime(60.0, resample=True)
    assert (clip.frame_rate, clip.frame_count) == (60.0, 31)  # frames 0..30 span the old 0..15
    fig = clip.figures[0]
    nx, nxm = fig.channel(0)
    nq, nqm = fig.orientations()
    assert nxm.all() and np.array_equal(nqm[::2], qm)
    assert np.array_equal(bits(nx[::2]), bits(tx))          # old frames exactly
    assert np.array_equal(bits(nq[::2][qm]), bits(q[qm]))
    np.testing.assert_allclose(nx[1::2], (tx[:-1].astype(np.float64) + tx[1:]) / 2, rtol=1e-6)
    for f in range(15):
        for j in np.flatnonzero(qm[f] & qm[f + 1]):
            np.testing.assert_allclose(nq[2 * f + 1, j], slerp(q[f, j].astype(float), q[f + 1, j].astype(float), 0.5),
                                       atol=1e-6)


def test_resample_to_lower_rate_and_between_sparse_keys():
    clip = qmf.Clip.new(30.0, 10)
    fig = clip.add_figure("s", ["a"], [-1])
    values = np.arange(10, dtype=np.float32)
    keyed = np.zeros(10, bool)
    keyed[[2, 3, 8]] = True
    fig.set_channel("z", values, keyed)
    clip.retime(20.0, resample=True)  # new frame g sits at old frame 1.5 g
    assert clip.frame_count == 7      # 1.5 * 6 = 9 is the last within the old 0..9
    got, mask = fig.channel("z")
    # Old frames 0, 1.5 lie before the first key; 3 is a key; 4.5, 6, 7.5 fall between 3 and 8.
    assert list(np.flatnonzero(mask)) == [2, 3, 4, 5]
    np.testing.assert_allclose(got[mask], [3.0, 4.5, 6.0, 7.5])


@pytest.mark.parametrize("rate, resample, message", [
    (0.0, False, "frameRate must be a finite number above 0"),
    (float("inf"), True, "frameRate must be a finite number above 0"),
    (1e9, True, "would need more than 16777216 frames"),
])
def test_retime_refusals(walk, rate, resample, message):
    clip = qmf.open(walk)
    with pytest.raises(qmf.Error, match=message):
        clip.retime(rate, resample=resample)
    assert (clip.frame_rate, clip.frame_count) == (30.0, 16)


def test_trim_keeps_the_pose_of_every_kept_frame(walk):
    clip = qmf.open(walk)
    fig = clip.figures[0]
    # Values in force on every frame: each key held until the next.
    def held(values, mask):
        out = values.copy()
        for f in range(1, len(out)):
            if not mask[f].all():
                out[f][~mask[f]] = out[f - 1][~mask[f]]
        return out
    before = [held(*fig.channel(a)) for a in range(3)] + [held(*fig.orientations())]
    keyed_early = fig.orientations()[1][:4].any(axis=0)
    clip.trim(3, 9)
    assert (clip.frame_rate, clip.frame_count) == (30.0, 7)
    fig = clip.figures[0]
    after = [held(*fig.channel(a)) for a in range(3)] + [held(*fig.orientations())]
    for b, a in zip(before, after):
        assert np.array_equal(bits(a), bits(b[3:10]))
    # Frame 0 is keyed wherever a track had a key by frame 3.
    assert fig.channel(0)[1][0]
    assert np.array_equal(fig.orientations()[1][0], keyed_early)


@pytest.mark.parametrize("first, last", [(-1, 3), (4, 3), (0, 16)])
def test_trim_refusals(walk, first, last):
    clip = qmf.open(walk)
    with pytest.raises(qmf.Error, match="needs 0 <= first <= last < 16"):
        clip.trim(first, last)
    assert clip.frame_count == 16


def test_resampling_to_a_rate_whose_keys_would_not_fit_the_budget_is_refused(walk):
    clip = qmf.open(walk)
    before = (clip.frame_rate, clip.frame_count, clip.figures[0].orientations()[0].tobytes())
    # A small clip asked for millions of frames of every keyed track.
    with pytest.raises(qmf.Error, match=r"makes \d+ frames of every keyed track, \d+ MiB, more than the 1024 MiB allowed"):
        clip.retime(3e7, resample=True)
    assert (clip.frame_rate, clip.frame_count, clip.figures[0].orientations()[0].tobytes()) == before
