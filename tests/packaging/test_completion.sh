#!/usr/bin/env bash
# Runs kvxctl's bash and zsh completion as the shells would, with the real
# kvxctl behind them: commands, each command's options, the keys of get and
# set (set only those it takes), option values, and the command found past
# options and their values. zsh's completion builtins are stood in for by
# functions that collect what would be offered.
#
#   test_completion.sh KVXCTL COMPLETION_DIR
set -uo pipefail
kvxctl=$1
dir=$2
fail() { echo "FAIL: $*"; exit 1; }
command -v zsh >/dev/null || fail "zsh is missing (make setup installs it)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/sub"
touch "$tmp/a.kvx" "$tmp/b.txt"
cd "$tmp" || fail "cd $tmp"
ports=$("$kvxctl" ports | cut -f1 | sort | tr '\n' ' ')

# bash: COMP_WORDS as bash splits the line ("--port=x" is "--port" "=" "x").
. "$dir/kvxctl.bash"
bash_offers() {
    COMP_WORDS=("$kvxctl" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kvxctl
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' '
}
expect_bash() {
    local want=$1
    shift
    local got
    got=$(bash_offers "$@")
    [ "$got" = "$want" ] || fail "bash: kvxctl $*<TAB> offers '$got', not '$want'"
}
expect_bash "send set " s
expect_bash "PARSE PHASE PI PILOT PS PTY " get p
expect_bash "AF AF1 AF2 AF3 AF4 AF5 AF6 AF7 " get af
expect_bash "PS= " set ps
expect_bash "" set se
expect_bash "--output= " read --o
expect_bash "--sync-clock " write x.kvx --sy
expect_bash "--watch " clock --w
expect_bash "json " --format j
expect_bash "json " --format = j
expect_bash "$ports" --port ""
expect_bash "$ports" -p = ""
expect_bash "PI PILOT " -o x.kvx get Pi
expect_bash "PI PILOT " --port=x get pi
expect_bash "a.kvx sub " diff ""
expect_bash "keys " help k

# zsh: the completion file as zsh autoloads it, with compadd, _files and
# compset standing in; what zsh would offer is every candidate (zsh itself
# keeps those that fit the word).
zsh_offers() {
    zsh -f -c '
        kvxctl=$1 dir=$2; shift 2
        words=($kvxctl "$@"); CURRENT=$#words
        reply=()
        compadd() {
            while (( $# )) && [[ $1 != -- ]]; do
                case $1 in
                    -a) reply+=(${(P)2}); shift 2 ;;
                    -S|-M|-P) shift 2 ;;
                    -*) shift ;;
                    *) reply+=($1); shift ;;
                esac
            done
            (( $# )) && shift
            reply+=("$@")
        }
        _files() { reply+=(FILES) }
        compset() { return 0 }
        functions[_kvxctl_file]=$(<$dir/_kvxctl)
        _kvxctl_file
        print -rl -- ${(o)reply}
    ' zsh "$kvxctl" "$dir" "$@" | tr '\n' ' '
}
expect_zsh() {
    local want=$1
    shift
    local got
    got=$(zsh_offers "$@")
    [ "$got" = "$want" ] || fail "zsh: kvxctl $*<TAB> offers '$got', not '$want'"
}
commands=$("$kvxctl" help commands | sort | tr '\n' ' ')
keys=$("$kvxctl" help keys | sed -n 's/^\([A-Z][A-Z0-9]*\) .*/\1/p')
settable=$("$kvxctl" help keys | grep -v 'read-only:' | sed -n 's/^\([A-Z][A-Z0-9]*\) .*/\1/p' | sort | tr '\n' ' ')
expect_zsh "$commands" ""
expect_zsh "$(printf '%s\n' $keys AF | sort | tr '\n' ' ')" get ""
expect_zsh "$settable" set ""
expect_zsh "$(printf '%s\n' $keys AF | sort | tr '\n' ' ')" -o x.kvx get ""
expect_zsh "json kvx " --format ""
expect_zsh "FILES $ports" --port ""
expect_zsh "FILES $ports" --port=t
expect_zsh "FILES " write ""
expect_zsh "$("$kvxctl" help options clock | sed 's/^\(-.\)=$/\1/' | sort | tr '\n' ' ')" clock -
echo "completion: all checks passed"
