#!/bin/sh
# Runs a program against a real Secret Service of its own: a private D-Bus
# session bus and gnome-keyring's secrets component, its "login" keyring made
# and unlocked with a throw-away password, all in a temporary HOME.
#   run-with-secret-service.sh PROGRAM [ARGUMENT...]
set -eu

if [ "${1:-}" != "--inside-bus" ]; then
    [ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGUMENT...]" >&2; exit 2; }
    for tool in dbus-run-session dbus-send gnome-keyring-daemon secret-tool; do
        command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
    done
    work=$(mktemp -d "${TMPDIR:-/tmp}/corv-secrets-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    trap 'exit 130' INT TERM
    for dir in home runtime data config cache; do mkdir -m 0700 "$work/$dir"; done
    # No service directories: nothing is started on demand, so only our
    # unlocked daemon can own the Secret Service name, and a prompt for a
    # locked keyring fails at once instead of waiting for a window.
    cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
    HOME=$work/home XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data
    XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
    export HOME XDG_RUNTIME_DIR XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
    status=0
    dbus-run-session --config-file="$work/bus.conf" -- /bin/sh "$0" --inside-bus "$work" "$@" || status=$?
    exit $status
fi

# Inside the private bus.
work=$2
shift 2
printf 'corvantiline-test' | gnome-keyring-daemon --foreground --unlock --components=secrets \
    >"$work/keyring.log" 2>&1 &
keyring=$!
trap 'kill $keyring 2>/dev/null || true; wait $keyring 2>/dev/null || true' EXIT

# Ready once the default alias names the unlocked login keyring; a loaded
# two-core machine may take a few seconds.
ask() {
    dbus-send --session --print-reply --reply-timeout=2000 "$@" 2>/dev/null || true
}
tries=0
until ask --dest=org.freedesktop.secrets /org/freedesktop/secrets \
        org.freedesktop.Secret.Service.ReadAlias string:default | grep -q '/collection/login'; do
    tries=$((tries + 1))
    if [ $tries -ge 200 ] || ! kill -0 $keyring 2>/dev/null; then
        echo "$0: the Secret Service did not come up" >&2
        cat "$work/keyring.log" >&2
        exit 1
    fi
    sleep 0.1
done

CORV_PRIVATE_SECRET_SERVICE=1 "$@"
