"""Shared fixtures: the built module, the qmf command and the bundled example."""
import os
import re
import subprocess
from pathlib import Path

import numpy as np
import pytest

import qmf  # noqa: F401  (imported here so a missing module fails every test at once)

QMF_EXE = os.environ.get("QMF_EXE", "")
EXAMPLES = Path(os.environ.get("QMF_EXAMPLES_DIR", Path(__file__).resolve().parents[2] / "examples"))


def run_qmf(*args, check=True):
    if not QMF_EXE:
        pytest.skip("QMF_EXE is not set: run through ctest")
    r = subprocess.run([QMF_EXE, *map(str, args)], capture_output=True, text=True, timeout=120)
    if check and r.returncode != 0:
        raise AssertionError(f"qmf {' '.join(map(str, args))} failed: {r.stderr.strip()}")
    return r


@pytest.fixture
def walk(tmp_path):
    """The example clip, packed from its JSON form by the tool."""
    out = tmp_path / "walk.qmf"
    run_qmf("pack", EXAMPLES / "walk.json", out)
    return out


def bits(a):
    """The raw bits of a float32 array, so NaN payloads and -0.0 compare too."""
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


_NODE = re.compile(r'^createNode (\w+) -n "([^"]+)"')
_SETATTR = re.compile(r'^\s*setAttr (?:-s \d+ )?"([^"]+)"(?: -type "\w+")? (.*?);\s*$')


def read_ma(path):
    """Nodes of a Maya ASCII file the tool wrote: {name: (type, {attr: [values]})}.

    Enough for the files of these tests: one statement a line, numeric values."""
    nodes, current = {}, None
    for line in Path(path).read_text().splitlines():
        m = _NODE.match(line)
        if m:
            current = nodes.setdefault(m.group(2), (m.group(1), {}))
            continue
        m = _SETATTR.match(line)
        if m and current is not None:
            values = []
            for tok in m.group(2).split():
                try:
                    values.append(float(tok))
                except ValueError:
                    values.append(tok)
            current[1][m.group(1)] = values
    return nodes


def curve_keys(nodes, name):
    """(times, values) of an animation curve node."""
    attrs = nodes[name][1]
    ktv = [v for k, v in attrs.items() if k.startswith(".ktv")][0]
    return np.array(ktv[0::2]), np.array(ktv[1::2])


@pytest.fixture
def exported_rig(tmp_path):
    """The example rig's skeleton as the translator exports it (bones and bounds)."""
    out = tmp_path / "rig.qmf"
    run_qmf("export", EXAMPLES / "rig.ma", out)
    return out
