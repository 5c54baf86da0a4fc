#!/usr/bin/env bash
# Saves and opens projects with 10,000, 100,000 and 1,000,000 recipients
# (five fields each, and a sparse variant of 76 fields with five filled)
# through document_bench, and has Python's plistlib load and dump each
# file, all on one core. Prints one line per step.
#   run-document-bench.sh [build-bench/bench/document_bench]
# ROWS ("10000 100000 1000000"), VARIANTS ("five sparse") and CPU (0) change the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-$here/../build-bench/bench/document_bench}
rows_list=${ROWS:-10000 100000 1000000}
variants=${VARIANTS:-five sparse}
cpu=${CPU:-0}
. "$here/bench-common.sh"
bench_require_built "$binary"
bench_require_tools python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for variant in $variants; do
  for rows in $rows_list; do
    file=$work/$variant-$rows.quorv2
    echo "== $variant, $rows rows"
    echo "   save:      $(taskset -c "$cpu" "$binary" write "$rows" "$variant" "$file")"
    echo "   open:      $(taskset -c "$cpu" "$binary" open "$file")"
    echo "   plistlib:  $(taskset -c "$cpu" python3 "$here/peers/plist_load_dump.py" "$file")"
    rm -f "$file"
  done
done
