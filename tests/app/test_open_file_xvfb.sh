#!/usr/bin/env bash
# The program on a real X display (Xvfb), started as a file manager starts it
# for a settings file, against the simulated encoder:
#   kvxc FILE.kvx --port PTY --connect
# After the read the title the window system shows ends in " - [FILE.kvx]".
# Skips (exit 77) without Xvfb or xdotool, and in sanitizer builds: the
# window system's plugin and libraries are not built for the sanitizers, and
# the program's start is checked under them offscreen already.
#
#   test_open_file_xvfb.sh KVXC KVXSIM [SANITIZE]
set -uo pipefail
kvxc=$1
kvxsim=$2
sanitize=${3:-}

fail() { echo "FAIL: $*"; exit 1; }
if [ -n "$sanitize" ]; then
    echo "skipped: a build with -fsanitize=$sanitize"
    exit 77
fi
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (make setup installs it)"; exit 77; }
done

tmp=$(mktemp -d)
xvfb= sim= app=
cleanup() {
    local pid
    for pid in $app $sim $xvfb; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

# A display of its own: Xvfb names a free one.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 30 -u "$fd" display || fail "Xvfb named no display: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$display"

"$kvxsim" >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim=$!
for _ in $(seq 200); do
    [ -s "$tmp/sim.out" ] && break
    sleep 0.05
done
pty=$(head -n 1 "$tmp/sim.out")
[ -c "$pty" ] || fail "kvxsim printed no terminal: $(cat "$tmp/sim.err")"

mkdir -m 700 "$tmp/run"
# Every key, so that no missing-key notice stands between the read and the title.
printf 'PI=C201\r\nPS=MY RADIO\r\nPTY=0\r\nTA=0\r\nTATIME=0\r\nTP=0\r\nMS=0\r\nDI=0\r\nMODE=0\r\nTEXT=from a file manager\r\nDRTS=0\r\nDPSS=0\r\nPARSE=0\r\nAF1=0\r\nAF2=0\r\nAF3=0\r\nAF4=0\r\nAF5=0\r\nAF6=0\r\nAF7=0\r\nPHASE=0\r\nCT=0\r\nOFFSET=+00:00\r\nDST=0\r\nSYNC=0\r\n' >"$tmp/station.kvx"
(cd "$tmp" && exec env KVX_CONFIG_DIR="$tmp/conf" XDG_RUNTIME_DIR="$tmp/run" XDG_DATA_HOME="$tmp/data" XDG_STATE_HOME="$tmp/state" \
    KVX_LOG=debug QT_QPA_PLATFORM=xcb "$kvxc" station.kvx --port "$pty" --connect) >"$tmp/kvxc.log" 2>&1 &
app=$!

title=
for _ in $(seq 300); do
    kill -0 "$app" 2>/dev/null || fail "kvxc ended: $(cat "$tmp/kvxc.log")"
    if grep -q "read complete" "$tmp/kvxc.log"; then
        title=$(xdotool search --name 'station\.kvx' getwindowname 2>/dev/null | head -n 1)
        [ -n "$title" ] && break
    fi
    sleep 0.1
done
[ -n "$title" ] || fail "no window named after the file: $(xdotool search --name . getwindowname %@ 2>&1)"
[ "${title% - \[station.kvx\]}" != "$title" ] || fail "the title does not end in \" - [station.kvx]\": $title"
echo "title: $title"
