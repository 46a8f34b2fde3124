#!/usr/bin/env bash
# `qmf --version` prints the project's version and nothing else, succeeds,
# and `qmf --help` tells of it.
# Usage: version_test.sh QMF VERSION
set -uo pipefail
qmf=$1 version=$2
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "FAIL: project version '$version' is not x.y.z" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qmf-version-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
out=$("$qmf" --version 2>"$tmp/err")
status=$?
err=$(cat "$tmp/err")
[[ $status -eq 0 ]] || { echo "FAIL: qmf --version exited $status" >&2; exit 1; }
[[ $out == "qmf $version" && -z $err ]] || { echo "FAIL: qmf --version printed [$out] [$err], want [qmf $version]" >&2; exit 1; }
"$qmf" --help | grep -q -- '--version' || { echo "FAIL: qmf --help does not list --version" >&2; exit 1; }
echo "qmf --version: qmf $version"
