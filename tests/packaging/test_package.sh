#!/usr/bin/env bash
# Unpacks the Debian package that "make package" built and checks its files
# and its control fields. Skips (exit 77) when no package has been built.
#
#   test_package.sh BUILD_DIR VERSION HAVE_KVXC
set -uo pipefail
build=$1
version=$2
export HAVE_KVXC=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/expected_files.sh"

fail() { echo "FAIL: $*"; exit 1; }

deb=$(ls -t "$build"/kvxc_"$version"_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    echo "skipped: no kvxc_${version}_*.deb in $build; build it with \"make package\" (cmake --build $build --target package)"
    exit 77
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp" || fail "dpkg-deb -x $deb"
check_file_list "$tmp/usr" || fail "the package's files differ from the expected ones"
[ -z "$(cd "$tmp" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside /usr"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kvxc ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version), project $version"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
[ -n "$(field Description)" ] || fail "no description"
depends=$(field Depends)
grep -q 'libc6' <<<"$depends" || fail "dependencies without libc6: $depends"
if [ "$HAVE_KVXC" = 1 ]; then
    grep -q 'libqt6widgets6' <<<"$depends" || fail "dependencies without Qt: $depends"
    grep -q 'qt6-qpa-plugins' <<<"$depends" || fail "dependencies without the display plugins: $depends"
fi
echo "package $(basename "$deb"): all checks passed"
