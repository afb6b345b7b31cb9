# Bash completion of quorvel: its options, file and folder names after the options that take
# them, and the names of the profiles in the data folder.

_quorvel() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local i options_ended=0 logs=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
        [[ ${COMP_WORDS[i]} == --logs* ]] && logs=1
    done
    COMPREPLY=()
    # "--opt=value" is split at "=" by bash: the option is then two words back.
    if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == = ]]; then
        cur=
    fi
    case $prev in
    --logs | --json)
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    --output | --csv)
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --format) return ;;
    esac
    if [[ $options_ended == 0 && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--logs --output --format --json --csv --list --help --version -h -V --' -- "$cur")
        return
    fi
    # After --logs every operand is one more log.
    if [[ $logs == 1 ]]; then
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
    fi
    local folder="${XDG_DATA_HOME:-$HOME/.local/share}/Corvantis/Quorvel/profiles"
    local file name
    for file in "$folder"/*.xml; do
        [[ -f $file ]] || continue
        name=${file##*/}
        name=${name%.xml}
        [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done
}
complete -F _quorvel quorvel
