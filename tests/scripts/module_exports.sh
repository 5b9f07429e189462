#!/usr/bin/env bash
# The module exports exactly its three entry points.
set -euo pipefail
bin="$1"
module="$bin/Velto.Vapixcam.vdx"
[ -f "$module" ] || { echo "missing $module"; exit 1; }
[ -f "$bin/Velto.Vapixcam.rep" ] || { echo "the repository is not installed next to the module"; exit 1; }
functions=$(nm -D --defined-only "$module" | awk '$2 == "T" || $2 == "W" || $2 == "i" { print $3 }' | sort | tr '\n' ' ')
expected="finiModule getModule initModule "
if [ "$functions" != "$expected" ]; then
  echo "exported functions: '$functions', expected '$expected'"
  exit 1
fi
echo "exports: $functions"
