#!/bin/bash
# Everything a fresh Debian 12 machine needs to build and run the whole test suite: the package
# built, installed and run once, the whole suite in a clang build under the sanitizers, and a
# short fuzz run. The suite runs once, in the sanitizer build: a second, plain build of every test
# would double the run's time for no fault the sanitizers don't see. Day to day, build/ and
# ctest run it without them (scripts/build.sh, then ctest --test-dir build). Root (or sudo) is
# asked for only to install packages.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
scripts/install-deps.sh
# The package, built as it ships (build-package/, without the tests), installed and run once.
scripts/package-check.sh
scripts/sanitize.sh
scripts/fuzz.sh --ci
scripts/linecount.sh
