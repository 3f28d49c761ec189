# bash completion for kalmora-cli
_kalmora_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} command=${COMP_WORDS[1]}
    local commands="plan apply shift-date rename stamps-from-date export-times export-exif strip history undo"
    local common="--pattern --json --help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    local window="--start --end --step --random --working-hours --lunch --seed"
    local options
    case "$command" in
    plan) options="$window --stamps $common" ;;
    apply) options="$window --stamps --round --dry-run $common" ;;
    shift-date) options="--by --random --new-start --increment --video --dry-run $common" ;;
    rename) options="--video --dry-run $common" ;;
    stamps-from-date) options="--stamps --shift --video --round --dry-run $common" ;;
    export-times | export-exif) options="-o --utf8 --pattern --help" ;;
    strip) options="--no-undo-for-large --keep-all --dry-run $common" ;;
    history) options="--json --help" ;;
    undo) options="--json --dry-run --help" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur"))
    fi
}
complete -F _kalmora_cli kalmora-cli
