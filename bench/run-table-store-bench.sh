#!/usr/bin/env bash
# A stored table of 100,000 and 1,000,000 rows (five columns) through
# table_store_bench, and Python's plistlib loading and dumping the same
# table file, all on one core. Prints one line per step.
#   run-table-store-bench.sh [build-bench/bench/table_store_bench]
# ROWS ("100000 1000000") and CPU (0) change the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-$here/../build-bench/bench/table_store_bench}
rows_list=${ROWS:-100000 1000000}
cpu=${CPU:-0}
. "$here/bench-common.sh"
bench_require_built "$binary"
bench_require_tools python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for rows in $rows_list; do
  folder=$work/store-$rows
  echo "== $rows rows"
  echo "   store:     $(taskset -c "$cpu" "$binary" "$rows" "$folder")"
  table=$(find "$folder" -maxdepth 1 -name 'tbl-*' | head -n 1)
  echo "   plistlib:  $(taskset -c "$cpu" python3 "$here/peers/plist_load_dump.py" "$table")"
  rm -rf "$folder"
done
