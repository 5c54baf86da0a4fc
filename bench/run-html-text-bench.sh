#!/bin/bash
# The text of a 5 MB HTML page on one core: html_text_bench beside Python's
# html.parser (peers/html_text.py) on the page the benchmark generates.
# Each takes ROUNDS rounds (default 5); the best counts.
#   run-html-text-bench.sh [BENCH-BINARY]   (default: build-bench/bench/html_text_bench)
# Environment: ROUNDS (5), CPU (0). Needs taskset and python3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build-bench/bench/html_text_bench}
rounds=${ROUNDS:-5}
cpu=${CPU:-0}

. "$here/bench-common.sh"
bench_require_tools taskset python3
bench_require_built "$bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page=$work/page.html

echo "best of $rounds rounds on core $cpu"
taskset -c "$cpu" "$bench" --page-out "$page" "$rounds" | grep -v '^RESULT'
taskset -c "$cpu" python3 "$here/peers/html_text.py" "$page" "$rounds"
