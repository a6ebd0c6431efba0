#!/bin/bash
# Checks that the core's includes point only down its layers, from the bytes up:
#   common (helpers every layer may use), link, protocol, model, features/<feature>
# A file includes its own layer and those below; features include one another. The core
# includes nothing of the GUI and names every header it includes from another folder by its
# side's prefix (core/...). Prints each include that points the wrong way and fails on any.
#   scripts/check-layers.sh [SOURCE-DIR]      (default: this tree)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A layer=([common]=0 [link]=1 [protocol]=2 [model]=3 [features]=4)
status=0
fail() {
    echo "$1" >&2
    status=1
}

for folder in src/core/*/; do
    folder=$(basename "$folder")
    [ -n "${layer[$folder]:-}" ] || fail "src/core/$folder is on no layer"
done

while IFS= read -r file; do
    own=$(cut -d/ -f3 <<<"$file")
    [ -n "${layer[$own]:-}" ] || continue
    while IFS=: read -r line include; do
        where="$file:$line: $include"
        case $include in
        \<QtWidgets* | \<QWidget* | \<QApplication* | \<QMessageBox* | \<QDialog*)
            fail "$where: the core includes widgets" ;;
        \"gui/*) fail "$where: the core includes the GUI" ;;
        \"core/*)
            target=$(cut -d/ -f2 <<<"${include#\"}")
            if [ -z "${layer[$target]:-}" ]; then
                fail "$where: core/$target is on no layer"
            elif ((layer[$target] > layer[$own])); then
                fail "$where: $own includes $target, a layer above it"
            fi
            ;;
        \"*/*) fail "$where: a header of another folder named without core/" ;;
        esac
    done < <(grep -nE '^\s*#\s*include\s*[<"]' "$file" |
        sed -E 's/^([0-9]+):\s*#\s*include\s*([<"][^>"]*[>"]).*/\1:\2/')
done < <(find src/core -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

exit $status
