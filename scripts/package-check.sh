#!/bin/bash
# Builds the package, installs it as an operator would (apt-get install ./FILE.deb), runs the
# installed keldor-ctl against the installed headend-sim and the installed keldor-station
# offscreen to its first shown window, then removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/start-sim.sh
# Everything these programs reach stays on this machine (see LanLink::announceDial).
export KELDOR_LOOPBACK_ONLY=1
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "package check skipped: installing the package needs root or sudo" >&2
        exit 0
    fi
    as_root=(sudo)
fi

scripts/install-deps.sh desktop-file-utils
deb=$(scripts/package.sh | tail -n 1)
work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    rm -rf "$work"
    "${as_root[@]}" apt-get remove -y -qq keldor-station >/dev/null
}
trap cleanup EXIT
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")" >/dev/null

start_sim /usr/bin/headend-sim "$work"
/usr/bin/keldor-ctl --lan "$host:$port" info

# The installed Nagios example runs as Nagios would run it, through sh with its macros filled
# in: the simulator's address and port, and the example service's own thresholds.
nagios=/usr/share/doc/keldor-station/examples/nagios-keldor-headend.cfg
command_line=$(sed -n 's/^ *command_line *//p' "$nagios")
IFS='!' read -r -a service < <(sed -n 's/^ *check_command *//p' "$nagios")
command_line=${command_line//'$HOSTADDRESS$'/$host}
command_line=${command_line//'$ARG1$'/$port}
for n in 2 3 4 5; do
    command_line=${command_line//"\$ARG$n\$"/${service[n]}}
done
sh -c "$command_line" | grep '^OK - '

# The menu entry as a desktop reads it: valid, with its icon in the theme, and its command
# started by a fresh user, who must get a program folder of their own, not /usr/bin.
entry=/usr/share/applications/keldor-station.desktop
desktop-file-validate "$entry"
[ -f "/usr/share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$entry").png" ]
HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen \
    KELDOR_EXIT_WHEN_SHOWN=1 $(sed -n 's/^Exec=//p' "$entry")
[ -d "$work/data/KELDOR/KELDOR Station" ]
echo "package check passed: $deb"
