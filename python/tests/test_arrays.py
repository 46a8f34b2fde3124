"""Keys through NumPy and the library's authoring interface, bit for bit."""
import numpy as np
import pytest

import qmf
from conftest import bits


def odd_floats(rng, shape):
    """Random float32 values with the awkward ones mixed in: NaN payloads, infinities, -0.0, denormals."""
    raw = rng.integers(0, 2**32, size=shape, dtype=np.uint64).astype(np.uint32)
    values = raw.view(np.float32).copy()
    specials = np.array([0x7FC00001, 0xFFC12345, 0x7F800000, 0xFF800000, 0x80000000, 0x00000001],
                        dtype=np.uint32).view(np.float32)
    flat = values.reshape(-1)
    flat[: len(specials)] = specials
    return values


def test_round_trip_through_a_file(tmp_path):
    rng = np.random.default_rng(7)
    frames, joints = 300, 5
    clip = qmf.Clip.new(29.97, frames)
    fig = clip.add_figure("s", [f"j{i}" for i in range(joints)], [-1, 0, 1, 1, 3])
    channels = []
    for axis in range(3):
        values = odd_floats(rng, frames)
        mask = rng.random(frames) < 0.6
        fig.set_channel(axis, values, mask)
        channels.append((values, mask))
    keys = odd_floats(rng, (frames, joints, 4))
    mask = rng.random((frames, joints)) < 0.5
    mask[:, 2] = False          # a joint without any key
    mask[:, 4] = True           # and one keyed on every frame
    fig.set_orientations(keys, mask)

    path = tmp_path / "built.qmf"
    clip.save(path)
    back = qmf.open(path).figures[0]
    for axis, (values, mask_c) in enumerate(channels):
        got, got_mask = back.channel(axis)
        assert got.dtype == np.float32 and got_mask.dtype == np.bool_
        assert np.array_equal(got_mask, mask_c)
        assert np.array_equal(bits(got[mask_c]), bits(values[mask_c]))
        assert not bits(got[~mask_c]).any()
    got, got_mask = back.orientations()
    assert got.shape == (frames, joints, 4) and np.array_equal(got_mask, mask)
    assert np.array_equal(bits(got[mask]), bits(keys[mask]))
    assert not bits(got[~mask]).any()


def test_setting_clears_what_the_mask_leaves_out(walk):
    clip = qmf.open(walk)
    fig = clip.figures[0]
    keys, mask = fig.orientations()
    assert mask.any()
    fewer = mask.copy()
    fewer[::2] = False
    fig.set_orientations(keys, fewer)
    got, got_mask = fig.orientations()
    assert np.array_equal(got_mask, fewer)
    assert np.array_equal(bits(got[fewer]), bits(keys[fewer]))
    values, keyed = fig.channel("y")
    fig.set_channel("y", values * 2)          # no mask: every frame keyed
    got, got_keyed = fig.channel("y")
    assert got_keyed.all() and np.array_equal(got, values * 2)


def test_other_dtypes_are_converted(walk):
    fig = qmf.open(walk).figures[0]
    keys, mask = fig.orientations()
    fig.set_orientations(keys.astype(np.float64), mask.astype(np.int64))
    got, got_mask = fig.orientations()
    assert np.array_equal(got_mask, mask) and np.array_equal(bits(got), bits(keys))


@pytest.mark.parametrize("call", [
    lambda f, n, j: f.set_channel("x", np.zeros(n + 1, np.float32)),
    lambda f, n, j: f.set_channel("x", np.zeros(n, np.float32), np.ones(n - 1, bool)),
    lambda f, n, j: f.set_orientations(np.zeros((n, j, 3), np.float32)),
    lambda f, n, j: f.set_orientations(np.zeros((n, j + 1, 4), np.float32)),
    lambda f, n, j: f.set_orientations(np.zeros((n, j, 4), np.float32), np.ones((n, j + 1), bool)),
    lambda f, n, j: f.channel("w"),
    lambda f, n, j: f.channel(3),
])
def test_wrong_shapes_and_axes_raise(walk, call):
    clip = qmf.open(walk)
    fig = clip.figures[0]
    before = fig.orientations()
    with pytest.raises(ValueError):
        call(fig, clip.frame_count, fig.joint_count)
    after = fig.orientations()
    assert np.array_equal(bits(after[0]), bits(before[0])) and np.array_equal(after[1], before[1])


def test_figures_follow_a_rebuilt_clip_and_keep_it_alive(walk):
    clip = qmf.open(walk)
    fig = clip.figures[0]
    keys, mask = fig.orientations()
    clip.rename({"hips": "pelvis"})
    assert fig.joint_names[0] == "pelvis"
    del clip
    got, got_mask = fig.orientations()
    assert np.array_equal(got_mask, mask) and np.array_equal(bits(got), bits(keys))
