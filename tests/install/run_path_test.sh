#!/usr/bin/env bash
# The shipped binaries' run paths, as built: every entry absolute or from
# $ORIGIN. An empty entry (or a relative one) makes the loader look for the
# libraries in whatever folder the command is run from.
# Usage: run_path_test.sh BINARY...
set -euo pipefail
status=0
for f in "$@"; do
  paths=$(readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
  [[ -z "$paths" ]] && continue
  if [[ "$paths" == *: || "$paths" == :* || "$paths" == *::* ]]; then
    echo "$f: an empty run path entry in '$paths'" >&2
    status=1
    continue
  fi
  IFS=: read -r -a entries <<<"$paths"
  for e in "${entries[@]}"; do
    [[ "$e" == /* || "$e" == '$ORIGIN'* ]] || { echo "$f: a relative run path entry '$e'" >&2; status=1; }
  done
done
exit $status
