#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: does nothing when everything is there. Needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-webengine-dev
  qtkeychain-qt6-dev libsecret-1-0 libsecret-tools libplist-dev libssl-dev libgtest-dev libgumbo-dev libfontconfig-dev
  xvfb xauth dbus dbus-x11 gnome-keyring fonts-dejavu-core python3
  postfix sasl2-bin libsasl2-modules dnsmasq-base iproute2
  desktop-file-utils shared-mime-info node-csv-spectrum
  unrtf
  python3-vobject
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

# Postfix is only there for the tests, which run private instances of their
# own: the system's instance stays unconfigured, is not started by the
# install and is not started at boot.
installing_postfix=0
case " ${missing[*]} " in *" postfix "*) installing_postfix=1 ;; esac
added_policy=0
remove_policy() {
  [ $added_policy -eq 1 ] && "${sudo[@]}" rm -f /usr/sbin/policy-rc.d
  return 0
}
if [ $installing_postfix -eq 1 ]; then
  echo "postfix postfix/main_mailer_type select No configuration" | "${sudo[@]}" debconf-set-selections
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\n# Added by scripts/install-deps.sh while it installs packages.\nexit 101\n' |
      "${sudo[@]}" tee /usr/sbin/policy-rc.d >/dev/null
    "${sudo[@]}" chmod 755 /usr/sbin/policy-rc.d
    added_policy=1
    trap remove_policy EXIT
  fi
fi

"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"

if [ $installing_postfix -eq 1 ]; then
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now postfix.service >/dev/null 2>&1 || true
  fi
  # Without systemd the init script may have started it despite everything.
  "${sudo[@]}" postfix stop >/dev/null 2>&1 || true
fi
