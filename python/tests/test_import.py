"""The helpers against the translator: clips imported with `qmf import` onto the example rig."""
import numpy as np
import pytest

import qmf
from conftest import EXAMPLES, curve_keys, read_ma, run_qmf

ORDERS = ["xyz", "yzx", "zxy", "xzy", "yxz", "zyx"]


def rig_joints():
    """{joint: (jointOrient degrees, rotateOrder)} of the example rig."""
    out = {}
    for name, (kind, attrs) in read_ma(EXAMPLES / "rig.ma").items():
        if kind == "joint":
            out[name] = (attrs.get(".jo", [0, 0, 0])[:3], int(attrs.get(".ro", [0])[0]))
    return out


def check_import(clip_path, tmp_path):
    """Imports the clip onto the rig and checks every curve against the helpers; returns the keys seen."""
    out = tmp_path / "imported.ma"
    run_qmf("import", clip_path, EXAMPLES / "rig.ma", "-o", out)
    nodes = read_ma(out)
    clip = qmf.open(clip_path)
    fig = clip.figures[0]
    names = fig.joint_names
    film = 24.0 / clip.frame_rate  # the rig's time unit is film (24 fps)
    checked = 0

    root = names[0]
    for axis, letter in enumerate("XYZ"):
        values, keyed = fig.channel(axis)
        times, got = curve_keys(nodes, f"{root}_translate{letter}")
        np.testing.assert_allclose(times, np.flatnonzero(keyed) * film, rtol=1e-12)
        np.testing.assert_array_equal(got, qmf.translation_to_scene(values, axis)[keyed])
        checked += len(got)

    keys, keyed = fig.orientations()
    for j, name in enumerate(names):
        if f"{name}_rotateX" not in nodes:
            continue
        orient, order = rig_joints()[name]
        want = qmf.orientation_to_euler(keys[:, j], orient, order, mask=keyed[:, j])
        for axis, letter in enumerate("XYZ"):
            times, got = curve_keys(nodes, f"{name}_rotate{letter}")
            np.testing.assert_allclose(times, np.flatnonzero(keyed[:, j]) * film, rtol=1e-12)
            # The file holds degrees in shortest round-trip text: equal to a few ulps.
            np.testing.assert_allclose(got, want[keyed[:, j], axis], rtol=1e-12, atol=1e-12, err_msg=f"{name} {letter}")
            checked += len(got)
    return checked


def test_example_clip_import_matches_helpers(walk, tmp_path):
    assert check_import(walk, tmp_path) > 200


def test_clip_built_from_arrays_imports_onto_the_rig(exported_rig, tmp_path):
    rng = np.random.default_rng(11)
    skeleton = qmf.open(exported_rig).skeletons[0]
    frames, joints = 120, len(skeleton.joints)
    clip = qmf.Clip.new(30.0, frames)
    fig = clip.add_figure(skeleton.name, [j.name for j in skeleton.joints], [j.parent for j in skeleton.joints],
                          offsets=np.array([j.offset for j in skeleton.joints], np.float32),
                          orientations=np.array([j.orientation for j in skeleton.joints], np.float32))
    t = np.arange(frames)
    for axis in range(3):
        fig.set_channel(axis, (0.01 * t * (axis + 1)).astype(np.float32), rng.random(frames) < 0.8)
    # Turning all the way round and more, so the closest-solution rule matters.
    degrees = np.stack([t * 7.0, np.sin(t / 9.0) * 170.0, t * -4.5], axis=1)
    keys = np.zeros((frames, joints, 4), np.float32)
    for j in range(joints):
        keys[:, j] = qmf.euler_to_orientation(degrees + j * 13.0, (10.0 * j, 0, 0), ORDERS[j % 6])
    mask = rng.random((frames, joints)) < 0.9
    fig.set_orientations(keys, mask)
    path = tmp_path / "built.qmf"
    clip.save(path)
    assert check_import(path, tmp_path) > 1000


@pytest.mark.parametrize("order", ORDERS + [0, np.int64(5), "ZXY"])
def test_euler_round_trip_per_rotate_order(order):
    rng = np.random.default_rng(3)
    orient = (30.0, -45.0, 120.0)
    keys = rng.normal(size=(200, 4)).astype(np.float32)
    keys /= np.linalg.norm(keys, axis=1, keepdims=True)
    degrees = qmf.orientation_to_euler(keys, orient, order)
    back = qmf.euler_to_orientation(degrees, orient, order)
    # The same rotation, possibly as the opposite quaternion.
    dots = np.abs(np.sum(back.astype(np.float64) * keys, axis=1))
    np.testing.assert_allclose(dots, 1.0, atol=1e-6)
    # Closest solution: no step between keys jumps by a full turn.
    assert np.abs(np.diff(degrees, axis=0)).max() < 360.0


def test_closest_solution_runs_along_the_frames():
    # A steady turn about X past +-180 degrees keeps counting up.
    angles = np.arange(0, 720, 10.0)
    degrees = np.stack([angles, np.zeros_like(angles), np.zeros_like(angles)], axis=1)
    keys = qmf.euler_to_orientation(degrees)
    np.testing.assert_allclose(qmf.orientation_to_euler(keys)[:, 0], angles, atol=1e-4)
    mask = np.ones(len(angles), bool)
    mask[5:8] = False
    got = qmf.orientation_to_euler(keys, mask=mask)
    assert np.isnan(got[5:8]).all()
    np.testing.assert_allclose(got[mask, 0], angles[mask], atol=1e-4)


def test_translation_helpers_invert_each_other():
    scene = np.array([[100.0, -250.0, 12.5], [0.0, 0.0, -0.0]])
    file = qmf.translation_to_file(scene)
    np.testing.assert_array_equal(file, np.array([[1.0, -2.5, -0.125], [0, 0, 0]], np.float32))
    for axis in range(3):
        np.testing.assert_array_equal(qmf.translation_to_scene(file[:, axis], axis), scene[:, axis])


@pytest.mark.parametrize("call, message", [
    (lambda: qmf.orientation_to_euler(np.zeros((3, 3), np.float32)), r"keys must have shape \(n, 4\)"),
    (lambda: qmf.orientation_to_euler(np.zeros((3, 4), np.float32), (0, 0)), "joint_orient must hold 3 angles"),
    (lambda: qmf.orientation_to_euler(np.zeros((3, 4), np.float32), rotate_order="xyx"), "rotate_order must be"),
    (lambda: qmf.orientation_to_euler(np.zeros((3, 4), np.float32), rotate_order=6), "rotate_order must be"),
    (lambda: qmf.orientation_to_euler(np.zeros((3, 4), np.float32), rotate_order=2**70), "rotate_order must be"),
    (lambda: qmf.orientation_to_euler(np.zeros((3, 4), np.float32), rotate_order=1.0), "rotate_order must be"),
    (lambda: qmf.euler_to_orientation(np.zeros((3, 4))), r"degrees must have shape \(n, 3\)"),
    (lambda: qmf.translation_to_file(np.zeros(3)), r"translation must have shape \(n, 3\)"),
])
def test_helper_arguments_are_checked(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_read_rig_gives_each_joints_orient_and_order_as_the_scene_holds_them():
    rig = qmf.read_rig(EXAMPLES / "rig.ma")
    want = rig_joints()
    assert sorted(rig["names"]) == sorted(want)
    assert rig["parents"].dtype == np.int32 and rig["parents"][0] == -1
    assert all(0 <= p < i for i, p in enumerate(rig["parents"]) if i)
    for i, name in enumerate(rig["names"]):
        orient, order = want[name]
        np.testing.assert_allclose(rig["joint_orient"][i], orient, atol=1e-12, err_msg=name)
        assert rig["rotate_order"][i] == order, name


def test_read_rig_at_a_time_reads_the_curves_an_import_keyed(walk, tmp_path):
    out = tmp_path / "imported.ma"
    run_qmf("import", walk, EXAMPLES / "rig.ma", "-o", out)
    fig = qmf.open(walk).figures[0]
    keys, keyed = fig.orientations()
    film = 24.0 / qmf.open(walk).frame_rate
    frame = 7
    rig = qmf.read_rig(out, time=frame * film)
    for i, name in enumerate(rig["names"]):
        if name not in fig.joint_names or not keyed[:, fig.joint_names.index(name)].any():
            continue
        j = fig.joint_names.index(name)
        want = qmf.orientation_to_euler(keys[:, j], rig["joint_orient"][i], int(rig["rotate_order"][i]), mask=keyed[:, j])
        np.testing.assert_allclose(rig["rotate"][i], want[frame], atol=1e-9, err_msg=name)


def test_continuous_orientations_turns_keys_to_the_side_of_the_one_before():
    rng = np.random.default_rng(3)
    angles = np.linspace(0, 4 * np.pi, 50)
    smooth = np.stack([np.cos(angles / 2), np.sin(angles / 2), 0 * angles, 0 * angles], axis=1).astype(np.float32)
    flips = rng.choice([-1, 1], size=(50, 1)).astype(np.float32)
    flipped = smooth * flips
    mask = np.ones(50, bool)
    mask[10] = False
    flipped[10] = (9, 9, 9, 9)                      # not a key: kept, and skipped
    got = qmf.continuous_orientations(flipped, mask=mask)
    assert np.array_equal(got[10], flipped[10])
    kept = got[mask]
    assert (np.sum(kept[1:] * kept[:-1], axis=1) >= 0).all()
    # All on the side of the first key, which stays as it was.
    assert np.array_equal(kept, smooth[mask] * flips[0])
    # Several joints at once give what each alone gives.
    many = np.stack([flipped, -flipped[::-1]], axis=1)
    both = qmf.continuous_orientations(many)
    assert np.array_equal(both[:, 0], qmf.continuous_orientations(flipped))
    assert np.array_equal(both[:, 1], qmf.continuous_orientations(-flipped[::-1]))


@pytest.mark.parametrize("order", ORDERS)
def test_euler_filter_undoes_whole_turns_and_the_other_solution(order):
    rng = np.random.default_rng(11)
    t = np.linspace(0, 1, 80)
    smooth = np.stack([400 * t - 30, 60 * np.sin(3 * t), -500 * t + 20], axis=1)
    wrapped = smooth + 360 * rng.integers(-2, 3, size=smooth.shape)
    wrapped[0] = smooth[0]
    # The same rotation's other solution, on every third frame: the first and
    # last axes of the order a half turn on, the middle one mirrored.
    first, middle, last = ("xyz".index(c) for c in order)
    other = wrapped[::3].copy()
    other[1:, first] += 180
    other[1:, middle] = 180 - other[1:, middle]
    other[1:, last] += 180
    wrapped[::3] = other
    got = qmf.euler_filter(wrapped, order)
    np.testing.assert_allclose(got, smooth, atol=1e-9)
    # Never another rotation: the keys agree up to their sign.
    a = qmf.euler_to_orientation(got, rotate_order=order)
    b = qmf.euler_to_orientation(wrapped, rotate_order=order)
    np.testing.assert_allclose(np.abs(np.sum(a * b, axis=1)), 1, atol=1e-6)
