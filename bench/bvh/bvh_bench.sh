#!/usr/bin/env bash
# Times BVH reading and `qmf convert` BVH -> clip on a long capture: the CMU
# file's motion repeated to 100,000 frames. Compares the read with assimp
# (`assimp info`, Debian package assimp-utils) when it is installed, and
# reports peak memory against the size of the clip written.
# Usage: bench/bvh/bvh_bench.sh [--build-dir DIR] [--frames N] [--source FILE.bvh] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build
frames=100000
source=../shared/corpus/bvh/01_01.bvh
runs=3
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$2"; shift ;;
    --frames) frames="$2"; shift ;;
    --source) source="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    -h|--help) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bvh_bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
for tool in "$build/bin/bvh_read" "$build/bin/qmf"; do
  [[ -x "$tool" ]] || { echo "bvh_bench.sh: $tool not built (cmake --build $build --target bvh_read qmf)" >&2; exit 2; }
done
[[ -f "$source" ]] || { echo "bvh_bench.sh: no source capture at $source" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "bvh_bench.sh: needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
long="$work/long.bvh"
# The hierarchy as it is, then the motion lines repeated up to the frame count.
awk -v want="$frames" '
  BEGIN { inMotion = 0; n = 0 }
  !inMotion { if ($1 == "Frames:") { print "Frames: " want; next }
              print; if ($1 == "Frame" && $2 == "Time:") inMotion = 1; next }
  NF > 0 { line[n++] = $0 }
  END { for (i = 0; i < want; i++) print line[i % n] }' "$source" | tr -d '\r' > "$long"
echo "input: $frames frames of $(basename "$source"), $(( $(stat -c %s "$long") / 1048576 )) MB"

# Best of N runs: prints "seconds peak-KB".
best() {
  local bestS="" bestK="" s k
  for ((i = 0; i < runs; i++)); do
    if ! /usr/bin/time -o "$work/time" -f "%e %M" "$@" >/dev/null 2>"$work/err"; then
      echo "bvh_bench.sh: $* failed: $(tail -1 "$work/err")" >&2
      return 1
    fi
    read -r s k <"$work/time"
    if [[ -z "$bestS" ]] || awk -v a="$s" -v b="$bestS" 'BEGIN { exit !(a < b) }'; then bestS=$s; bestK=$k; fi
  done
  echo "$bestS $bestK"
}

read -r readS readK <<<"$(best "$build/bin/bvh_read" "$long")"
printf '%-34s %8ss %8s MB\n' "qmf BVH read (bvh_read)" "$readS" "$((readK / 1024))"
if command -v assimp >/dev/null 2>&1; then
  read -r aS aK <<<"$(best assimp info "$long")"
  printf '%-34s %8ss %8s MB\n' "assimp info" "$aS" "$((aK / 1024))"
  awk -v a="$aS" -v q="$readS" 'BEGIN { if (q > 0) printf "read speed: %.1fx assimp\n", a / q }'
else
  echo "assimp not installed (scripts/deps.sh --bench-peers installs it): no peer to compare the read with"
fi

read -r cS cK <<<"$(best "$build/bin/qmf" convert "$long" "$work/long.qmf")"
clip=$(stat -c %s "$work/long.qmf")
printf '%-34s %8ss %8s MB\n' "qmf convert BVH -> clip" "$cS" "$((cK / 1024))"
awk -v k="$cK" -v c="$clip" 'BEGIN { printf "clip: %.1f MB; peak memory of the conversion: %.2fx the clip\n", c / 1048576, k * 1024 / c }'
# A scene's curves are written curve by curve from keys spooled to disk:
# memory should not follow the frame count (compare --frames runs).
read -r mS mK <<<"$(best "$build/bin/qmf" convert "$long" "$work/long.ma")"
printf '%-34s %8ss %8s MB (scene %d MB)\n' "qmf convert BVH -> .ma" "$mS" "$((mK / 1024))" \
  "$(( $(stat -c %s "$work/long.ma") / 1048576 ))"
rm -f "$work/long.ma"

# Real captures as they are: qmf convert to a clip against assimp info, run in
# turn (qmf, assimp, qmf, ...); CPU seconds (user + sys, microseconds from
# wait4: these runs last tens of milliseconds), the medians and the median of
# the pairs' ratios.
if command -v assimp >/dev/null 2>&1; then
  echo "real captures, qmf convert BVH -> clip against assimp info, CPU s ($((runs * 5)) pairs):"
  python3 - "$build/bin/qmf" "$work/real.qmf" "$((runs * 5))" ../shared/corpus/bvh/Boxing_Toes.bvh \
    ../shared/corpus/bvh/01_01.bvh ../shared/corpus/bvh/test_mocapbank.bvh /usr/share/assimp/models/BVH/01_03.bvh <<'PY'
import os, statistics, subprocess, sys
qmf, out, pairs, files = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
def cpu(cmd):
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, use = os.wait4(p.pid, 0)
    if status:
        raise SystemExit("bvh_bench.sh: %s failed" % " ".join(cmd))
    return use.ru_utime + use.ru_stime
for f in files:
    if not os.path.exists(f):
        continue
    q, a = [], []
    for _ in range(pairs):
        q.append(cpu([qmf, "convert", f, out]))
        a.append(cpu(["assimp", "info", f]))
    r = statistics.median(x / y for x, y in zip(q, a) if y > 0)
    print("  %-22s qmf %.4f s, assimp %.4f s (medians); qmf / assimp %.2f"
          % (os.path.basename(f), statistics.median(q), statistics.median(a), r))
PY
fi
