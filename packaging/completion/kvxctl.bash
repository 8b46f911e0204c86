# bash completion for kvxctl. The commands, their options and the keys of
# get and set are asked of kvxctl itself (kvxctl help commands, help options,
# help keys); the ports come from kvxctl ports.

# The words kvxctl gives for a help topic.
_kvxctl_help()
{
    "$_kvxctl_program" help "$@" 2>/dev/null
}

# The keys of get and set: the first word of the lines of "help keys" that
# are not continuations. With "settable", only those set takes.
_kvxctl_keys()
{
    local line
    while IFS= read -r line; do
        [[ $line == [A-Z]* ]] || continue
        if [[ ${1-} == settable && $line == *"read-only:"* ]]; then
            continue
        fi
        printf '%s\n' "${line%% *}"
    done < <(_kvxctl_help keys)
}

_kvxctl_ports()
{
    "$_kvxctl_program" ports 2>/dev/null | cut -f1
}

# Completes the value of option $1 from the word $2.
_kvxctl_value()
{
    case $1 in
    --port | -p)
        COMPREPLY=($(compgen -W "$(_kvxctl_ports)" -- "$2"))
        [[ $2 == */* ]] && COMPREPLY+=($(compgen -f -- "$2"))
        ;;
    --format) COMPREPLY=($(compgen -W "kvx json" -- "$2")) ;;
    --timeout) COMPREPLY=() ;;
    *) COMPREPLY=($(compgen -f -- "$2")) ;;
    esac
}

_kvxctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local _kvxctl_program=${COMP_WORDS[0]}
    local i word command= valued
    # Options that take a value: "--port=" and "-p=" in kvxctl's list.
    valued=" $(_kvxctl_help options | sed -n 's/=$//p' | tr '\n' ' ') "
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $valued == *" $word "* && ${COMP_WORDS[i + 1]-} != "=" ]]; then
            ((i++))
            continue
        fi
        [[ $word == -* || $word == "=" || ${COMP_WORDS[i - 1]-} == "=" ]] && continue
        command=$word
        break
    done

    # --opt=value: bash splits the word at "=".
    if [[ $prev == "=" ]]; then
        _kvxctl_value "${COMP_WORDS[COMP_CWORD - 2]}" "$cur"
        return
    fi
    if [[ $cur == "=" ]]; then
        _kvxctl_value "$prev" ""
        return
    fi
    if [[ $valued == *" $prev "* ]]; then
        _kvxctl_value "$prev" "$cur"
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_kvxctl_help options $command | sed 's/^\(-[^-]\)=$/\1/')" -- "$cur"))
        [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
        return
    fi
    case $command in
    "") COMPREPLY=($(compgen -W "$(_kvxctl_help commands)" -- "$cur")) ;;
    get) COMPREPLY=($(compgen -W "$(_kvxctl_keys) AF" -- "${cur^^}")) ;;
    set)
        COMPREPLY=($(compgen -S = -W "$(_kvxctl_keys settable)" -- "${cur^^}"))
        compopt -o nospace 2>/dev/null
        ;;
    diff | write) COMPREPLY=($(compgen -f -X '!*.kvx' -- "$cur") $(compgen -d -- "$cur")) ;;
    help) COMPREPLY=($(compgen -W "$(_kvxctl_help commands) keys commands options" -- "$cur")) ;;
    esac
}

complete -F _kvxctl kvxctl
