#!/usr/bin/env bash
# Builds the project and runs every test.
# Usage: scripts/test.sh [--sanitize] [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
bench=1
cmake_args=(-DQMF_WERROR=ON -DQMF_BUILD_TESTS=ON)
while [[ $# -gt 0 ]]; do
  case "$1" in
    --sanitize) cmake_args+=(-DQMF_SANITIZE=ON -DQMF_BUILD_BENCH=OFF); build=build-asan; bench=0 ;;
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,3p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
# The example's build (scripts/run-example.sh) may have left tests off here.
[[ $bench -eq 1 ]] && cmake_args+=(-DQMF_BUILD_BENCH=ON)
cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
