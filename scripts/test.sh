#!/bin/bash
# Everything a fresh Debian 12 machine needs to build and run the whole test suite, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir "${KELDOR_BUILD_DIR:-build}" --output-on-failure --timeout 300
