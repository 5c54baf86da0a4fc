# Shared by the run-*-bench.sh scripts: the checks before a run.
# bench_preflight BINARY TARGET PORT TOOL...: the tools are on the path, the
# benchmark is built, nodemailer is installed for the peers, the port is free.
bench_preflight() {
  local binary=$1 target=$2 port=$3 tool
  shift 3
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
  done
  if [ ! -x "$binary" ]; then
    echo "$0: no $binary; build it with -DCORV_BENCH=ON, target $target (see bench/README.md)" >&2
    exit 1
  fi
  if [ ! -d "$here/peers/node_modules/nodemailer" ]; then
    (cd "$here/peers" && npm install --no-package-lock --no-audit --no-fund --silent) ||
      { echo "$0: npm install of nodemailer failed" >&2; exit 1; }
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "$0: 127.0.0.1:$port is already in use; set PORT" >&2
    exit 1
  fi
}
