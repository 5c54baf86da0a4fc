#!/bin/bash
# The whole send path over one SMTP connection to Postfix's smtp-sink on
# loopback: whole_send_bench (the send engine with the recipient table,
# the formatted message, its inline picture and a 50 KB attachment) beside
# peers/whole_send.py (Python's email and smtplib) and peers/whole_send.js
# (nodemailer), which read the same rows from a CSV file and fill the same
# message in. whole_send_bench runs twice: with a table of just the rows
# sent, as the peers have, and with a table of ROWS rows of which the first
# MESSAGES are sent. smtp-source, sending text of the same size, shows the
# sink's own ceiling: every client waits for the sink to take each message.
# Each runs ROUNDS times (default 3); the best round counts, and the peak
# resident memory is that round's.
#   run-send-bench.sh [BENCH-BINARY]   (default: build-bench/bench/whole_send_bench)
# Environment: MESSAGES (10000), ROWS (100000), PORT (2526), ROUNDS (3),
# CPUS (0,1: the cores everything runs on, sink included).
# Needs postfix (smtp-sink, smtp-source), python3, node and npm.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build-bench/bench/whole_send_bench}
messages=${MESSAGES:-10000}
rows=${ROWS:-100000}
port=${PORT:-2526}
rounds=${ROUNDS:-3}
cpus=${CPUS:-0,1}

. "$here/bench-common.sh"
bench_preflight "$bench" "$port" smtp-sink smtp-source python3 node npm taskset

fixtures=$(mktemp -d)
sink=
cleanup() {
  [ -n "$sink" ] && { kill "$sink" 2>/dev/null; wait "$sink" 2>/dev/null || true; }
  rm -rf "$fixtures"
}
trap cleanup EXIT
"$bench" --fixtures "$fixtures" "$messages"
chmod -R a+rX "$fixtures"

bench_start_sink "$port" "$cpus"

# One round of a client that prints "RESULT name count bytes seconds peak-KiB".
run_client() {
  local out
  out=$(taskset -c "$cpus" "$@" | tail -n 1) || return 1
  set -- $out
  [ "$1" = RESULT ] && [ "$3" = "$messages" ] || return 1
  echo "$4 $5 $6"
}

# smtp-source prints nothing; it is timed from outside, without a peak.
source_bytes=76000
run_source() {
  local start end
  start=$(date +%s.%N)
  taskset -c "$cpus" smtp-source -s 1 -m "$messages" -l "$source_bytes" "127.0.0.1:$port" || return 1
  end=$(date +%s.%N)
  echo "$source_bytes $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }') 0"
}

declare -A best bytes peak
names=(corvantiline corvantiline-rows python nodemailer smtp-source)
for round in $(seq 1 "$rounds"); do
  for name in "${names[@]}"; do
    case $name in
      corvantiline) result=$(run_client "$bench" "$fixtures" "$messages" "$messages" "$port") ;;
      corvantiline-rows) result=$(run_client "$bench" "$fixtures" "$rows" "$messages" "$port") ;;
      python) result=$(run_client python3 "$here/peers/whole_send.py" "$fixtures" "$port") ;;
      nodemailer) result=$(run_client node "$here/peers/whole_send.js" "$fixtures" "$port") ;;
      smtp-source) result=$(run_source) ;;
    esac || { echo "$0: $name failed in round $round" >&2; exit 1; }
    set -- $result
    bytes[$name]=$1
    if [ -z "${best[$name]:-}" ] || awk -v a="$2" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$2
      peak[$name]=$3
    fi
  done
done

echo
echo "$messages personalised messages (HTML + plain + inline picture + 50 KB attachment) over one connection"
echo "to smtp-sink on 127.0.0.1:$port, on cores $cpus, best of $rounds rounds"
printf '%-44s %10s %10s %10s %12s\n' client bytes/msg seconds msg/s "peak RSS MB"
describe() {
  case $1 in
    corvantiline) echo "corvantiline (MailDispatcher, $messages rows)" ;;
    corvantiline-rows) echo "corvantiline (MailDispatcher, $rows rows)" ;;
    python) echo "python3 email + smtplib (CSV)" ;;
    nodemailer) echo "nodemailer $(node -p "require('$here/peers/node_modules/nodemailer/package.json').version") (pool of 1, CSV)" ;;
    smtp-source) echo "smtp-source (the sink's ceiling)" ;;
  esac
}
for name in "${names[@]}"; do
  # The engine does not count its bytes; its messages are the peers' size.
  b=${bytes[$name]}
  [ "$b" = 0 ] && b=-
  mb=$(awk -v k="${peak[$name]}" 'BEGIN { if (k > 0) printf "%.1f", k / 1024; else print "-" }')
  printf '%-44s %10s %10.3f %10.0f %12s\n' "$(describe "$name")" "$b" "${best[$name]}" \
    "$(awk -v n="$messages" -v s="${best[$name]}" 'BEGIN { print n / s }')" "$mb"
done
