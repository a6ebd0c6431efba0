#!/bin/bash
# Draws every window of the station against a simulated headend into PNG files (default:
# docs/screenshots), under a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh xvfb xauth
scripts/build.sh
folder=${1:-docs/screenshots}
xvfb-run -a -s "-screen 0 1600x1000x24" "${KELDOR_BUILD_DIR:-build}/bin/keldor-screenshots" "$folder"
