#!/usr/bin/env bash
# Installs the Debian packages a job needs, or says which apt-get line to run.
# Usage: scripts/deps.sh [--build | --fuzz | --bench-peers]
#   (none)         what building and running every test needs
#   --build        only what building qmf and the translator needs (the example)
#   --fuzz         also clang and its fuzzing runtime
#   --bench-peers  also the readers the benchmarks compare with (assimp-utils)
set -euo pipefail
# What the build itself needs: the compiler, CMake, JSON and assimp (FBX, glTF
# and Collada are read through it).
build=(g++ cmake make nlohmann-json3-dev libassimp-dev)
# What only the tests, benchmarks, the Python module and the package use:
# dpkg-dev and file read the package's dependencies from its binaries;
# librsvg2-bin renders the SVG pictures; chromium runs the viewer's page;
# assimp-testmodels are real animated files the tests damage; node runs
# Khronos' glTF validator, which the tests take from npm.
tests=(libgtest-dev libgmock-dev libbenchmark-dev python3 time dpkg-dev file assimp-testmodels
       pybind11-dev python3-dev python3-numpy python3-pytest librsvg2-bin chromium)
pkgs=("${build[@]}")
case "${1:-}" in
  --build) ;;
  --fuzz) pkgs+=("${tests[@]}" clang libclang-rt-14-dev) ;;
  --bench-peers) pkgs+=("${tests[@]}" assimp-utils) ;;
  "") pkgs+=("${tests[@]}") ;;
  -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "deps.sh: unknown option $1" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ "${1:-}" != "--build" ]] && ! { command -v node >/dev/null && command -v npm >/dev/null; }; then
  missing+=(nodejs npm)
fi
[[ ${#missing[@]} -eq 0 ]] && exit 0
if [[ $(id -u) -eq 0 ]]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1 || {
    apt-get update -qq >/dev/null && apt-get install -y -qq "${missing[@]}" >/dev/null
  }
else
  echo "Missing packages. Run:  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
