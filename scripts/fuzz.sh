#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time on a
# seed corpus the project writes itself, with a dictionary of its format.
# Usage: scripts/fuzz.sh [--seconds N] [--only TARGET] [--build-dir DIR]
#   --seconds N   time per target (default 60); targets: kell ma pack bvh scene
# Inputs that crash are left in DIR/fuzz/<target>-artifacts/; keep each one
# under fuzz/<target>/crashes/ so the test suite replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
build=build-fuzz
only=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds="$2"; shift ;;
    --only) only="$2"; shift ;;
    --build-dir) build="$2"; shift ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: --seconds needs a whole number" >&2; exit 2; }
case "$only" in ""|kell|ma|pack|bvh|scene) ;; *) echo "fuzz.sh: --only takes kell, ma, pack, bvh or scene" >&2; exit 2 ;; esac
scripts/deps.sh --fuzz
jobs=$(nproc 2>/dev/null || echo 2)
CC=clang CXX=clang++ cmake -S . -B "$build" -DQMF_BUILD_FUZZ=ON -DQMF_BUILD_TESTS=OFF -DQMF_BUILD_BENCH=OFF \
  -DQMF_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target kell_open_fuzzer kell_seed_corpus ma_fuzzer pack_json_fuzzer bvh_fuzzer \
  scene_fuzzer scene_seed_corpus

# One run: NAME BINARY MAX_LEN SEEDS... ; new inputs go to the first folder,
# the seeds are read each run afresh.
failed=0
run() {
  local name="$1" bin="$2" max_len="$3"
  shift 3
  [[ -z "$only" || "$only" == "$name" ]] || return 0
  local corpus="$build/fuzz/$name-corpus" artifacts="$build/fuzz/$name-artifacts/"
  mkdir -p "$corpus" "$artifacts"
  local dict=()
  [[ -f "fuzz/$name/$name.dict" ]] && dict=(-dict="fuzz/$name/$name.dict")
  echo "== fuzzing $name for ${seconds}s"
  if ! "$build/bin/$bin" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=10 \
      "${dict[@]}" -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "$@"; then
    echo "fuzz.sh: $name found a fault; the input is in $artifacts" >&2
    failed=1
  fi
}

kell_seeds="$build/fuzz/kell-seeds"
rm -rf "$kell_seeds"
mkdir -p "$kell_seeds"
"$build/bin/kell_seed_corpus" "$kell_seeds"
run kell kell_open_fuzzer 16384 "$kell_seeds"
# Hundreds of KB, so deep and repetitive structures are reachable.
run ma ma_fuzzer 262144 fuzz/ma/seeds fuzz/ma/crashes
run pack pack_json_fuzzer 262144 fuzz/pack/seeds fuzz/pack/crashes
run bvh bvh_fuzzer 262144 fuzz/bvh/seeds fuzz/bvh/crashes
scene_seeds="$build/fuzz/scene-seeds"
rm -rf "$scene_seeds"
mkdir -p "$scene_seeds"
"$build/bin/scene_seed_corpus" "$scene_seeds" >/dev/null
run scene scene_fuzzer 65536 "$scene_seeds" fuzz/scene/crashes
exit "$failed"
