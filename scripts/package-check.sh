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
fleet_list=/etc/keldor/fleet.list
made_list=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    rm -rf "$work"
    if [ -n "$made_list" ]; then
        "${as_root[@]}" rm -f "$fleet_list"
        "${as_root[@]}" rmdir --ignore-fail-on-non-empty "$(dirname "$fleet_list")"
        "${as_root[@]}" rm -rf /var/lib/keldor/backups/sim-a /var/lib/keldor/backups/.git \
            /var/lib/keldor/backups/.keldor-lock
    fi
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

# The nightly fleet backup: both units pass systemd's own check, and the service's command line,
# run as its user as systemd would (no systemd runs here), backs up the simulator into git.
service=/lib/systemd/system/keldor-fleet-backup.service
[ -f "$service" ] || service=/usr/lib/systemd/system/keldor-fleet-backup.service
systemd-analyze verify "$service" "${service%.service}.timer"
if [ -e "$fleet_list" ]; then
    echo "package check: $fleet_list exists; the fleet backup is not tried over it" >&2
else
    made_list=1
    printf 'sim-a %s:%s\n' "$host" "$port" | "${as_root[@]}" install -D -m 0644 /dev/stdin "$fleet_list"
    read -r -a exec_start < <(sed -n 's/^ExecStart=//p' "$service")
    read -r -a environment < <(sed -n 's/^Environment=//p' "$service")
    user=$(sed -n 's/^User=//p' "$service")
    as_user=("${as_root[@]}" runuser -u "$user" -- env "${environment[@]}" KELDOR_LOOPBACK_ONLY=1)
    (cd / && "${as_user[@]}" "${exec_start[@]}")
    (cd / && "${as_user[@]}" git -C /var/lib/keldor/backups log --format=%s) |
        grep '^sim-a: first backup$'
fi

# The menu entry as a desktop reads it: valid, with its icon in the theme, and its command
# started by a fresh user, who must get a program folder of their own, not /usr/bin.
entry=/usr/share/applications/keldor-station.desktop
desktop-file-validate "$entry"
[ -f "/usr/share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$entry").png" ]
HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen \
    KELDOR_EXIT_WHEN_SHOWN=1 $(sed -n 's/^Exec=//p' "$entry")
[ -d "$work/data/KELDOR/KELDOR Station" ]
echo "package check passed: $deb"
