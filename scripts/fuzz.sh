#!/bin/bash
# Runs the fuzz targets (fuzz/fuzz_<name>.cpp) built by scripts/sanitize.sh.
#   scripts/fuzz.sh [SECONDS] [NAME...]   each target for SECONDS (60) from its seed corpus
#   scripts/fuzz.sh --ci                  a fixed number of runs from a fixed seed, for CI: the
#                                         same inputs every time, so CI never fails by chance
# New inputs go to build-sanitize/fuzz-work/NAME/; a crashing input is written there as
# crash-*: copy it into fuzz/corpus/NAME/ once the fault is fixed, so it is replayed for good.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
build_dir=${KELDOR_SANITIZE_DIR:-build-sanitize}
seconds=60
limits=()
if [ "${1:-}" = --ci ]; then
    seconds=10
    limits=(-seed=1 -runs=1000)
    shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do
        names+=("$(basename "$dir")")
    done
fi

scripts/sanitize.sh --build-only
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for name in "${names[@]}"; do
    work=$build_dir/fuzz-work/$name
    mkdir -p "$work"
    echo "fuzz_$name: ${seconds}s"
    "$build_dir/bin/fuzz_$name" -max_total_time="$seconds" "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work" "fuzz/corpus/$name" 2>"$work.log" || {
        tail -n 60 "$work.log"
        echo "fuzz_$name failed; the input is in $work/" >&2
        exit 1
    }
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" "$work.log" || true
done
