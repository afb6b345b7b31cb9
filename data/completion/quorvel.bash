# Bash completion of quorvel: its options and the names of the profiles in the data folder.

_quorvel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local i options_ended=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
    done
    COMPREPLY=()
    if [[ $options_ended == 0 && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--list --help --version -h -V --' -- "$cur")
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
