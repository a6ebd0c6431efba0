#!/bin/bash
# Draws every window of the station against a simulated headend into PNG files (default:
# docs/screenshots), under a virtual X display. With a screen size (1280x800) it draws only the
# channel overview as it opens on that screen, into overview-1280x800.png, and the frequency plan
# of sixteen channels, zoomed and over the whole band (plan-1280x800.png, plan-whole-band-...),
# and the Headends Overview of four more headends, one in each state, before, during and after
# Check All (headends-unchecked-1280x800.png, headends-checking-..., headends-...).
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh xvfb xauth
scripts/build.sh
folder=${1:-docs/screenshots}
screen=${2:-}
if [[ -n $screen && ! $screen =~ ^[0-9]+x[0-9]+$ ]]; then
    echo "usage: scripts/screenshots.sh [FOLDER [WIDTHxHEIGHT]]" >&2
    exit 2
fi
xvfb-run -a -s "-screen 0 ${screen:-1600x1000}x24" "${KELDOR_BUILD_DIR:-build}/bin/keldor-screenshots" \
    "$folder" ${screen:+--overview}
