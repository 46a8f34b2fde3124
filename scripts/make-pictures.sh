#!/usr/bin/env bash
# Redraws the README's pictures of the bundled example with qmf itself:
# docs/images/example-skeleton.svg (qmf draw of the example rig) and
# docs/images/example-curves.svg (qmf plot of the example clip).
# Usage: scripts/make-pictures.sh [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,5p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "make-pictures.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
scripts/deps.sh
[[ -f "$build/CMakeCache.txt" ]] || cmake -S . -B "$build" -DQMF_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target qmf >/dev/null
qmf="$build/bin/qmf"
# The clip keeps its own name in the pictures' titles; the folder is ours.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$qmf" pack examples/walk.json "$tmp/walk.qmf" >/dev/null
mkdir -p docs/images
"$qmf" draw examples/rig.ma -o docs/images/example-skeleton.svg
"$qmf" plot "$tmp/walk.qmf" -o docs/images/example-curves.svg
echo "docs/images/example-skeleton.svg and docs/images/example-curves.svg redrawn"
