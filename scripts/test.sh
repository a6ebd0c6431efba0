#!/bin/bash
# Everything a fresh Debian 12 machine needs to build and run the whole test suite: the normal
# build and its tests, the package installed and run once, the same tests under the sanitizers,
# and a short fuzz run. Root (or sudo) is asked for only to install packages.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh
scripts/build.sh
# The tests mostly wait on the headend, so two at a time fit two cores.
ctest --test-dir "${KELDOR_BUILD_DIR:-build}" --output-on-failure --timeout 300 -j2
KELDOR_BUILD_DIR=${KELDOR_BUILD_DIR:-build} scripts/package-check.sh
scripts/sanitize.sh
scripts/fuzz.sh --ci
scripts/linecount.sh
