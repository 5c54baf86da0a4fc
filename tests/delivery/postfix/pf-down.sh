#!/bin/bash
# Stops the Postfix that pf-up.sh started in the folder $1 and waits until
# its master has gone, so that the ports are free again.
D=${1:?usage: pf-down.sh FOLDER}
pid=$(tr -d ' ' < "$D/queue/pid/master.pid" 2>/dev/null) || exit 0
[ -n "$pid" ] || exit 0
postfix -c "$D/etc" stop >/dev/null 2>&1 || kill "$pid" 2>/dev/null
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || exit 0
  sleep 0.05
done
kill -9 "$pid" 2>/dev/null
exit 0
