#!/usr/bin/env bash
# The two set-up commands as a newcomer meets them, with the heavy tools
# stood in for: what scripts/run.sh says when there is no display, and
# whether a second clone finds the compiler cache the first one filled
# (with ccache's own folder, and with one the caller chose). Then the
# repository itself: no compiled Python files tracked, and such files ignored.
#
# Usage: setup-scripts-test.sh <source folder>
set -uo pipefail
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

command -v ccache >/dev/null || { echo "ccache is missing"; exit 77; }

# Every package installed; cmake compiles one file as the real build does
# (from the build folder, the source by its absolute path, with debug
# information, through ccache); ctest and the virtual screen only report.
bin=$work/bin
mkdir -p "$bin"
cat >"$bin/dpkg-query" <<'STUB'
#!/bin/sh
printf 'install ok installed'
STUB
cat >"$bin/cmake" <<'STUB'
#!/usr/bin/env bash
set -e
if [ "$1" = "--build" ]; then
  cd "$2"
  ccache cc -g -O1 -c "$(cd .. && pwd)/unit.c" -o unit.o
else
  while [ $# -gt 0 ]; do [ "$1" = "-B" ] && mkdir -p "$2"; shift; done
fi
STUB
cat >"$bin/ctest" <<'STUB'
#!/bin/sh
exit 0
STUB
cat >"$bin/xvfb-run" <<'STUB'
#!/bin/sh
echo "xvfb-run $*"
STUB
chmod +x "$bin"/*

clone() { # a fresh clone's set-up scripts and one source file
  mkdir -p "$1"
  cp -r "$src/scripts" "$1/"
  echo 'int unit(void) { return 42; }' >"$1/unit.c"
}

# Runs a script of a clone as a newcomer would: no display, a home of its
# own, no ccache settings of the caller's but those given.
run_script() { # clone, script and arguments...
  local top=$1; shift
  (
    cd "$top"
    for name in $(env | sed -n 's/^\(CCACHE_[A-Z_]*\)=.*/\1/p'); do unset "$name"; done
    unset DISPLAY WAYLAND_DISPLAY XDG_CACHE_HOME XDG_CONFIG_HOME
    export HOME=$work/home PATH=$bin:$PATH
    for setting in "${caller_settings[@]}"; do export "${setting?}"; done
    "$@"
  ) </dev/null
}

stat_of() { # cache folder, counter name
  CCACHE_DIR=$1 ccache --print-stats | awk -v key="$2" '$1 == key { print $2 }'
}

caller_settings=()
for script in "scripts/run.sh" "scripts/test.sh --quick"; do
  rm -rf "$work/home" "$work/first" "$work/second"
  clone "$work/first"
  clone "$work/second"
  name=$(basename "${script%% *}")
  # shellcheck disable=SC2086
  run_script "$work/first" $script >"$work/$name.first" 2>&1
  # shellcheck disable=SC2086
  run_script "$work/second" $script >"$work/$name.second" 2>&1
  cache=$work/home/.cache/ccache
  check "$script: a second clone compiles from ccache's own folder" \
    test "$(stat_of "$cache" direct_cache_hit)" = 1
done

check "run.sh without a display says it runs on a virtual screen" \
  grep -qi 'virtual screen' "$work/run.sh.first"
check "run.sh without a display says how to stop it" grep -q 'Ctrl+C' "$work/run.sh.first"

# A cache the caller chose is the one used.
rm -rf "$work/home" "$work/chosen"
caller_settings=("CCACHE_DIR=$work/chosen")
run_script "$work/first" scripts/test.sh --quick >"$work/chosen.out" 2>&1
check "a CCACHE_DIR the caller sets is kept" test "$(stat_of "$work/chosen" cache_miss)" = 1
check "nothing lands in the default folder then" test ! -e "$work/home/.cache/ccache"

if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  tracked=$(git -C "$src" ls-files -- '*.pyc' '*.pyo' '*/__pycache__/*')
  check "no compiled Python files are tracked: $tracked" test -z "$tracked"
  check "compiled Python files are ignored" \
    git -C "$src" check-ignore -q --no-index tests/delivery/__pycache__/check.cpython-311.pyc
else
  echo "not a git work tree: the tracked-files checks are skipped"
fi

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
