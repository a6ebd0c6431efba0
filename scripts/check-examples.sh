#!/bin/bash
# Checks the monitoring configurations the package installs as examples (packaging/examples/):
# the README shows each of them whole, and they name only options that keldor-ctl has.
#   scripts/check-examples.sh [BIN-DIR]      (default build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
status=0
readme=$(<README.md)
known=$("$bin/keldor-ctl" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
for example in packaging/examples/*; do
    if [[ $readme != *"$(<"$example")"* ]]; then
        echo "README.md does not show $example as it is" >&2
        status=1
    fi
    unknown=$({ grep -oE -- '--[a-z][a-z0-9-]*' "$example" || true; } | sort -u | comm -23 - <(echo "$known"))
    if [ -n "$unknown" ]; then
        echo "$example names options keldor-ctl lacks:" $unknown >&2
        status=1
    fi
done
exit $status
