"""qmf.bake: a scene's animation into a clip, the exact inverse of import."""
import numpy as np
import pytest

import qmf
from conftest import bits, run_qmf


def keys_by_name(clip):
    fig = clip.figures[0]
    values, mask = fig.orientations()
    return {name: (values[:, j], mask[:, j]) for j, name in enumerate(fig.joint_names)}


def test_bake_gives_back_the_keys_a_clip_put_on_its_rig(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig)
    original = qmf.open(walk)
    baked = qmf.bake(rig, frames=(0, original.frame_count - 1))
    assert (baked.frame_rate, baked.frame_count) == (original.frame_rate, original.frame_count)
    want, got = keys_by_name(original), keys_by_name(baked)
    for name, (values, mask) in want.items():
        if not mask.any():
            continue  # a leaf the clip never keys; the bake keys its pose
        b = got[name][0]
        sign = np.where(np.sum(values * b, axis=1) < 0, -1.0, 1.0)[:, None]
        assert np.allclose(values, sign * b, rtol=0, atol=2.5e-7), name
    for axis in range(3):
        a, _ = original.figures[0].channel(axis)
        b, _ = baked.figures[0].channel(axis)
        assert np.allclose(a, b, rtol=3e-7, atol=1e-12)


def test_bake_chooses_frames_and_step(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig)
    every = qmf.bake(rig, frames=(2, 14), step=4)
    assert (every.frame_count, every.frame_rate) == (4, 7.5)
    full = qmf.bake(rig, frames=(0, 15))
    a, _ = every.figures[0].orientations()
    b, _ = full.figures[0].orientations()
    assert np.array_equal(a, b[2:15:4])


def test_bake_refusals(tmp_path):
    empty = tmp_path / "empty.ma"
    empty.write_text('//Maya ASCII 2018 scene\nrequires maya "2018";\ncreateNode transform -n "box";\n')
    with pytest.raises(qmf.Error, match="the scene has no joints"):
        qmf.bake(empty)
    with pytest.raises(qmf.Error, match="No such file"):
        qmf.bake(tmp_path / "missing.ma")
    with pytest.raises(ValueError, match="step must be 1 or more"):
        qmf.bake(empty, step=0)


def test_bake_takes_a_joints_hierarchy_out(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig)
    whole = qmf.bake(rig)
    spine = qmf.bake(rig, root="spine")
    names = spine.figures[0].joint_names
    assert names[0] == "spine" and "hips" not in names
    assert set(names) < set(whole.figures[0].joint_names)
    assert spine.frame_count == whole.frame_count
    with pytest.raises(qmf.Error, match="--root nope is not a joint of"):
        qmf.bake(rig, root="nope")


def test_read_takes_any_motion_file_convert_reads(walk, tmp_path):
    """A clip is opened; a capture, a glb or a scene comes back as the clip convert makes."""
    glb = tmp_path / "walk.glb"
    run_qmf("convert", walk, glb)
    direct = tmp_path / "back.qmf"
    run_qmf("convert", glb, direct)
    with pytest.warns(UserWarning, match=r"metres → cm \(×100\)"):
        read = qmf.read(glb)
    want = qmf.open(direct)
    assert (read.frame_count, read.frame_rate) == (want.frame_count, want.frame_rate)
    a, ma = read.figures[0].orientations()
    b, mb = want.figures[0].orientations()
    assert np.array_equal(ma, mb) and np.array_equal(bits(a), bits(b))
    assert qmf.read(walk).frame_count == qmf.open(walk).frame_count
    with pytest.warns(UserWarning, match=r"metres → cm"):
        assert qmf.read(glb, frames=(2, 5)).frame_count == 4
    with pytest.raises(qmf.Error, match=r"--take 3: no such take; the file holds 1 walk"):
        qmf.read(glb, take="3")
    with pytest.raises(qmf.Error, match="--up takes auto, y or z"):
        qmf.read(glb, up="x")
    with pytest.raises(ValueError, match="rate must be above 0"):
        qmf.read(glb, rate=0)
