#!/bin/bash
# Drives the bash completion of keldor-ctl as bash does, through COMP_WORDS and COMP_CWORD,
# and checks what it offers for each command line of the table.
#   scripts/check-completion.sh [BIN-DIR]      (default build/bin)
set -uo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/bin}" && pwd)
source packaging/completion/keldor-ctl.bash
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'rack-1 127.0.0.1:5000\nrack-2 127.0.0.1:5001\nspare 127.0.0.1:5002\n' >"$dir/sites.list"
mkdir "$dir/images" && touch "$dir/images/fw.UC3" "$dir/site.kdr"
# The program folder of the test alone: the default directory there is missing, so it offers
# no names.
export KELDOR_PROGRAM_DIR=$dir/program XDG_DATA_HOME=$dir/data
status=0

# Each row: what is offered (sorted, one space between), then the words after keldor-ctl, the
# last one being completed.
while IFS='|' read -r expected line; do
    [[ -z $expected || $expected == \#* ]] && continue
    eval "words=($line)"
    # bash breaks words at ':' and '=' (COMP_WORDBREAKS) before the function sees them.
    COMP_WORDS=("$bin/keldor-ctl")
    for word in "${words[@]}"; do
        while [[ $word =~ ^([^:=]+)([:=])(.*)$ ]]; do
            COMP_WORDS+=("${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}")
            word=${BASH_REMATCH[3]}
        done
        COMP_WORDS+=("$word")
    done
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _keldor_ctl
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
    expected=${expected% }
    if [[ $offered != "$expected" ]]; then
        echo "keldor-ctl $line: offered '$offered', expected '$expected'" >&2
        status=1
    fi
done <<ROWS
check|che
fleet|fle
--lan|--usb --l
--help --json|--usb info --
Normal Single Zero|--usb output 3 --opmode ''
QAM-128 QAM-16|--usb output 3 --qam QAM-1
7\ MHz 8\ MHz|--usb output 3 --bandwidth ''
1 10 11 12 13 14 15 16|--usb services 1
1 10 11 12 13 14 15|--usb get 1
0 1 10 11 12 13 14 15 2 3 4 5 6 7 8 9|--usb get ''
nagios prometheus|--lan 127.0.0.1:1 check --format ''
QAM-64|--usb output 3 --qam=QAM-6
backup check inventory|fleet ''
--csv|fleet inventory --c
rack-1 rack-2|fleet check --list $dir/sites.list --only rack
rack-1,rack-2 rack-1,spare|fleet check --list $dir/sites.list --only rack-1,
|fleet check --only ''
$dir/images/fw.UC3|--usb update-fw $dir/images/fw
$dir/images|--usb update-fpga x --backup-dir $dir/im
$dir/site.kdr $dir/sites.list|diff $dir/si
10 12 16 8|plan $dir/site.kdr --channels ''
--channels --dir --help --json --keep-services --reset-services|diff a b ''
ROWS
exit $status
