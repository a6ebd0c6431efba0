#!/bin/bash
# Builds everything but the benchmarks and developer tools with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer, fuzz targets included, into build-sanitize/ (or $KELDOR_SANITIZE_DIR),
# and runs the whole test suite there.
# Any sanitizer report fails the run; so does a seed of the fuzz corpus that crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh clang libclang-rt-14-dev
build_dir=${KELDOR_SANITIZE_DIR:-build-sanitize}
# No optimisation and line tables only: the reports keep file and line, and the build, most of
# the run's time, stays short. KELDOR_SANITIZE_OPT=-O1 gives faster fuzzers for long runs.
CC=clang CXX=clang++ KELDOR_BUILD_DIR=$build_dir scripts/build.sh -DKELDOR_FUZZ=ON -DKELDOR_BUILD_EXTRAS=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=${KELDOR_SANITIZE_OPT:--O0} -gline-tables-only -DNDEBUG"
[ "${1:-}" = --build-only ] && exit 0
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The tests mostly wait on the headend, so two at a time fit two cores.
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 -j2
