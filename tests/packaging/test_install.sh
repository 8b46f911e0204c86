#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the result: every file
# lands where expected and agrees with the others, the desktop entry, the
# AppStream metadata and the manual pages pass their checkers, the MIME
# database built from the package's type gives *.kvx that type, the installed
# kvxctl talks to the installed kvxsim, and the installed programs, run by
# whoever runs the test (root, as "sudo kvxc" would), keep their configuration
# under $XDG_CONFIG_HOME and create nothing in the installed bin folder.
#
#   test_install.sh BUILD_DIR HAVE_KVXC [CONFIG_PROBE]
set -uo pipefail
build=$1
export HAVE_KVXC=$2
probe=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/expected_files.sh"

fail() { echo "FAIL: $*"; exit 1; }

for tool in desktop-file-validate appstreamcli man update-mime-database; do
    command -v "$tool" >/dev/null || fail "$tool is missing (make setup installs it)"
done

tmp=$(mktemp -d)
sim=
kvxc=
cleanup() {
    local pid
    for pid in $sim $kvxc; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
prefix=$tmp/usr

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
check_file_list "$prefix" || fail "the installed files differ from the expected ones"

check_file_contents "$prefix" || fail "the installed files disagree"

desktop-file-validate "$prefix/share/applications/org.kvxc.kvxc.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.kvxc.kvxc.metainfo.xml" || fail "AppStream metadata"
for page in "$prefix"/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
# The release: AppStream and the manual pages carry the changelog's version and date.
changelog=$(gzip -dc "$prefix/share/doc/kvxc/changelog.gz")
version=$(sed -n '1s/^kvxc (\([^)]*\)).*/\1/p' <<<"$changelog")
date=$(date -u -d "$(sed -n 's/^ -- .*>  //p' <<<"$changelog" | head -n 1)" +%Y-%m-%d) || fail "changelog date"
grep -q "<release version=\"$version\" date=\"$date\"/>" "$prefix/share/metainfo/org.kvxc.kvxc.metainfo.xml" \
    || fail "AppStream release is not $version of $date"
gzip -dc "$prefix/share/man/man1/kvxc.1.gz" | head -n 1 | grep -qF "1 $date \"kvxc $version\"" \
    || fail "manual page not of $version, $date"

# A file manager's view: the MIME database built from the installed type.
cp -r "$prefix/share/mime" "$tmp/mime"
update-mime-database "$tmp/mime" >/dev/null || fail "update-mime-database"
grep -qx '50:application/x-kvxc-settings:\*\.kvx' "$tmp/mime/globs2" || fail "*.kvx is not application/x-kvxc-settings"

# The live bridge's services: systemd reads both without a word (its checks
# want the program where the unit names it, so the copies name the installed one).
if command -v systemd-analyze >/dev/null; then
    bindir=$(sed -n 's|^ExecStart=\(.*\)/kvxctl live .*|\1|p' "$prefix/lib/systemd/system/kvxc-live.service")
    [ -n "$bindir" ] || fail "the system service does not run kvxctl live"
    mkdir -p "$tmp/units/user" && mkdir -m 700 "$tmp/units/run"
    sed "s|$bindir/kvxctl|$prefix/bin/kvxctl|" "$prefix/lib/systemd/system/kvxc-live.service" >"$tmp/units/kvxc-live.service"
    sed "s|$bindir/kvxctl|$prefix/bin/kvxctl|" "$prefix/lib/systemd/user/kvxc-live.service" \
        >"$tmp/units/user/kvxc-live.service"
    said=$(systemd-analyze verify --man=no "$tmp/units/kvxc-live.service" 2>&1) || fail "system service: $said"
    [ -z "$said" ] || fail "system service: $said"
    said=$(XDG_RUNTIME_DIR="$tmp/units/run" systemd-analyze --user verify --man=no \
        "$tmp/units/user/kvxc-live.service" 2>&1) || fail "user service: $said"
    [ -z "$said" ] || fail "user service: $said"
fi
grep -q '^port ' "$prefix/share/doc/kvxc/examples/live.conf" || fail "the example configuration names no port"
# The fleet's services and timer: systemd reads them without a word (its
# checks want the program where a unit names it, so the copies name the
# installed one); the alert rules and the example site list are sound.
if command -v systemd-analyze >/dev/null; then
    bindir=$(sed -n 's|^ExecStart=\(.*\)/kvxctl exporter .*|\1|p' "$prefix/lib/systemd/system/kvxc-exporter.service")
    [ -n "$bindir" ] || fail "the exporter's service does not run kvxctl exporter"
    mkdir -p "$tmp/fleet-units"
    for unit in kvxc-exporter.service kvxc-backup.service kvxc-backup.timer; do
        sed "s|$bindir/kvxctl|$prefix/bin/kvxctl|" "$prefix/lib/systemd/system/$unit" >"$tmp/fleet-units/$unit"
    done
    said=$(cd "$tmp/fleet-units" && systemd-analyze verify --man=no kvxc-exporter.service kvxc-backup.service \
        kvxc-backup.timer 2>&1) || fail "fleet units: $said"
    [ -z "$said" ] || fail "fleet units: $said"
fi
if command -v promtool >/dev/null; then
    promtool check rules "$prefix/share/doc/kvxc/examples/kvxc-alerts.yml" >/dev/null || fail "the alert rules"
fi
cp "$prefix/share/doc/kvxc/examples/sites.ini" "$tmp/sites.ini"
: >"$tmp/golden.kvx"
said=$("$prefix/bin/kvxctl" fleet "$tmp/sites.ini" status 2>&1)
[ $? = 4 ] && grep -q 'studio.kvx: the profile does not load' <<<"$said" \
    && ! grep -q 'sites.ini:[0-9]' <<<"$said" || fail "the example site list: $said"

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

# Configuration of an installed program, run as whoever runs this test (root
# writes anywhere, so root shows it best): it goes to $XDG_CONFIG_HOME/kvxc and
# nothing appears beside the program. The window creates its folder when it
# starts; the probe writes the file as the window does.
home=$tmp/home
mkdir -p "$home"
run_env=(env -u KVX_CONFIG_DIR -u XDG_DATA_HOME HOME="$home" XDG_CONFIG_HOME="$home/xdg"
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen)
mkdir -m 700 "$home/run"
bin_before=$(ls -A "$prefix/bin")
if [ "$HAVE_KVXC" = 1 ]; then
    "${run_env[@]}" "$prefix/bin/kvxc" >"$tmp/kvxc.out" 2>&1 &
    kvxc=$!
    for _ in $(seq 400); do
        [ -d "$home/xdg/kvxc/conf" ] && break
        kill -0 "$kvxc" 2>/dev/null || break
        sleep 0.05
    done
    kill "$kvxc" 2>/dev/null
    wait "$kvxc" 2>/dev/null
    kvxc=
    [ -d "$home/xdg/kvxc/conf" ] || fail "the installed kvxc made no $home/xdg/kvxc/conf: $(cat "$tmp/kvxc.out")"
fi
if [ -n "$probe" ]; then
    cp "$probe" "$prefix/bin/config_probe"
    bin_before=$(ls -A "$prefix/bin")
    out=$("${run_env[@]}" "$prefix/bin/config_probe") || fail "the configuration was not written: $out"
    [ "$out" = "$home/xdg/kvxc/conf/kvxc.ini" ] || fail "configuration file at $out"
    grep -q '^Port=ttyPROBE' "$out" || fail "configuration file without its port"
fi
[ "$(ls -A "$prefix/bin")" = "$bin_before" ] || fail "files appeared in the installed bin folder: $(ls -A "$prefix/bin")"
# Uninstalling as the README says: the install manifest removes every file.
xargs rm -- <"$build/install_manifest.txt" || fail "removing the installed files"
left=$(cd "$prefix" && find . \( -type f -o -type l \) ! -path ./bin/config_probe)
[ -z "$left" ] || fail "left after removing the installed files: $left"
echo "install: all checks passed"
