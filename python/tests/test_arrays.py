"""Keys through NumPy and the library's authoring interface, bit for bit."""
import numpy as np
import pytest

import qmf
from conftest import bits


def odd_floats(rng, shape):
    """Random finite float32 values with the awkward ones mixed in: -0.0, denormals, the largest and smallest."""
    raw = rng.integers(0, 2**32, size=shape, dtype=np.uint64).astype(np.uint32)
    raw[(raw & 0x7F800000) == 0x7F800000] &= 0xBFFFFFFF   # NaN and infinity: exponent brought down into range
    values = raw.view(np.float32).copy()
    specials = np.array([0x80000000, 0x00000001, 0x7F7FFFFF, 0xFF7FFFFF, 0x00800000, 0x80000001],
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
    # Every key a rotation: one component of a normal size, the others any bits.
    keys[..., 0] = rng.uniform(0.5, 1.0, (frames, joints)) * rng.choice([-1, 1], (frames, joints))
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


@pytest.mark.parametrize("bad, why", [
    ((np.nan, 0, 0, 0), "NaN or infinite"),
    ((1, np.inf, 0, 0), "NaN or infinite"),
    ((0, 0, 0, 0), "zero"),
    ((1e-30, 0, 0, 0), "zero"),
])
def test_a_key_that_is_no_rotation_is_refused_and_nothing_is_set(walk, bad, why):
    fig = qmf.open(walk).figures[0]
    keys, mask = fig.orientations()
    frame, joint = 5, int(np.flatnonzero(mask[5])[1])
    changed = keys.copy()
    changed[:frame] = -keys[:frame]             # edits before the bad key must not land either
    changed[frame, joint] = bad
    changed[frame + 1, joint] = (np.nan, 0, 0, 0)   # only the first is named
    with pytest.raises(qmf.Error) as e:
        fig.set_orientations(changed, mask)
    name = qmf.open(walk).skeletons[0].joints[joint].name
    assert str(e.value) == (f"set_orientations: the key of joint {joint} ({name}) at frame {frame} is no rotation "
                            f"({why}); nothing was set")
    got, got_mask = fig.orientations()
    assert np.array_equal(bits(got), bits(keys)) and np.array_equal(got_mask, mask)
    # A frame the mask leaves out may hold anything: it is not a key.
    changed[:] = keys
    changed[frame, joint] = bad
    unkeyed = mask.copy()
    unkeyed[frame, joint] = False
    fig.set_orientations(changed, unkeyed)


@pytest.mark.parametrize("value", [np.nan, np.inf, 1e300])
def test_a_channel_value_that_is_not_a_finite_float_is_refused(walk, value):
    fig = qmf.open(walk).figures[0]
    values, keyed = fig.channel("x")
    wide = values.astype(np.float64)
    wide[3] = value
    with pytest.raises(qmf.Error) as e:
        fig.set_channel("x", wide)
    assert str(e.value) == ("set_channel: the value at frame 3 is not a finite float32 (NaN, infinite, or beyond "
                            "float range); nothing was set")
    got, got_keyed = fig.channel("x")
    assert np.array_equal(bits(got), bits(values)) and np.array_equal(got_keyed, keyed)
