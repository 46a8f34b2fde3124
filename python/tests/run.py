#!/usr/bin/env python3
"""Runs the module's pytest suite; exits 77 (skipped) when NumPy or pytest is missing."""
import sys

missing = []
for name in ("numpy", "pytest"):
    try:
        __import__(name)
    except ImportError:
        missing.append(name)
if missing:
    print("SKIPPED: the Python tests need " + " and ".join(missing)
          + " (apt-get install " + " ".join("python3-" + m for m in missing) + ")")
    sys.exit(77)

import pytest  # noqa: E402

sys.exit(pytest.main(sys.argv[1:]))
