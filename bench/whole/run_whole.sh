#!/bin/sh
# Whole-command benchmarks of `qmf import` against floors written without the
# host (import_floor), on a generated rig and clip keyed on every frame.
#
#   bench/whole/run_whole.sh [--build DIR] [--joints N] [--frames N] [--fps F]
#                            [--runs N] [--check] [--keep]
#
# Needs a Release build (default build-rel):
#   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-rel --target qmf qmfTranslator gen_clip import_floor read_into_host
#
# Runs alternate floor and qmf, --runs times each; times are CPU seconds
# (user + sys, from /usr/bin/time), reported as min and median.
#   whole import: qmf import (read the clip, key the rig, write the .ma) against
#                 the floor's per-key maths plus the same keys written with
#                 shortest round-trip formatting; peak memory per key written.
#   read into host: the translator's read alone (read_into_host) against the
#                 floor's per-key maths alone.
#   bake:         qmf convert of the scene the import wrote back into a clip,
#                 against the import's CPU time; peak memory against 1.5x the
#                 scene's text plus the clip.
#   retarget:     qmf retarget of the clip onto the rig, to a clip, against the
#                 import's CPU time; peak memory against 1.5x the two clips.
#   clip opens:   how many times qmf import opens the clip (strace, if present).
# --check compares every key qmf wrote with the floor's (numbers as written).
set -eu

build=build-rel joints=60 frames=100000 fps=120 runs=3 check=0 keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --joints) joints=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    --fps) fps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --check) check=1; shift ;;
    --keep) keep=1; shift ;;
    *) echo "run_whole.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
bin=$build/bin
for t in qmf gen_clip import_floor read_into_host; do
    [ -x "$bin/$t" ] || { echo "run_whole.sh: $bin/$t is missing; build it first (see the top of this script)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "run_whole.sh: needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qmf-whole-XXXXXX")
[ "$keep" = 1 ] || trap 'rm -rf "$work"' EXIT
"$bin/gen_clip" "$work" "$joints" "$frames" "$fps"
echo "clip: $joints joints x $frames frames at $fps fps, $(wc -c <"$work/clip.qmf") bytes; work folder $work"

# cpu COMMAND... : runs it, appends "user+sys peakKB" to $work/last
cpu() {
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
        echo "run_whole.sh: failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    awk '{ printf "%.3f %d %.3f %.3f\n", $1 + $2, $3, $1, $2 }' "$work/time"
}
# stats FILE: "min median" of the first column
stats() { sort -n "$1" | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f", v[1], m }'; }

: >"$work/floor1"; : >"$work/qmf1"; : >"$work/floor2"; : >"$work/read2"; : >"$work/qmfmem"; : >"$work/bake"; : >"$work/retarget"
i=0
while [ "$i" -lt "$runs" ]; do
    # Each writes a file that is not there, its previous output removed just
    # before it runs. Over an existing output qmf would pay for holding both
    # (it replaces atomically, the floor truncates in place): the kernel then
    # finds fresh pages for the text instead of reusing the old file's.
    rm -f "$work/floor.ma"
    cpu "$bin/import_floor" "$work/clip.qmf" "$joints" "$work/floor.ma" >>"$work/floor1"
    rm -f "$work/out.ma"
    cpu "$bin/qmf" import "$work/clip.qmf" "$work/rig.ma" -o "$work/out.ma" >"$work/run"
    cat "$work/run" >>"$work/qmf1"
    # Baking the scene the import wrote back into a clip, over its playback range.
    rm -f "$work/back.qmf"
    cpu "$bin/qmf" convert "$work/out.ma" "$work/back.qmf" >>"$work/bake"
    # Retargeting the clip onto the rig, to a clip.
    rm -f "$work/moved.qmf"
    cpu "$bin/qmf" retarget "$work/clip.qmf" "$work/rig.ma" -o "$work/moved.qmf" >>"$work/retarget"
    "$bin/import_floor" "$work/clip.qmf" "$joints" "$work/none.ma" --no-write |
        sed -n 's/.*maths \([0-9.]*\) s.*/\1/p' >>"$work/floor2"
    "$bin/read_into_host" "$work/clip.qmf" "$work/rig.ma" | sed -n 's/.*keys, \([0-9.]*\) s CPU.*/\1/p' >>"$work/read2"
    i=$((i + 1))
done
keys=$(( (joints * 3 + 3) * frames ))
set -- $(stats "$work/floor1"); fmin=$1 fmed=$2
set -- $(stats "$work/qmf1"); qmin=$1 qmed=$2
peak=$(awk '{ print $2 }' "$work/qmf1" | sort -n | tail -1)
fpeak=$(awk '{ print $2 }' "$work/floor1" | sort -n | tail -1)
clipbytes=$(wc -c <"$work/clip.qmf")
echo
echo "whole import ($keys keys, $(wc -c <"$work/out.ma") bytes written), CPU s min / median:"
echo "  floor      $fmin / $fmed   peak $((fpeak / 1024)) MB"
echo "  qmf import $qmin / $qmed   peak $((peak / 1024)) MB"
awk -v a="$qmin" -v b="$fmin" -v c="$qmed" -v d="$fmed" 'BEGIN { printf "  ratio      %.2f / %.2f\n", a / b, c / d }'
# The kernel's share varies with the machine's memory (pages for the text).
for f in floor1 qmf1; do
    awk '{ print $3 }' "$work/$f" >"$work/user"; awk '{ print $4 }' "$work/$f" >"$work/sys"
    echo "  $f: user $(stats "$work/user"), sys $(stats "$work/sys") (min / median)"
done | sed 's/floor1/floor     /; s/qmf1/qmf import/'
awk -v p="$peak" -v k="$keys" -v c="$clipbytes" \
    'BEGIN { printf "  qmf peak per key: %.1f bytes (%.1f without the clip held open)\n", p * 1024 / k, (p * 1024 - c) / k }'
set -- $(stats "$work/bake"); bmin=$1 bmed=$2
bpeak=$(awk '{ print $2 }' "$work/bake" | sort -n | tail -1)
textbytes=$(wc -c <"$work/out.ma")
echo "bake (qmf convert out.ma back.qmf: the scene the import wrote, back to a clip), CPU s min / median:"
echo "  bake       $bmin / $bmed   peak $((bpeak / 1024)) MB"
awk -v a="$bmin" -v b="$qmin" -v c="$bmed" -v d="$qmed" 'BEGIN { printf "  to import  %.2f / %.2f (at most 1 is the aim)\n", a / b, c / d }'
awk -v p="$bpeak" -v t="$textbytes" -v c="$clipbytes" \
    'BEGIN { printf "  peak %.0f MB against 1.5 x the scene text + the clip = %.0f MB\n", p / 1024, (1.5 * t + c) / 1048576 }'
set -- $(stats "$work/retarget"); tmin=$1 tmed=$2
tpeak=$(awk '{ print $2 }' "$work/retarget" | sort -n | tail -1)
echo "retarget (qmf retarget clip.qmf rig.ma -o moved.qmf), CPU s min / median:"
echo "  retarget   $tmin / $tmed   peak $((tpeak / 1024)) MB"
awk -v a="$tmin" -v b="$qmin" -v c="$tmed" -v d="$qmed" 'BEGIN { printf "  to import  %.2f / %.2f (at most 2 is the aim)\n", a / b, c / d }'
awk -v p="$tpeak" -v c="$clipbytes" 'BEGIN { printf "  peak %.0f MB against 1.5 x the two clips = %.0f MB\n", p / 1024, 3 * c / 1048576 }'
set -- $(stats "$work/floor2"); mmin=$1 mmed=$2
set -- $(stats "$work/read2"); rmin=$1 rmed=$2
echo "read into host, CPU s min / median:"
echo "  floor maths $mmin / $mmed"
echo "  translator  $rmin / $rmed"
awk -v a="$rmin" -v b="$mmin" -v c="$rmed" -v d="$mmed" 'BEGIN { printf "  ratio       %.2f / %.2f\n", a / b, c / d }'
if command -v strace >/dev/null 2>&1; then
    strace -e trace=openat,read,mmap,close -o "$work/trace" "$bin/qmf" import "$work/clip.qmf" "$work/rig.ma" -o "$work/out.ma" >/dev/null 2>&1 || true
    # Bytes read or mapped through descriptors opened on the clip: 1.00x its
    # size means it was read once.
    awk -v size="$clipbytes" '
        /openat\(.*clip\.qmf/ { fd = $NF; open[fd] = 1; opens++ }
        /^read\(/ { split($1, a, "("); sub(",", "", a[2]); if (open[a[2]]) bytes += $NF }
        /^mmap\(/ { split($0, a, ", "); if (open[a[5]]) bytes += a[2] }
        /^close\(/ { split($1, a, "("); sub("\\)", "", a[2]); delete open[a[2]] }
        END { printf "clip read by qmf import: %d opens, %d bytes read or mapped = %.2fx the clip (opens for a header check read at most 2 KB)\n", opens, bytes, bytes / size }' "$work/trace"
fi
if [ "$check" = 1 ]; then
    python3 - "$work/floor.ma" "$work/out.ma" <<'PY'
import sys
# Both files list the curves in the same order: compare them as they come,
# one .ktv line at a time.
def curves(path):
    name = None
    with open(path) as f:
        for line in f:
            if line.startswith("createNode animCurve"):
                name = line.split('"')[1]
            elif name and '".ktv[' in line:
                yield name, line.split('"', 2)[2].rstrip(";\n").split()
                name = None
worst, n, count = 0.0, 0, 0
qmf = curves(sys.argv[2])
for name, a in curves(sys.argv[1]):
    other, b = next(qmf, (None, None))
    assert other == name and len(a) == len(b), "curve %s differs in name or length" % name
    for x, y in zip(map(float, a), map(float, b)):
        worst = max(worst, abs(x - y) / max(1.0, abs(x)))
    n += len(a)
    count += 1
assert next(qmf, None) is None, "qmf wrote more curves"
print("checked %d numbers (times and values) of %d curves against the floor: largest difference %.3g (relative above 1)" % (n, count, worst))
sys.exit(0 if worst < 1e-9 else 1)
PY
fi
