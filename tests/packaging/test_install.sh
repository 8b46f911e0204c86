#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the result: every file
# lands where expected, the desktop entry, the AppStream metadata and the
# manual pages pass their checkers, the installed kvxctl talks to the
# installed kvxsim, and a program in the (read-only) installed bin folder keeps
# its configuration under $XDG_CONFIG_HOME.
#
#   test_install.sh BUILD_DIR HAVE_KVXC [CONFIG_PROBE]
set -uo pipefail
build=$1
export HAVE_KVXC=$2
probe=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/expected_files.sh"

fail() { echo "FAIL: $*"; exit 1; }

for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || fail "$tool is missing (make setup installs it)"
done

tmp=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    chmod -R u+w "$tmp" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp" # another user must reach the prefix inside
prefix=$tmp/usr

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
check_file_list "$prefix" || fail "the installed files differ from the expected ones"

desktop-file-validate "$prefix/share/applications/kvxc.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.kvxc.kvxc.metainfo.xml" || fail "AppStream metadata"
for page in "$prefix"/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
# The help page: a section per help context, the editor's groups first in their order.
help=$prefix/share/doc/kvxc/kvxc.html
contexts=$(grep -c '<Context ' "$here/../../resources/help.xml")
[ "$(grep -c '<h2 id="ctx' "$help")" = "$contexts" ] || fail "help page without a section per help context"
order=$(sed -n 's/^<h2 id="ctx\([0-9]*\)".*/\1/p' "$help" | head -n 5 | tr '\n' ' ')
[ "$order" = "1 2 3 6 9 " ] || fail "help sections in the order $order"

# The installed programs run, and the one talks to the other.
"$prefix/bin/kvxctl" --help >/dev/null || fail "installed kvxctl --help"
"$prefix/bin/kvxsim" >"$tmp/sim.out" 2>/dev/null &
sim=$!
for _ in $(seq 200); do
    [ -s "$tmp/sim.out" ] && break
    sleep 0.05
done
pty=$(head -n 1 "$tmp/sim.out")
[ -c "$pty" ] || fail "installed kvxsim printed no terminal"
reply=$("$prefix/bin/kvxctl" --port "$pty" --timeout 5 send ECHO=0 PI?) || fail "installed kvxctl against kvxsim: $reply"
grep -q 'OK\\r\\n$' <<<"$reply" || fail "unexpected reply: $reply"
kill "$sim"
wait "$sim" 2>/dev/null
sim=

# Configuration of an installed program: its folder cannot be written, so the
# file goes to $XDG_CONFIG_HOME. Root writes anywhere: run as nobody.
if [ -n "$probe" ]; then
    cp "$probe" "$prefix/bin/config_probe"
    home=$tmp/home
    mkdir -p "$home"
    chmod -R a-w "$prefix"
    run=()
    if [ "$(id -u)" = 0 ]; then
        chown nobody "$home"
        run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    out=$("${run[@]}" env -u KVX_CONFIG_DIR HOME="$home" XDG_CONFIG_HOME="$home/xdg" "$prefix/bin/config_probe") \
        || fail "the configuration was not written: $out"
    [ "$out" = "$home/xdg/kvxc/conf/kvxc.ini" ] || fail "configuration file at $out"
    grep -q '^Port=ttyPROBE' "$out" || fail "configuration file without its port"
    [ ! -e "$prefix/bin/conf" ] || fail "a conf folder appeared in the installed bin folder"
fi
echo "install: all checks passed"
