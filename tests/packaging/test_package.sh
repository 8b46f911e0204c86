#!/usr/bin/env bash
# Builds the Debian package from this build tree with CPack (into a temporary
# folder; "make package" builds the released one with Debian's build flags in
# a build folder of its own) and checks it: its files, its control fields, the
# copyright and changelog files Debian's policy asks for, the settings file's
# MIME type, and lintian's verdict (no errors, no warnings) when lintian is
# installed. Skips (exit 77) in sanitizer builds, which are never packaged.
#
#   test_package.sh BUILD_DIR VERSION HAVE_KVXC SANITIZE
set -uo pipefail
build=$1
version=$2
export HAVE_KVXC=$3
sanitize=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/expected_files.sh"

fail() { echo "FAIL: $*"; exit 1; }

if [ -n "$sanitize" ]; then
    echo "skipped: a build with -fsanitize=$sanitize is not packaged"
    exit 77
fi
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || fail "$tool is missing (make setup installs it)"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
    || fail "cpack: $(tail -n 20 "$tmp/cpack.log")"
deb=$(ls "$tmp"/out/kvxc_"$version"_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no kvxc_${version}_*.deb: $(tail -n 20 "$tmp/cpack.log")"

dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x $deb"
check_file_list "$tmp/root/usr" || fail "the package's files differ from the expected ones"
[ -z "$(cd "$tmp/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside /usr"
check_file_contents "$tmp/root/usr" || fail "the package's files disagree"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kvxc ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version), project $version"
maintainer=$(field Maintainer)
grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+\.[^<>@ ]+>$' <<<"$maintainer" || fail "maintainer '$maintainer'"
grep -q 'localhost' <<<"$maintainer" && fail "maintainer at localhost: $maintainer"
[ -n "$(field Homepage)" ] || fail "no home page"
[ -n "$(field Description)" ] || fail "no description"
depends=$(field Depends)
grep -q 'libc6' <<<"$depends" || fail "dependencies without libc6: $depends"
if [ "$HAVE_KVXC" = 1 ]; then
    grep -q 'libqt6widgets6' <<<"$depends" || fail "dependencies without Qt: $depends"
    grep -q 'qt6-qpa-plugins' <<<"$depends" || fail "dependencies without the display plugins: $depends"
fi

# Debian's policy: the copyright file names the upstream contact (the
# maintainer) and licenses every file; the changelog is compressed, its newest
# entry the package's version.
doc=$tmp/root/usr/share/doc/kvxc
grep -qxF "Upstream-Contact: $maintainer" "$doc/copyright" || fail "copyright: no Upstream-Contact $maintainer"
grep -qx 'Files: \*' "$doc/copyright" || fail "copyright: no paragraph for every file"
license=$(sed -n 's/^License: //p' "$doc/copyright" | head -n 1)
grep -c "^License: $license\$" "$doc/copyright" | grep -qx 2 || fail "copyright: license '$license' without its text"
gzip -t "$doc/changelog.gz" || fail "changelog.gz is not gzip"
gzip -dc "$doc/changelog.gz" | head -n 1 | grep -q "^kvxc ($version) " || fail "changelog's newest entry is not $version"

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.out" 2>&1
    sed 's/^/lintian: /' "$tmp/lintian.out"
    grep -E '^[EW]: ' "$tmp/lintian.out" && fail "lintian reports errors or warnings"
else
    echo "lintian is not installed: the package was not linted"
fi
echo "package $(basename "$deb"): all checks passed"
