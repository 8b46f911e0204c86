#!/usr/bin/env bash
# Builds the Debian package as a maintainer would: in a build folder of its
# own, with Debian's build flags (hardening included) and without the tests and
# benchmarks, then checks it with lintian when lintian is installed and prints
# its verdict. An error from lintian fails the build; so does a missing
# hardening feature, which would mean Debian's flags did not arrive.
#
#   package.sh BUILD_DIR JOBS WERROR
#
# The package is BUILD_DIR/kvxc_<version>_<arch>.deb. The maintainer and the
# project's addresses are set at configure time from the environment when
# given there (make package KVX_PACKAGE_MAINTAINER="Name <mail>"):
# KVX_PACKAGE_MAINTAINER (else DEBFULLNAME and DEBEMAIL, as for Debian's own
# tools), KVX_HOMEPAGE, KVX_BUGTRACKER, KVX_SCREENSHOT_URL.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-package}"
jobs="${2:-$(nproc)}"
werror="${3:-ON}"

# Debian's flags, with every hardening feature (bindnow too).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)

args=()
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for var in KVX_PACKAGE_MAINTAINER KVX_HOMEPAGE KVX_BUGTRACKER KVX_SCREENSHOT_URL; do
  if [ -n "${!var:-}" ]; then
    args+=("-D$var=${!var}")
  fi
done
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DKVX_WARNINGS_AS_ERRORS="$werror" \
  -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  "${args[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/kvxc_*.deb
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/kvxc_*.deb)
echo "package: $deb"

if ! command -v lintian >/dev/null; then
  echo "package: lintian is not installed (make setup installs it): the package was not checked"
  exit 0
fi
report=$(lintian --info --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
errors=$(grep -c '^E: ' <<<"$report" || true)
warnings=$(grep -c '^W: ' <<<"$report" || true)
hardening=$(grep -c 'hardening-' <<<"$report" || true)
if [ -n "$report" ]; then
  sed 's/^/lintian: /' <<<"$report"
fi
echo "lintian: $errors errors, $warnings warnings, $hardening hardening findings"
if [ "$errors" != 0 ] || [ "$hardening" != 0 ]; then
  echo "package: lintian does not accept $deb" >&2
  exit 1
fi
