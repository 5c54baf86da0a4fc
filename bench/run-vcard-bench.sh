#!/bin/bash
# vCard reading on one core: vcard_bench beside python3-vobject on the same
# file of CARDS cards (default 10000), written by vobject itself through the
# tests' generator (3.0, folded lines, escapes, non-ASCII text). Each reads
# ROUNDS times (default 5); the best round counts.
#   run-vcard-bench.sh [BENCH-BINARY]   (default: build-bench/bench/vcard_bench)
# Environment: CARDS (10000), ROUNDS (5), CPU (0).
# Needs python3-vobject (Debian) and taskset.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build-bench/bench/vcard_bench}
cards=${CARDS:-10000}
rounds=${ROUNDS:-5}
cpu=${CPU:-0}
# Debian's vobject belongs to the system's interpreter.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

"$python" -c 'import vobject' 2>/dev/null || { echo "$0: python3-vobject is missing" >&2; exit 1; }
command -v taskset >/dev/null || { echo "$0: taskset is missing" >&2; exit 1; }
if [ ! -x "$bench" ]; then
  echo "$0: no $bench; build it with -DCORV_BENCH=ON, target vcard_bench (see bench/README.md)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/cards.vcf
"$python" "$here/../tests/recipients/vcard_oracle.py" generate "$file" "$cards" 1

echo "$(stat -c %s "$file") bytes, $cards cards written by vobject; best of $rounds rounds on core $cpu"
ours=$(taskset -c "$cpu" "$bench" "$file" "$rounds")
theirs=$(taskset -c "$cpu" "$python" "$here/peers/vcard_read.py" "$file" "$rounds")
echo "corvantiline: $(echo "$ours" | head -n 1)"
echo "vobject:      $(echo "$theirs" | head -n 1)"
