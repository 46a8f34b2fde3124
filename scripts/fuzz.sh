#!/usr/bin/env bash
# Builds the Kell file fuzzer with clang and runs it for a fixed time on a
# seed corpus that the project writes itself.
# Usage: scripts/fuzz.sh [--seconds N] [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
build=build-fuzz
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds="$2"; shift ;;
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,4p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: --seconds needs a whole number" >&2; exit 2; }
scripts/deps.sh --fuzz
jobs=$(nproc 2>/dev/null || echo 2)
CC=clang CXX=clang++ cmake -S . -B "$build" -DQMF_BUILD_FUZZ=ON -DQMF_BUILD_TESTS=OFF -DQMF_BUILD_BENCH=OFF \
  -DQMF_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target kell_open_fuzzer kell_seed_corpus

seeds="$build/fuzz/kell-seeds"
corpus="$build/fuzz/kell-corpus"
artifacts="$build/fuzz/kell-artifacts/"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts"
"$build/bin/kell_seed_corpus" "$seeds"
# New inputs go to the first folder; the seeds are read each run afresh.
"$build/bin/kell_open_fuzzer" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 -timeout=10 \
  -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "$seeds"
