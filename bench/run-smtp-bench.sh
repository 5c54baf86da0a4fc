#!/bin/bash
# Messages per second over one SMTP connection to Postfix's smtp-sink on
# loopback: smtp_send_bench beside the clients a user would pick instead
# (Python's smtplib, nodemailer) and smtp-source, the sink's own ceiling.
# Each runs ROUNDS times (default 3); the best round counts.
#   run-smtp-bench.sh [BENCH-BINARY]   (default: build-bench/bench/smtp_send_bench)
# Environment: MESSAGES (2000), PORT (2526), ROUNDS (3).
# Needs postfix (smtp-sink, smtp-source), python3, node and npm.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build-bench/bench/smtp_send_bench}
messages=${MESSAGES:-2000}
port=${PORT:-2526}
rounds=${ROUNDS:-3}

. "$here/bench-common.sh"
bench_preflight "$bench" "$port" smtp-sink smtp-source python3 node npm

sink=
trap '[ -n "$sink" ] && { kill "$sink" 2>/dev/null; wait "$sink" 2>/dev/null || true; }' EXIT
bench_start_sink "$port"

# One round of a client that prints "RESULT name count bytes seconds".
run_client() {
  local out
  out=$("$@" | tail -n 1) || return 1
  set -- $out
  [ "$1" = RESULT ] || return 1
  echo "$4 $5"
}
# smtp-source prints nothing; it is timed from outside. Its payload is
# -l bytes of text after a few header lines.
run_source() {
  local start end
  start=$(date +%s.%N)
  smtp-source "$@" -m "$messages" -l 4096 "127.0.0.1:$port" || return 1
  end=$(date +%s.%N)
  echo "4096 $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')"
}

declare -A best bytes
names=(corvantiline python nodemailer "smtp-source -d" "smtp-source")
for round in $(seq 1 "$rounds"); do
  for name in "${names[@]}"; do
    case $name in
      corvantiline) result=$(run_client "$bench" "$messages" "$port") ;;
      python) result=$(run_client python3 "$here/peers/send.py" "$messages" "$port") ;;
      nodemailer) result=$(run_client node "$here/peers/send.js" "$messages" "$port") ;;
      "smtp-source -d") result=$(run_source -s 1 -d) ;;
      smtp-source) result=$(run_source -s 1) ;;
    esac || { echo "$0: $name failed in round $round" >&2; exit 1; }
    set -- $result
    bytes[$name]=$1
    if [ -z "${best[$name]:-}" ] || awk -v a="$2" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$2
    fi
  done
done

echo
echo "$messages messages over one connection to smtp-sink on 127.0.0.1:$port, best of $rounds rounds"
printf '%-38s %10s %10s %10s\n' client bytes/msg seconds msg/s
describe() {
  case $1 in
    corvantiline) echo "corvantiline (SMTPMail)" ;;
    python) echo "python3 email + smtplib" ;;
    nodemailer) echo "nodemailer $(node -p "require('$here/peers/node_modules/nodemailer/package.json').version") (pool of 1)" ;;
    "smtp-source -d") echo "smtp-source -d (one connection)" ;;
    smtp-source) echo "smtp-source (connection per message)" ;;
  esac
}
for name in "${names[@]}"; do
  printf '%-38s %10s %10.3f %10.0f\n' "$(describe "$name")" "${bytes[$name]}" "${best[$name]}" \
    "$(awk -v n="$messages" -v s="${best[$name]}" 'BEGIN { print n / s }')"
done
