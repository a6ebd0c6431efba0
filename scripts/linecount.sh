#!/bin/bash
# Non-blank lines of C++ in the code (src/, sim/, tools/) and in the tests (tests/, fuzz/), and their
# ratio; we keep the tests at a quarter to a third of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -c -v -E '^\s*$'
}
code=$(count src sim tools)
tests=$(count tests fuzz)
awk -v c="$code" -v t="$tests" 'BEGIN {
    printf "code (src, sim, tools): %d lines\ntests (tests, fuzz): %d lines\nratio: %.2f (kept between 0.25 and 0.35)\n", c, t, t / c
}'
