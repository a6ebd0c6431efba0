#!/bin/bash
# Builds and runs the benchmarks; each prints its ratios. Arguments go to bench_link (number of
# reads); BENCH_UPLOAD_KIB sets the upload image size (default 512; 0 skips the uploads, which
# take about ten minutes over the emulated 9600-baud line).
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh
KELDOR_BUILD_TYPE=Release KELDOR_BUILD_DIR=${KELDOR_BUILD_DIR:-build-release} scripts/build.sh
bin=${KELDOR_BUILD_DIR:-build-release}/bin
export KELDOR_BIN_DIR=$PWD/$bin
"$bin/bench_link" "$@"
"$bin/bench_transfer" "${BENCH_UPLOAD_KIB:-512}"
"$bin/bench_fleet"
"$bin/bench_exporter" "${BENCH_EXPORTER_SECONDS:-120}"
# The window benchmarks want a real X server when there is one to start; offscreen otherwise.
if command -v xvfb-run >/dev/null && [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/bench_gui" 2>/dev/null
    xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/bench_startup" 2>/dev/null
else
    "$bin/bench_gui" 2>/dev/null
    "$bin/bench_startup" 2>/dev/null
fi
