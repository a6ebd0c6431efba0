#!/bin/bash
# Checks that the manual pages and the programs' --help agree: every command and option that
# `keldor-ctl --help`, `keldor-ctl COMMAND --help`, `headend-sim --help` and
# `keldor-exporter --help` name is documented in src/ctl/keldor-ctl.1, sim/headend-sim.1 and
# src/exporter/keldor-exporter.1, and the pages name nothing the programs lack.
#   scripts/check-manpages.sh [BIN-DIR]      (default build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
status=0

# The page's entries as "command NAME", "option ENTRY --NAME" and "mention --NAME" lines: an
# entry is the line after .TP in COMMANDS (named by its first word) or OPTIONS (named "-").
entries() {
    awk '
        /^\.SH/ { section = $2; entry = ""; next }
        previous == ".TP" && section == "COMMANDS" {
            entry = $2; gsub(/\\-/, "-", entry); gsub(/"/, "", entry); print "command " entry
        }
        previous == ".TP" && section == "OPTIONS" { entry = "-" }
        previous != ".TP" && section == "OPTIONS" { entry = "" }
        {
            line = $0; gsub(/\\-/, "-", line)
            while (match(line, /--[a-z][a-z0-9-]*/)) {
                option = substr(line, RSTART, RLENGTH)
                print "mention " option
                if (entry != "") print "option " entry " " option
                line = substr(line, RSTART + RLENGTH)
            }
        }
        { previous = $1 }
    ' "$1" | sort -u
}

options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }

# Lines of the first list that the second lacks, each reported with the given words.
lacking() {
    local what=$1
    shift
    comm -23 <(printf '%s\n' "$1" | sed '/^$/d' | sort -u) <(printf '%s\n' "$2" | sed '/^$/d' | sort -u) |
        while read -r name; do
            echo "$what: $name"
        done
}

report() {
    local found
    found=$(lacking "$@")
    if [ -n "$found" ]; then
        echo "$found" >&2
        status=1
    fi
}

ctl_page=src/ctl/keldor-ctl.1
ctl_help=$("$bin/keldor-ctl" --help)
page=$(entries "$ctl_page")
global=$(sed '/^commands:/q' <<<"$ctl_help" | options)
# A command with two forms, and fleet with its own commands, has several lines.
commands=$(grep -E '^  [a-z]' <<<"$ctl_help" | awk '{ print $1 }' | sort -u)
report "$ctl_page lacks the option" "$global" "$(awk '$1 == "option" && $2 == "-" { print $3 }' <<<"$page")"
report "$ctl_page lacks the command" "$commands" "$(awk '$1 == "command" { print $2 }' <<<"$page")"
report "keldor-ctl --help lacks the command in $ctl_page" \
    "$(awk '$1 == "command" { print $2 }' <<<"$page")" "$commands"
known=$global
for command in $commands; do
    own=$(comm -23 <("$bin/keldor-ctl" "$command" --help | options) <(echo "$global"))
    known+=$'\n'$own
    documented=$(awk -v c="$command" '$1 == "option" && $2 == c { print $3 }' <<<"$page")
    report "$ctl_page lacks in $command the option" "$own" "$documented"
    report "keldor-ctl $command --help lacks the option in $ctl_page" \
        "$(comm -23 <(echo "$documented") <(echo "$global"))" "$own"
done
report "$ctl_page names an option keldor-ctl lacks" \
    "$(awk '$1 == "mention" { print $2 }' <<<"$page")" "$known"

sim_page=sim/headend-sim.1
sim_options=$("$bin/headend-sim" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z0-9-]+' | options)
page=$(entries "$sim_page")
report "$sim_page lacks the option" "$sim_options" "$(awk '$1 == "option" { print $3 }' <<<"$page")"
report "$sim_page names an option headend-sim lacks" \
    "$(awk '$1 == "mention" { print $2 }' <<<"$page")" "$sim_options"
exporter_page=src/exporter/keldor-exporter.1
exporter_options=$("$bin/keldor-exporter" --help | grep -oE '^ +--[a-z0-9-]+' | options)
documented=$(entries "$exporter_page" | awk '$1 == "option" { print $3 }')
report "$exporter_page lacks the option" "$exporter_options" "$documented"
report "$exporter_page names an option keldor-exporter lacks" "$documented" "$exporter_options"
exit $status
