#!/usr/bin/env bash
# The project window's speed targets on one core: a 1,000,000-row, 100 MB
# delimited file (csv_read_bench's reference file) imported as a stored
# table and exported as tab-separated text beside Python's csv.writer
# writing the same rows, 10,000 columns ordered, and the window opened on a
# store of 100 tables with 100,000 rows in all.
#   run-project-window-bench.sh [BENCH-DIR]   (default: build-bench/bench)
# Environment: ROWS (1000000), CPU (0).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:-$here/../build-bench/bench}
rows=${ROWS:-1000000}
cpu=${CPU:-0}
. "$here/bench-common.sh"
bench_require_built "$dir/project_window_bench" "$dir/csv_read_bench"
bench_require_tools python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$dir/csv_read_bench" --write "$work/recipients.csv" "$rows"

echo "import:        $(taskset -c "$cpu" "$dir/project_window_bench" import "$work/recipients.csv" "$work/store")"
echo "export:        $(taskset -c "$cpu" "$dir/project_window_bench" export "$work/store" "$work/out.txt")"
echo "python export: $(taskset -c "$cpu" python3 "$here/peers/tsv_write.py" "$work/recipients.csv" "$work/py.txt")"
echo "columns:       $(taskset -c "$cpu" "$dir/project_window_bench" columns 10000)"
"$dir/project_window_bench" window-store "$work/window-store" 100 100000 >/dev/null
echo "window:        $(taskset -c "$cpu" "$dir/project_window_bench" window "$work/window-store")"
