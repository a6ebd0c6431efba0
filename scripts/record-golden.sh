#!/bin/bash
# Records the golden traffic traces in tests/golden/ anew. Every operation in the table of
# tests/golden/tst_golden.cpp runs once with keldor-ctl --trace against headend-sim in a fixed,
# seeded state, and its new trace is played back at once. With names, only those operations
# are recorded:  scripts/record-golden.sh save load update-fw
# The settings file that load and diff send, tests/golden/site.kdr, is made only when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KELDOR_LOOPBACK_ONLY=1
build_dir=${KELDOR_BUILD_DIR:-build}
KELDOR_TARGETS="tst_golden headend-sim" scripts/build.sh
rows=()
for name in "$@"; do
    rows+=("replay:$name")
done
status=0
KELDOR_GOLDEN_RECORD=1 QT_QPA_PLATFORM=offscreen "$build_dir/bin/tst_golden" "${rows[@]}" || status=$?
git status --short tests/golden
exit "$status"
