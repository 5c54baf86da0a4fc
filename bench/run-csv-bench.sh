#!/bin/bash
# The delimited text import and duplicate removal, each on one core beside
# Python: csv_read_bench on a 100 MB, 1,000,000-row file it writes first,
# beside Python's csv module streaming the same file and keeping it as a
# list; dedup_bench on 1,000,000 addresses beside a Python set. Each runs
# ROUNDS times (default 3); the best time counts, with its processor time
# (which waits for a busy core do not inflate) and peak memory.
#   run-csv-bench.sh [BENCH-DIR]   (default: build-bench/bench)
# Environment: ROWS (1000000), ROUNDS (3), CPU (0).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:-$here/../build-bench/bench}
rows=${ROWS:-1000000}
rounds=${ROUNDS:-3}
cpu=${CPU:-0}

. "$here/bench-common.sh"
bench_require_built "$dir/csv_read_bench" "$dir/dedup_bench"
bench_require_tools python3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/recipients.csv
"$dir/csv_read_bench" --write "$file" "$rows"

# One round: the last line of the program's output, "RESULT seconds rest...".
run() {
  local out
  out=$(taskset -c "$cpu" "$@" | tail -n 1) || return 1
  set -- $out
  [ "$1" = RESULT ] || return 1
  shift
  echo "$*"
}

declare -A best extra
names=(corvantiline "python csv, streaming" "python csv, list" "corvantiline dedup" "python set dedup")
for round in $(seq 1 "$rounds"); do
  for name in "${names[@]}"; do
    case $name in
      corvantiline) result=$(run "$dir/csv_read_bench" "$file") ;;
      "python csv, streaming") result=$(run python3 "$here/peers/csv_read.py" "$file" stream) ;;
      "python csv, list") result=$(run python3 "$here/peers/csv_read.py" "$file" list) ;;
      "corvantiline dedup") result=$(run "$dir/dedup_bench" "$rows") ;;
      "python set dedup") result=$(run python3 "$here/peers/dedup.py" "$rows") ;;
    esac || { echo "$0: $name failed in round $round" >&2; exit 1; }
    set -- $result
    if [ -z "${best[$name]:-}" ] || awk -v a="$1" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$1
      shift
      extra[$name]="$*"
    fi
  done
done

echo
echo "$(du -m "$file" | cut -f1) MB, $rows rows, on core $cpu, best of $rounds rounds"
printf '%-24s %9s %9s %9s  %s\n' "" seconds "cpu s" "peak MB" ""
for name in "${names[@]}"; do
  set -- ${extra[$name]}
  case $name in
    *dedup) printf '%-24s %9.3f %9.3f %9s  %s\n' "$name" "${best[$name]}" "$1" "" "$2 switched off" ;;
    *) printf '%-24s %9.3f %9.3f %9.0f  %s\n' "$name" "${best[$name]}" "$1" \
         "$(awk -v k="$2" 'BEGIN { print k / 1024 }')" "$3 rows, $4 fields" ;;
  esac
done
