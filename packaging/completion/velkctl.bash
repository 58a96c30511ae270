# bash completion for velkctl.
#
# Commands, options and their values are read from velkctl's own --help (the
# tool's and each command's), so the completion follows the installed tool:
# an option followed by a value word (TEXT, INT, ...) takes a value, a list
# {a,b} gives that value's choices, and positionals named FILE or DIR complete
# file or folder names. --port completes the ports velkctl lists, and paths.

# Prints the help of velkctl or of one of its commands as lines
#   cmd NAME | opt NAME VALUE CHOICES | pos NAME 1 CHOICES
# where VALUE is 1 for an option that takes a value and CHOICES is a comma
# list or "-".
_velkctl_describe() {
    local tool=$1
    shift
    "$tool" "$@" --help 2>/dev/null | awk '
        function choices(word) {
            if (match(word, /\{[^}]*\}/)) return substr(word, RSTART + 1, RLENGTH - 2)
            return "-"
        }
        /^[A-Za-z]/ { section = $1; next }
        section == "Subcommands:" && /^  [a-z]/ { print "cmd", $1; next }
        section == "Positionals:" && /^  [A-Z]/ { print "pos", $1, 1, choices($2); next }
        section == "Options:" && /^  -/ {
            takes = ($2 ~ /^[A-Z]/) ? 1 : 0
            n = split($1, names, ",")
            for (i = 1; i <= n; i++) print "opt", names[i], takes, choices($2)
        }'
}

# Sets COMPREPLY to what compgen OPTIONS... offers for the current word, one
# reply a line, so that file names with spaces stay whole.
_velkctl_reply() {
    mapfile -t COMPREPLY < <(compgen "$@" -- "$cur")
}

_velkctl() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi
    local tool=${words[0]}

    # The tool's own options and commands, then the command's, if one is given.
    local global command="" i kind name takes choice
    global=$(_velkctl_describe "$tool")
    local -A value_of=()
    local -a commands=()
    while read -r kind name takes choice; do
        case $kind in
        cmd) commands+=("$name") ;;
        opt) [ "$takes" = 1 ] && value_of[$name]=$choice ;;
        esac
    done <<<"$global"

    local -a positionals=()
    local -i position=0
    for ((i = 1; i < cword; i++)); do
        local word=${words[i]}
        if [[ $word == -* ]]; then
            [[ $word != *=* && -n ${value_of[$word]+set} ]] && ((i++))
        elif [ -z "$command" ]; then
            command=$word
            local details
            details=$(_velkctl_describe "$tool" "$command")
            while read -r kind name takes choice; do
                case $kind in
                opt) [ "$takes" = 1 ] && value_of[$name]=$choice ;;
                pos) positionals+=("$name:$choice") ;;
                esac
            done <<<"$details"
        else
            position+=1
        fi
    done

    # The value of an option.
    if [[ $prev == -* && -n ${value_of[$prev]+set} ]]; then
        case $prev in
        --port)
            local ports
            ports=$("$tool" ports 2>/dev/null)
            if [[ $cur == /* || $cur == .* ]]; then
                _velkctl_reply -W "$ports" -f
            else
                _velkctl_reply -W "$ports"
            fi
            ;;
        *)
            if [ "${value_of[$prev]}" != - ]; then
                _velkctl_reply -W "${value_of[$prev]//,/ }"
            else
                _velkctl_reply -f
            fi
            ;;
        esac
        return
    fi

    if [[ $cur == -* ]]; then
        local options
        options=$({
            printf '%s\n' "$global"
            [ -n "$command" ] && _velkctl_describe "$tool" "$command"
        } | awk '$1 == "opt" && !seen[$2]++ { print $2 }')
        _velkctl_reply -W "$options"
        return
    fi

    if [ -z "$command" ]; then
        _velkctl_reply -W "${commands[*]}"
        return
    fi

    # A positional: its choices, or file and folder names.
    local entry=${positionals[position]:-}
    local pos_name=${entry%%:*} pos_choices=${entry#*:}
    if [ -n "$entry" ] && [ "$pos_choices" != - ]; then
        _velkctl_reply -W "${pos_choices//,/ }"
    elif [ "$pos_name" = DIR ]; then
        _velkctl_reply -d
    elif [ "$pos_name" = FILE ] || [ -z "$entry" ]; then
        _velkctl_reply -f
    fi
}
complete -o filenames -F _velkctl velkctl
