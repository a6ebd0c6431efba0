#!/bin/bash
# Configures and builds into build/ (or $KELDOR_BUILD_DIR) with Ninja: everything, or only the
# targets named in $KELDOR_TARGETS.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KELDOR_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${KELDOR_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
read -r -a targets <<<"${KELDOR_TARGETS:-all}"
cmake --build "$build_dir" -j2 --target "${targets[@]}"
