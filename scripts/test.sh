#!/usr/bin/env bash
# Builds the project and runs every test.
# Usage: scripts/test.sh [--sanitize] [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
cmake_args=(-DQMF_WERROR=ON)
while [[ $# -gt 0 ]]; do
  case "$1" in
    --sanitize) cmake_args+=(-DQMF_SANITIZE=ON -DQMF_BUILD_BENCH=OFF); build=build-asan ;;
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,3p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
