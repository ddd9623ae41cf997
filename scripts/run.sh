#!/usr/bin/env bash
# Installs what the project needs, builds it and starts the program on the simulated modem.
#   scripts/run.sh [program options...]      e.g. scripts/run.sh --sim-control /tmp/ombrelay-sim.sock
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
args=(--backend=sim "$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found; starting the program under Xvfb (virtual display, nothing visible on screen)."
    exec xvfb-run -a -s "-screen 0 1280x800x24" build/app/ombrelay "${args[@]}"
fi
exec build/app/ombrelay "${args[@]}"
