#!/bin/bash
# vCard reading on one core: vcard_bench beside python3-vobject on the same
# file of CARDS cards (default 10000), written by vobject itself through the
# tests' generator (3.0, folded lines, escapes, non-ASCII text). Each reads
# ROUNDS times (default 5); the best round counts. Then the same cards as
# a contacts folder of one file each, read by the contacts source's
# snapshot and by vobject walking the folder.
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
. "$here/bench-common.sh"
bench_require_tools taskset
bench_require_built "$bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/cards.vcf
"$python" "$here/../tests/recipients/vcard_oracle.py" generate "$file" "$cards" 1

echo "$(stat -c %s "$file") bytes, $cards cards written by vobject; best of $rounds rounds on core $cpu"
ours=$(taskset -c "$cpu" "$bench" "$file" "$rounds")
theirs=$(taskset -c "$cpu" "$python" "$here/peers/vcard_read.py" "$file" "$rounds")
echo "one file   corvantiline: $(echo "$ours" | head -n 1)"
echo "one file   vobject:      $(echo "$theirs" | head -n 1)"

# The same cards as a contacts folder: one file per card, in 100 folders.
"$python" - "$file" "$work/contacts" <<'SPLIT'
import os, sys
text = open(sys.argv[1], encoding="utf-8", newline="").read()
cards = ["BEGIN:VCARD" + c for c in text.split("BEGIN:VCARD")[1:]]
for i, c in enumerate(cards):
    folder = os.path.join(sys.argv[2], "%02d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "%05d.vcf" % i), "w", encoding="utf-8", newline="") as f:
        f.write(c)
SPLIT
ours=$(taskset -c "$cpu" "$bench" --folder "$work/contacts" "$rounds")
theirs=$(taskset -c "$cpu" "$python" "$here/peers/vcard_read.py" --folder "$work/contacts" "$rounds")
echo "folder     corvantiline: $(echo "$ours" | head -n 1)"
echo "folder     vobject:      $(echo "$theirs" | head -n 1)"
