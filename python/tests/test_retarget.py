"""qmf.retarget and qmf.match_joints: motion onto a rig, and the match table."""
import numpy as np
import pytest

import qmf
from conftest import run_qmf


def test_match_joints_gives_the_dry_run_table(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig)
    rows = qmf.match_joints(walk, rig)
    assert rows and all(how == "name" for _, _, how in rows)
    assert [s for s, _, _ in rows] == [r for _, r, _ in rows]
    # A rig joint renamed is paired again by a mapping, as by a map file.
    text = rig.read_text().replace('"spine"', '"torso"')
    other = tmp_path / "other.ma"
    other.write_text(text)
    assert ("spine", "torso", "name") not in qmf.match_joints(walk, other)
    assert ("spine", "torso", "map") in qmf.match_joints(walk, other, mapping={"spine": "torso"})


def test_retarget_onto_its_own_rig_gives_back_its_keys(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig, "--rig-only")
    original = qmf.open(walk)
    moved = qmf.retarget(walk, rig)
    assert (moved.frame_rate, moved.frame_count) == (original.frame_rate, original.frame_count)
    a_values, a_mask = original.figures[0].orientations()
    b_values, _ = moved.figures[0].orientations()
    names_a, names_b = original.figures[0].joint_names, moved.figures[0].joint_names
    for j, name in enumerate(names_a):
        if not a_mask[:, j].any():
            continue
        b = b_values[:, names_b.index(name)]
        sign = np.where(np.sum(a_values[:, j] * b, axis=1) < 0, -1.0, 1.0)[:, None]
        assert np.allclose(a_values[:, j], sign * b, rtol=0, atol=3e-7), name
    half = qmf.retarget(walk, rig, scale=0.5)
    a, _ = original.figures[0].channel(1)
    b, _ = half.figures[0].channel(1)
    assert np.allclose(b, a * 0.5, rtol=1e-6, atol=1e-7)


def test_retarget_refusals(walk, tmp_path):
    rig = tmp_path / "rig.ma"
    run_qmf("convert", walk, rig, "--rig-only")
    with pytest.raises(ValueError, match="scale must be"):
        qmf.retarget(walk, rig, scale=0)
    with pytest.raises(qmf.Error, match="the source has no joint nobody"):
        qmf.retarget(walk, rig, mapping={"nobody": "hips"})
