#!/bin/bash
# Builds if needed, starts the simulated headend on loopback and keldor-station in LAN mode
# with a directory entry for it, in a settings and program folder of its own that go away
# afterwards. The simulator stops when the station closes.
#   scripts/demo.sh          the station
#   scripts/demo.sh --cli    keldor-ctl reads the simulator's identity instead
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/start-sim.sh
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
mode=gui
case "${1:-}" in
--cli) mode=cli ;;
"") ;;
*) echo "usage: $0 [--cli]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
# Only what the demo runs, not the tests: the first start stays short.
KELDOR_TARGETS="keldor-station keldor-ctl headend-sim keldor-directory-add" scripts/build.sh
bin=$(pwd)/${KELDOR_BUILD_DIR:-build}/bin

work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

start_sim "$bin/headend-sim" "$work"
echo "headend-sim listening on $host:$port"

if [ "$mode" = cli ]; then
    "$bin/keldor-ctl" --lan "$host:$port" info
    exit
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "no display to show the station on; try: xvfb-run $0, or $0 --cli" >&2
    exit 1
fi

program=$work/program
config=$work/config
mkdir -p "$program" "$config/KELDOR"
cp "$bin/sat.ico" "$bin/check.ico" "$bin/cross.ico" "$program/"
"$bin/keldor-directory-add" "$program" "Simulated headend" "Demo rack" "$host" "$port"
printf '[Settings]\nLAN-Control=True\nUSB-Control=False\n' >"$config/KELDOR/KELDOR Station.conf"

# Under sudo the station runs as the user who owns the display.
as_user=()
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    chown -R "$SUDO_USER" "$work"
    as_user=(sudo -u "$SUDO_USER" --)
fi
environment=(XDG_CONFIG_HOME="$config" KELDOR_PROGRAM_DIR="$program")
for name in DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_RUNTIME_DIR; do
    if [ -n "${!name:-}" ]; then
        environment+=("$name=${!name}")
    fi
done
cat <<TEXT
keldor-station is in LAN mode with one directory entry for the simulator.
Choose Control > Select Active Headend and double-click "Simulated headend":
the status bar then reads "Online".
TEXT
"${as_user[@]}" env "${environment[@]}" "$bin/keldor-station"
