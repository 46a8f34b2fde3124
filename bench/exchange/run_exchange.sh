#!/bin/sh
# Whole-command benchmarks of reading FBX, glTF and Collada and writing glTF.
#
#   bench/exchange/run_exchange.sh [--build DIR] [--joints N] [--frames N] [--runs N] [FILE...]
#
# Needs a Release build (default build-rel) with qmf, qmfTranslator and gen_clip,
# and assimp-utils (the assimp command). Times are wall and CPU seconds from
# /usr/bin/time, the minimum of --runs runs.
#   clip -> glb:  qmf convert of a generated clip (60 joints x 100,000 frames at
#                 120 fps) to .glb: output MB per wall second, and the file's size
#                 against its float data (times, rotations, root translations).
#   glb -> clip:  qmf convert of that glb back to a clip, against `assimp info`
#                 of the same file (the library's parse with its checks).
#   FILE -> clip: the same for each FILE given (default: the animated files of
#                 ../shared/corpus/formats).
set -eu

build=build-rel joints=60 frames=100000 runs=3
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --joints) joints=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run_exchange.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
bin=$build/bin
for t in qmf gen_clip; do
    [ -x "$bin/$t" ] || { echo "run_exchange.sh: $bin/$t is missing; build it first" >&2; exit 2; }
done
command -v assimp >/dev/null || { echo "run_exchange.sh: needs assimp (Debian package assimp-utils)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "run_exchange.sh: needs /usr/bin/time (Debian package time)" >&2; exit 2; }
if [ $# -eq 0 ]; then
    corpus=$(dirname "$0")/../../../shared/corpus/formats
    set -- "$corpus"/*.fbx "$corpus"/*.glb "$corpus"/*.dae
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qmf-exchange-XXXXXX")
trap 'rm -rf "$work"' EXIT

# best COMMAND...: the least "wall cpu" of $runs runs (any exit status: assimp
# info refuses files without meshes after reading them).
best() {
    : >"$work/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
        tail -1 "$work/time" | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' >>"$work/times"
        i=$((i + 1))
    done
    sort -n "$work/times" | head -1
}

"$bin/gen_clip" "$work" "$joints" "$frames" 120 >/dev/null
rm -f "$work/long.glb"
set -- "$work/long.glb" "$@"
w=$(best "$bin/qmf" convert "$work/clip.qmf" "$work/long.glb")
size=$(wc -c <"$work/long.glb")
floats=$(awk -v f="$frames" -v j="$joints" 'BEGIN { printf "%d", f * (4 + 16 * j + 12) }')
echo "clip -> glb, $joints joints x $frames frames: $w (wall, cpu s); $(awk -v s="$size" -v w="${w%% *}" 'BEGIN { printf "%.0f MB/s of output", s / 1e6 / w }'); $size bytes, $(awk -v s="$size" -v f="$floats" 'BEGIN { printf "%.4f", s / f }') x its float data"

printf '%-45s %18s %18s %8s\n' "FILE -> clip" "qmf (wall cpu)" "assimp info" "ratio"
for f in "$@"; do
    [ -f "$f" ] || continue
    q=$(best "$bin/qmf" convert "$f" "$work/out.qmf")
    a=$(best assimp info "$f")
    printf '%-45s %18s %18s %8s\n' "$(basename "$f")" "$q" "$a" "$(echo "$q $a" | awk '{ printf "%.2f", ($3 > 0 ? $1 / $3 : 0) }')"
done
