"""Opening hostile files raises one-line errors; saving is atomic and refuses what it must not replace."""
import json
import os
import stat
import subprocess
import sys

import numpy as np
import pytest

import qmf
from conftest import bits, run_qmf


def read_everything(clip):
    for sk in clip.skeletons:
        for j in sk.joints:
            (j.name, j.offset, j.orientation, j.body)
    for fig in clip.figures:
        for axis in range(3):
            fig.channel(axis)
        fig.orientations()


def expect_refusal(path):
    with pytest.raises(qmf.Error) as e:
        read_everything(qmf.open(path))
    message = str(e.value)
    assert message.startswith(str(path)) and "\n" not in message, message
    return message


@pytest.mark.parametrize("source", ["walk", "exported_rig"])
def test_truncated_files_raise(source, request, tmp_path):
    data = request.getfixturevalue(source).read_bytes()
    cut = tmp_path / "cut.qmf"
    for size in sorted(set(range(0, 64)) | set(range(64, len(data), max(1, len(data) // 97)))):
        cut.write_bytes(data[:size])
        expect_refusal(cut)


@pytest.mark.parametrize("source", ["walk", "exported_rig"])
def test_bit_flips_raise_or_read_cleanly(source, request, tmp_path):
    data = bytearray(request.getfixturevalue(source).read_bytes())
    flipped = tmp_path / "flipped.qmf"
    refused = 0
    for at in range(len(data)):
        bad = bytearray(data)
        bad[at] ^= 1 << (at % 8)
        flipped.write_bytes(bytes(bad))
        try:
            read_everything(qmf.open(flipped))
        except qmf.Error as e:
            assert "\n" not in str(e)
            refused += 1
    # The file carries a checksum: nearly every flip is caught.
    assert refused >= len(data) - 8


@pytest.mark.parametrize("content, message", [
    (b"", "not a Movantis file"),
    (b"createNode joint;\n", "not a Movantis file"),
    (b"\0" * 4096, "not a Movantis file"),
])
def test_other_files_raise(tmp_path, content, message):
    path = tmp_path / "other.qmf"
    path.write_bytes(content)
    assert message in expect_refusal(path)


def test_missing_folder_and_fifo_raise_without_blocking(tmp_path):
    fifo = tmp_path / "pipe.qmf"
    os.mkfifo(fifo)
    script = (f"import qmf\nfor p in [{str(tmp_path / 'none.qmf')!r}, {str(tmp_path)!r}, {str(fifo)!r}]:\n"
              "    try:\n        qmf.open(p)\n    except qmf.Error as e:\n        print(e)\n")
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert len(lines) == 3 and "no such file" in lines[0]
    assert all("not a regular file" in line for line in lines[1:])


def test_save_replaces_atomically_keeping_the_mode(walk, tmp_path):
    target = tmp_path / "out.qmf"
    target.write_bytes(b"old")
    os.chmod(target, 0o640)
    link = tmp_path / "link.qmf"
    os.symlink(target.name, link)
    qmf.open(walk).save(link)
    assert link.is_symlink() and stat.S_IMODE(os.stat(target).st_mode) == 0o640
    assert qmf.open(target).frame_count == 16
    assert not [p for p in os.listdir(tmp_path) if p.startswith(".qmf-tmp")]


def test_save_refuses_what_is_not_a_regular_file(walk, tmp_path):
    clip = qmf.open(walk)
    fifo = tmp_path / "pipe.qmf"
    os.mkfifo(fifo)
    for path, message in [(fifo, "is not a regular file; not replaced"), (tmp_path, "is a folder"),
                          (tmp_path / "none" / "x.qmf", "no such folder")]:
        with pytest.raises(qmf.Error, match=message):
            clip.save(path)
    assert stat.S_ISFIFO(os.stat(fifo).st_mode)


def test_saving_over_the_opened_file_keeps_the_clip_readable(tmp_path):
    # Large enough for the library to read the file in place rather than copy it.
    frames, joints = 4000, 40
    clip = qmf.Clip.new(60.0, frames)
    fig = clip.add_figure("s", [f"j{i}" for i in range(joints)], [-1] + list(range(joints - 1)))
    keys = np.random.default_rng(5).random((frames, joints, 4), dtype=np.float32)
    fig.set_orientations(keys)
    path = tmp_path / "big.qmf"
    clip.save(path)
    opened = qmf.open(path)
    opened.figures[0].set_channel("x", np.ones(frames, np.float32))
    opened.save(path)
    got, mask = opened.figures[0].orientations()
    assert mask.all() and np.array_equal(bits(got), bits(keys))
    again = qmf.open(path).figures[0]
    assert again.channel("x")[1].all() and np.array_equal(bits(again.orientations()[0]), bits(keys))


@pytest.mark.parametrize("module_dir", ["", "lib/qmf"])
def test_installed_module_is_found_under_the_prefix(tmp_path, walk, module_dir):
    build, cmake = os.environ.get("QMF_BUILD_DIR"), os.environ.get("QMF_CMAKE")
    if not build or not cmake:
        pytest.skip("QMF_BUILD_DIR and QMF_CMAKE are not set: run through ctest")
    prefix = tmp_path / "prefix"
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, capture_output=True, timeout=300,
                   env=dict(env, QMF_INSTALL_MODULE_DIR=module_dir))
    site = prefix / "lib" / "python3" / "dist-packages"
    assert list(site.glob("qmf*.so")) and (prefix / module_dir / "lib" / "libKell.so").exists()
    # A fresh interpreter that sees only the installed copy and its libraries, not the build tree.
    (prefix / "moved").mkdir()
    os.rename(prefix / "lib", prefix / "moved" / "lib")
    site = prefix / "moved" / "lib" / "python3" / "dist-packages"
    env["PYTHONPATH"] = str(site)
    script = ("import json, sys, qmf\nprint(qmf.__file__)\nprint(qmf.open(sys.argv[1]).frame_count)\n"
              "print(json.dumps(sorted({l.split()[-1] for l in open('/proc/self/maps')\n"
              "                         if 'libKell' in l or 'libmayahost' in l})))")
    r = subprocess.run([sys.executable, "-c", script, str(walk)], capture_output=True, text=True, env=env, timeout=60)
    assert r.returncode == 0, r.stderr
    module, frames, libs = r.stdout.splitlines()
    assert (module, frames) == (str(next(site.glob("qmf*.so"))), "16")
    libs = json.loads(libs)
    assert len(libs) == 2 and all(lib.startswith(str(prefix / "moved")) for lib in libs), libs


def test_dense_arrays_of_a_mostly_empty_clip_are_bounded():
    # 2^24 frames of 100 joints would be 28 GB of arrays for a clip of one key.
    clip = qmf.Clip.new(30.0, 1 << 24)
    fig = clip.add_figure("s", [f"j{i}" for i in range(100)], [-1] + [0] * 99)
    fig.channel("x")  # one channel stays small
    with pytest.raises(qmf.Error, match=r"orientation arrays of 16777216 frames x 100 joints would take \d+ MiB"):
        fig.orientations()


def test_a_clip_cut_short_while_read_raises_instead_of_giving_zeros(tmp_path):
    # Above the size from which the library reads a clip in place (8 MB).
    joints, frames = 30, 20000
    head = "HIERARCHY\nROOT j0\n{\nOFFSET 0 0 0\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    head += "".join(f"JOINT j{j}\n{{\nOFFSET 0 2 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n" for j in range(1, joints))
    head += "End Site\n{\nOFFSET 0 2 0\n}\n" + "}\n" * joints
    rows = (f"{f % 50} 90 0" + f" {f % 7} 1 2" * joints for f in range(frames))
    (tmp_path / "long.bvh").write_text(head + f"MOTION\nFrames: {frames}\nFrame Time: 0.008333\n" + "\n".join(rows) + "\n")
    clip = tmp_path / "long.qmf"
    run_qmf("convert", tmp_path / "long.bvh", clip)
    script = ("import sys, qmf\nclip = qmf.open(sys.argv[1])\nfig = clip.figures[0]\n"
              "for read in (fig.orientations, lambda: fig.channel(0), lambda: clip.save(sys.argv[1] + '.copy')):\n"
              "    try:\n        read()\n        print('done')\n    except qmf.Error as e:\n        print(e)\n")
    env = dict(os.environ, KELL_TESTING_CUT_AT_READ="1")
    r = subprocess.run([sys.executable, "-c", script, str(clip)], capture_output=True, text=True, timeout=60, env=env)
    assert r.returncode == 0, r.stderr
    assert os.path.getsize(clip) < 8 << 20, "the test hook cut the clip"
    line = f"{clip} changed while it was being read; nothing was written"
    lines = r.stdout.splitlines()
    assert lines[:2] == [line, line], r.stdout
    assert len(lines) == 3 and "changed while it was being read" in lines[2], r.stdout
    assert not os.path.exists(str(clip) + ".copy")


def test_a_path_with_a_nul_byte_is_refused_not_cut_short(walk, tmp_path):
    (tmp_path / "a").write_bytes(walk.read_bytes())      # what a cut path would name
    clip = qmf.open(walk)
    calls = [
        lambda: qmf.open(str(tmp_path / "a") + "\0.qmf"),
        lambda: qmf.open(bytes(tmp_path / "a") + b"\0.qmf"),
        lambda: clip.save(str(tmp_path / "b") + "\0.qmf"),
        lambda: qmf.read(str(tmp_path / "a") + "\0.bvh"),
    ]
    for call in calls:
        with pytest.raises(ValueError, match="embedded null byte in path"):
            call()
    assert not (tmp_path / "b").exists()
