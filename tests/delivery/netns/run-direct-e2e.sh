#!/bin/bash
# Runs a direct delivery test program in a network and mount namespace of its
# own: loopback only, dnsmasq on 127.0.0.1:53 as the system's name server
# (through a private /etc/resolv.conf), Postfix on port 25 at 127.0.0.2 and
# 127.0.0.3. The host's network and files stay untouched.
#   run-direct-e2e.sh PROGRAM [ARGUMENT...]
# The program finds the Postfix folder in CORV_PF_DIR and the message checker
# in CORV_PF_CHECK_SCRIPT. Exit 77 (skipped) without root or namespaces.
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
  for tool in ip dnsmasq postfix saslpasswd2 openssl python3 mount; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
  done
  # Mounts made inside stay inside (private propagation).
  CORV_IN_NETNS=1 exec unshare --net --mount --propagation private bash "$script" "$@"
fi

ip link set lo up

# Not below $TMPDIR: Postfix's own users must be able to reach the folder.
work=$(mktemp -d /tmp/corv-direct-e2e-XXXXXX)
chmod 755 "$work"
dns_pid=
cleanup() {
  bash "$here/../postfix/pf-down.sh" "$work/pf"
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

if ! PF_PLAIN="127.0.0.2:25 127.0.0.3:25" PF_SUBMISSION= PF_SMTPS= PF_OTHERNAME= \
     bash "$here/../postfix/pf-up.sh" "$work/pf"; then
  tail -n 30 "$work/pf/log/maillog" >&2 2>/dev/null || true
  exit 1
fi

export CORV_PF_DIR="$work/pf"
export CORV_PF_CHECK_SCRIPT="$here/../postfix/check_message.py"
status=0
"$@" || status=$?
if [ $status -ne 0 ]; then
  echo "--- end of the Postfix log" >&2
  tail -n 40 "$work/pf/log/maillog" >&2 2>/dev/null || true
  echo "--- name server log" >&2
  tail -n 40 "$work/dnsmasq.log" >&2 2>/dev/null || true
fi
exit $status
