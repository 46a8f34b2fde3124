#!/usr/bin/env bash
# Installs the Debian packages the build needs, or says which apt-get line to run.
# Usage: scripts/deps.sh [--fuzz | --bench-peers]
#   --bench-peers  also the readers the benchmarks compare with (assimp-utils)
set -euo pipefail
# dpkg-dev and file: the Debian package's dependencies are read from its binaries.
# librsvg2-bin: rsvg-convert, which the tests render the SVG pictures with; chromium
# runs the viewer's page in its test. libassimp-dev reads FBX, glTF and Collada;
# assimp-testmodels are real animated files the tests damage; node runs Khronos'
# glTF validator, which the tests take from npm.
pkgs=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev python3 time dpkg-dev file
      libassimp-dev assimp-testmodels pybind11-dev python3-dev python3-numpy python3-pytest librsvg2-bin chromium)
if [[ "${1:-}" == "--fuzz" ]]; then
  pkgs+=(clang libclang-rt-14-dev)
elif [[ "${1:-}" == "--bench-peers" ]]; then
  pkgs+=(assimp-utils)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)
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
