#!/bin/bash
# A send run from the window beside the bare engine on the same rows and
# the same message, both to Postfix's smtp-sink on loopback:
# whole_send_bench (MailDispatcher alone) and send_window_bench (the send
# sheet, the run controller, the progress sheet, the log tab and the log
# file, the window painted offscreen), the latter also without its log tab.
# Then the log tab alone with as many lines, and stepping through the
# preview of a table of ROWS rows. Each run counts best of ROUNDS.
#   run-send-window-bench.sh [BENCH-FOLDER]   (default: build-bench/bench)
# Environment: MESSAGES (100000), ROWS (100000), PORT (2526), ROUNDS (3),
# CPUS (0,1: the cores the runs and the sink share), STEPS (200).
# Needs postfix (smtp-sink).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
benches=${1:-$here/../build-bench/bench}
messages=${MESSAGES:-100000}
rows=${ROWS:-100000}
port=${PORT:-2526}
rounds=${ROUNDS:-3}
cpus=${CPUS:-0,1}
steps=${STEPS:-200}

. "$here/bench-common.sh"
for bench in whole_send_bench send_window_bench preview_bench; do
  bench_preflight "$benches/$bench" "$port" smtp-sink taskset
done

fixtures=$(mktemp -d)
sink=
cleanup() {
  [ -n "$sink" ] && { kill "$sink" 2>/dev/null; wait "$sink" 2>/dev/null || true; }
  rm -rf "$fixtures"
}
trap cleanup EXIT
"$benches/whole_send_bench" --fixtures "$fixtures" 1 >/dev/null
chmod -R a+rX "$fixtures"
bench_start_sink "$port" "$cpus"

# The RESULT line of one run, its words after "RESULT".
result() {
  taskset -c "$cpus" "$@" 2>/dev/null | grep '^RESULT' | tail -n 1 | cut -d' ' -f2-
}

declare -A best gap
for round in $(seq 1 "$rounds"); do
  for name in engine window window-without-log; do
    case $name in
      engine) set -- $(result "$benches/whole_send_bench" "$fixtures" "$rows" "$messages" "$port")
              seconds=$4 ;;
      window) set -- $(result "$benches/send_window_bench" "$fixtures" "$rows" "$messages" "$port")
              seconds=$3
              if [ -z "${gap[$name]:-}" ] || awk -v a="$5" -v b="${gap[$name]}" 'BEGIN { exit !(a > b) }'; then
                gap[$name]=$5
              fi ;;
      window-without-log) set -- $(result "$benches/send_window_bench" "$fixtures" "$rows" "$messages" "$port" --no-log)
              seconds=$3 ;;
    esac
    [ -n "${seconds:-}" ] || { echo "$0: $name failed in round $round" >&2; exit 1; }
    if [ -z "${best[$name]:-}" ] || awk -v a="$seconds" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$seconds
    fi
    seconds=
  done
done
set -- $(result "$benches/send_window_bench" --log "$messages")
log_lines=$3
set -- $(result "$benches/preview_bench" "$fixtures" "$rows" "$steps")
preview="$4 $5 $6 $7"

echo
echo "$messages messages of a $rows-row table (the reference message, an inline picture, a 50 KB attachment)"
echo "to smtp-sink on 127.0.0.1:$port, on cores $cpus, best of $rounds rounds"
printf '%-46s %10s %10s\n' run seconds "vs engine"
for name in engine window window-without-log; do
  printf '%-46s %10.3f %9.1f%%\n' "$name" "${best[$name]}" \
    "$(awk -v a="${best[$name]}" -v b="${best[engine]}" 'BEGIN { print (a / b - 1) * 100 }')"
done
echo "longest time between two paints of the window while it sent: ${gap[window]} ms (all rounds)"
echo "the log tab alone, $messages lines shown 300 at a time: $log_lines s"
set -- $preview
echo "preview, $steps steps in $rows rows: built in $1 ms (median), $2 ms (longest); ready in $3 ms (median), $4 ms (longest)"
