#!/usr/bin/env bash
# Installs what is needed, builds, and starts the desktop application.
# Without a display (no $DISPLAY) it runs on a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found, starting on a virtual X server (xvfb-run)"
  exec xvfb-run -a build/bin/vader "$@"
fi
exec build/bin/vader "$@"
