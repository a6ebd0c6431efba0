#!/bin/bash
# Checks every name in src/, sim/, tests/, bench/ and fuzz/ against the convention in
# .clang-tidy. Builds into build-tidy/ first (the generated moc files must exist), then runs
# clang-tidy over every file of the build; any name out of line fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-tidy
build_dir=${KELDOR_TIDY_DIR:-build-tidy}
KELDOR_BUILD_DIR=$build_dir scripts/build.sh -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
log=$(mktemp)
status=0
run-clang-tidy -p "$build_dir" -j "$(nproc)" -quiet "$PWD/(src|sim|tests|bench|fuzz)/" >"$log" 2>&1 ||
    status=$?
grep -E '(warning|error): ' "$log" | sort -u || true
rm -f "$log"
exit $status
