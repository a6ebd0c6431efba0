#!/bin/bash
# Builds and runs the benchmarks; each prints its ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
KELDOR_BUILD_TYPE=Release KELDOR_BUILD_DIR=${KELDOR_BUILD_DIR:-build-release} scripts/build.sh
bin=${KELDOR_BUILD_DIR:-build-release}/bin
"$bin/bench_link" "$@"
