#!/bin/bash
# Runs a direct delivery test program in a network and mount namespace of its
# own: loopback only, dnsmasq on 127.0.0.1:53 as the system's name server
# (through a private /etc/resolv.conf), Postfix on port 25 at 127.0.0.2 and
# 127.0.0.3. The host's network and files stay untouched.
#   run-direct-e2e.sh PROGRAM [ARGUMENT...]
# Postfix comes and goes with ../postfix/run-postfix-test.sh, which also tells
# the program where to look. Exit 77 (skipped) without root or namespaces.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGUMENT...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
script="$here/$(basename "$0")"

if [ -z "${CORV_IN_NETNS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "$0: namespaces and a private Postfix need root; skipped" >&2
    exit 77
  fi
  if ! command -v unshare >/dev/null || ! unshare --net --mount true 2>/dev/null; then
    echo "$0: cannot make network and mount namespaces; skipped" >&2
    exit 77
  fi
  export PATH="$PATH:/usr/sbin:/sbin"
  for tool in ip dnsmasq mount; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
  done
  # Mounts made inside stay inside (private propagation).
  CORV_IN_NETNS=1 exec unshare --net --mount --propagation private bash "$script" "$@"
fi

ip link set lo up

# Every user reads resolv.conf: not below $TMPDIR.
work=$(mktemp -d /tmp/corv-direct-e2e-XXXXXX)
chmod 755 "$work"
dns_pid=
cleanup() {
  if [ -n "$dns_pid" ]; then
    kill "$dns_pid" 2>/dev/null || true
    wait "$dns_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

printf 'nameserver 127.0.0.1\noptions attempts:2 timeout:2\n' > "$work/resolv.conf"
chmod 644 "$work/resolv.conf"
# Often a link to a resolver's stub file, which need not exist (no resolver
# running): the file is then made in a private tmpfs where the link points.
target=$(readlink -f /etc/resolv.conf) || target=/etc/resolv.conf
if [ ! -e "$target" ]; then
  base=$(dirname "$target")
  while [ ! -d "$base" ]; do base=$(dirname "$base"); done
  case "$base" in
    / | /etc) echo "$0: no /etc/resolv.conf to stand in for" >&2; exit 1 ;;
  esac
  mount -t tmpfs -o mode=755 tmpfs "$base"
  mkdir -p "$(dirname "$target")"
  : > "$target"
fi
mount --bind "$work/resolv.conf" "$target"

dnsmasq --keep-in-foreground --conf-file="$here/dnsmasq-e2e.conf" --pid-file= --port=53 \
  --log-queries --log-facility=- 2>"$work/dnsmasq.log" &
dns_pid=$!
up=0
for _ in $(seq 1 500); do
  if (exec 3<>/dev/tcp/127.0.0.1/53) 2>/dev/null; then up=1; break; fi
  kill -0 "$dns_pid" 2>/dev/null || break
  sleep 0.02
done
if [ $up -eq 0 ]; then
  echo "$0: dnsmasq did not come up" >&2
  cat "$work/dnsmasq.log" >&2 2>/dev/null || true
  exit 1
fi

status=0
PF_PLAIN="127.0.0.2:25 127.0.0.3:25" PF_SUBMISSION= PF_SMTPS= PF_OTHERNAME= \
  bash "$here/../postfix/run-postfix-test.sh" "$@" || status=$?
if [ $status -ne 0 ]; then
  echo "--- name server log" >&2
  tail -n 40 "$work/dnsmasq.log" >&2 2>/dev/null || true
fi
exit $status
