#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kalmora.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Kalmora on a virtual display (Xvfb)."
    exec xvfb-run -a -s "-screen 0 1400x900x24" ./build/kalmora "$@"
fi
exec ./build/kalmora "$@"
