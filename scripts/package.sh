#!/usr/bin/env bash
# Builds the Debian package of qmf (the command and the Maya module) with
# CPack from a plain build, into BUILD/package/.
# Usage: scripts/package.sh [--build-dir DIR] [--check]
#   --check  then, as root, install it with apt-get, run the installed qmf on
#            the example in a temporary folder and remove the package again
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
check=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$2"; shift ;;
    --check) check=1 ;;
    -h|--help) sed -n '2,6p' "$0" | sed 's/^# //'; exit 0 ;;
    *) echo "package.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
scripts/deps.sh
if grep -q '^QMF_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "package.sh: $build is a sanitizer build; package a plain one" >&2
  exit 2
fi
jobs=$(nproc 2>/dev/null || echo 2)
[[ -f $build/CMakeCache.txt ]] || cmake -S . -B "$build" -DQMF_WERROR=ON >/dev/null
# cpack builds what is missing itself; an up-to-date build costs nothing here.
cmake --build "$build" -j "$jobs" >/dev/null
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B package >/dev/null)
deb=$(find "$build/package" -maxdepth 1 -name 'qmf_*.deb' -print -quit)
[[ -n $deb ]] || { echo "package.sh: cpack made no .deb in $build/package" >&2; exit 1; }
deb=$(realpath "$deb")
echo "== package: $deb"
dpkg-deb --field "$deb" Package Version Depends
[[ $check -eq 1 ]] || exit 0

# The check: the package on this machine, used as a user would, then gone.
[[ $(id -u) -eq 0 ]] || { echo "package.sh: --check installs the package: run it as root" >&2; exit 2; }
if dpkg-query -W -f='${Status}' qmf 2>/dev/null | grep -q "install ok installed"; then
  echo "package.sh: a qmf package is installed already; --check would remove it" >&2
  exit 2
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qmf-package-check.XXXXXX")
cleanup() {
  rm -rf "$tmp"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq qmf >/dev/null 2>&1 || true
}
trap cleanup EXIT
echo "== apt-get install $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
fail() { echo "package check: $*" >&2; exit 1; }
[[ $(command -v qmf) == /usr/bin/qmf ]] || fail "qmf is not /usr/bin/qmf"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "== qmf --version"
[[ $(/usr/bin/qmf --version) == "qmf $version" ]] || fail "qmf --version: $(/usr/bin/qmf --version)"
/usr/bin/qmf --version
[[ -f /usr/lib/qmf/qmf.mod && -f /usr/lib/qmf/plug-ins/qmfTranslator.so ]] || fail "no Maya module in /usr/lib/qmf"
bash -c 'source /usr/share/bash-completion/completions/qmf && complete -p qmf' >/dev/null ||
  fail "no bash completion for qmf"
# The manual page holds every command's --help; the README's pictures and the
# copyright file are where Debian looks.
zcat /usr/share/man/man1/qmf.1.gz | grep -q '^\.SS convert$' || fail "no qmf(1) manual page with the commands"
[[ -f /usr/share/doc/qmf/copyright ]] || fail "no /usr/share/doc/qmf/copyright"
for img in $(sed -n 's/.*](\(docs\/images\/[^)]*\)).*/\1/p' /usr/share/doc/qmf/README.md); do
  [[ -f /usr/share/doc/qmf/$img ]] || fail "the README's picture $img is not installed"
done
echo "== the installed qmf on the installed example, in $tmp"
ex=/usr/share/doc/qmf/examples
(
  cd "$tmp"
  /usr/bin/qmf export "$ex/rig.ma" rig.qmf
  /usr/bin/qmf pack "$ex/walk.json" walk.qmf
  /usr/bin/qmf import walk.qmf "$ex/rig.ma" -o rig_walk.ma
  /usr/bin/qmf identify rig.qmf walk.qmf
  # glTF is read by the child process through the installed reader module.
  /usr/bin/qmf convert walk.qmf walk.glb
  /usr/bin/qmf info walk.glb | grep -q '^joints: ' || fail "the installed qmf cannot read a glTF file back"
)
# The same files as the build's own command writes.
built=$(realpath "$build/bin/qmf")
mkdir "$tmp/built"
(
  cd "$tmp/built"
  "$built" export "$ex/rig.ma" rig.qmf
  "$built" pack "$ex/walk.json" walk.qmf
  "$built" import walk.qmf "$ex/rig.ma" -o rig_walk.ma
) >/dev/null
for f in rig.qmf walk.qmf rig_walk.ma; do
  cmp -s "$tmp/$f" "$tmp/built/$f" || fail "$f from the installed qmf differs from the build's"
done
if compgen -G '/usr/lib/python3/dist-packages/qmf.cpython-*.so' >/dev/null && /usr/bin/python3 -c 'import numpy' 2>/dev/null; then
  echo "== the installed Python module on the installed example"
  (cd "$tmp" && /usr/bin/python3 -W ignore -c 'import qmf, sys; c = qmf.open("walk.qmf"); print("walk.qmf:", c.frame_count, "frames at", c.frame_rate)
assert qmf.read("walk.glb").frame_count == c.frame_count') ||
    fail "the installed Python module cannot read the example clip and its glTF"
fi
echo "== apt-get purge qmf"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq qmf >/dev/null
[[ ! -e /usr/bin/qmf && ! -e /usr/lib/qmf ]] || fail "files left after removing the package"
echo "== package check passed"
