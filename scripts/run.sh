#!/usr/bin/env bash
# Installs what is missing, builds the application (Release) and starts it.
# Arguments are passed on: project files to open. Without a display it runs
# under a virtual X server (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/install-deps.sh

. scripts/compiler-cache.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORV_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target corvantiline

# The web view's sandbox refuses to run as root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

app=build-release/src/app/corvantiline
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): Corvantiline runs on a"
  echo "virtual screen (xvfb-run), where its windows cannot be seen. Stop it with Ctrl+C."
  exec xvfb-run -a "$app" "$@"
fi
exec "$app" "$@"
