#!/usr/bin/env bash
# Installs what is missing, builds Pelmar and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Pelmar on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a build/bin/pelmar "$@"
fi
exec build/bin/pelmar "$@"
