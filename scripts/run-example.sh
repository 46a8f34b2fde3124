#!/usr/bin/env bash
# The main job on the bundled example: builds qmf, exports the example rig's
# skeleton to a Movantis file, imports the example clip onto the rig and
# writes the animated scene under build/example/.
# Usage: scripts/run-example.sh [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,5p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "run-example.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
# Only what the build needs: the test command installs what tests use.
scripts/deps.sh --build
jobs=$(nproc 2>/dev/null || echo 2)
echo "== building qmf and the translator in $build/ (a few minutes the first time)"
cmake -S . -B "$build" -DQMF_WERROR=ON -DQMF_BUILD_TESTS=OFF -DQMF_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target qmf qmfTranslator >/dev/null
qmf="$build/bin/qmf"
out="$build/example"
mkdir -p "$out"

echo "== qmf export examples/rig.ma $out/rig.qmf"
"$qmf" export examples/rig.ma "$out/rig.qmf"
echo "== qmf pack examples/walk.json $out/walk.qmf"
"$qmf" pack examples/walk.json "$out/walk.qmf"
echo "== qmf import $out/walk.qmf examples/rig.ma -o $out/rig_walk.ma"
"$qmf" import "$out/walk.qmf" examples/rig.ma -o "$out/rig_walk.ma"
echo "== qmf info $out/rig.qmf"
"$qmf" info "$out/rig.qmf"
echo
echo "Animated scene: $out/rig_walk.ma"
