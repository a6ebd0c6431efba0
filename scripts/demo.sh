#!/bin/bash
# Builds if needed, starts the simulated headend on loopback and talks to it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
bin=${KELDOR_BUILD_DIR:-build}/bin

log=$(mktemp)
"$bin/headend-sim" --tcp 0 >"$log" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do
    grep -q '^LISTENING' "$log" && break
    sleep 0.1
done
read -r _ _ host port < <(grep '^LISTENING' "$log")
echo "headend-sim listening on $host:$port"
"$bin/keldor-ctl" --lan "$host:$port" info
