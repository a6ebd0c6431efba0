# bash completion for keldor-ctl. The program answers from the description of its own commands
# ("keldor-ctl __complete POSITION WORD..."), so this file never needs to follow a new option.

_keldor_ctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    # bash splits HOST:PORT and --option=value at ':' and '='; the program wants them whole.
    local words=() cword=0 i word
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        word=${COMP_WORDS[i]}
        if ((${#words[@]})) && [[ $word == [:=] || ${words[-1]} == *[:=] ]]; then
            words[-1]+=$word
        else
            words+=("$word")
        fi
        ((i == COMP_CWORD)) && cword=${#words[@]}
    done
    local candidates=()
    mapfile -t candidates < <("${COMP_WORDS[0]}" __complete "$cword" "${words[@]}" 2>/dev/null)
    COMPREPLY=()
    case ${candidates[0]-} in
    @file)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
    @folder)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    *)
        # A value such as "8 MHz" goes back quoted; after a ':' only what follows it.
        local candidate typed=${words[cword - 1]-}
        for candidate in "${candidates[@]}"; do
            candidate=${candidate:${#typed}-${#cur}}
            [[ $candidate == *[[:space:]\'\"\\]* ]] && candidate=$(printf '%q' "$candidate")
            COMPREPLY+=("$candidate")
        done
        ;;
    esac
}
complete -F _keldor_ctl keldor-ctl
