# Shared by the run-*-bench.sh scripts: the checks before a run and the sink.

# bench_require_tools TOOL...: each tool is on the path.
bench_require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
  done
}

# bench_require_built BINARY...: each benchmark is built (its target is
# named as its file).
bench_require_built() {
  local binary
  for binary in "$@"; do
    if [ ! -x "$binary" ]; then
      echo "$0: no $binary; build it with -DCORV_BENCH=ON, target $(basename "$binary") (see bench/README.md)" >&2
      exit 1
    fi
  done
}

# bench_preflight BINARY PORT TOOL...: the tools are on the path, the
# benchmark is built, nodemailer is installed for the peers, the port is free.
bench_preflight() {
  local binary=$1 port=$2
  shift 2
  bench_require_tools "$@"
  bench_require_built "$binary"
  if [ ! -d "$here/peers/node_modules/nodemailer" ]; then
    (cd "$here/peers" && npm install --no-package-lock --no-audit --no-fund --silent) ||
      { echo "$0: npm install of nodemailer failed" >&2; exit 1; }
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "$0: 127.0.0.1:$port is already in use; set PORT" >&2
    exit 1
  fi
}

# bench_start_sink PORT [CPUS]: Postfix's smtp-sink on 127.0.0.1:PORT (on the
# given cores when named), its process id in $sink, waited for until it
# accepts connections. smtp-sink drops root for nobody once it listens.
bench_start_sink() {
  local port=$1 cpus=${2:-} user_option=() pin=() up=0
  [ "$(id -u)" -eq 0 ] && user_option=(-u nobody)
  [ -n "$cpus" ] && pin=(taskset -c "$cpus")
  "${pin[@]}" smtp-sink "${user_option[@]}" "127.0.0.1:$port" 1000 &
  sink=$!
  for _ in $(seq 1 250); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then up=1; break; fi
    sleep 0.02
  done
  [ $up -eq 1 ] || { echo "$0: smtp-sink did not come up on port $port" >&2; exit 1; }
}
