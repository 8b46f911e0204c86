# The files an installed kvxc consists of, relative to the prefix. Sourced by
# the install and package tests; HAVE_KVXC=1 when the window was built.
expected_files() {
    local size
    [ "${HAVE_KVXC:-0}" = 1 ] && echo bin/kvxc
    echo bin/kvxctl
    echo bin/kvxsim
    echo share/applications/kvxc.desktop
    echo share/metainfo/org.kvxc.kvxc.metainfo.xml
    for size in 16 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x${size}/apps/kvxc.png"
    done
    echo share/icons/hicolor/scalable/apps/kvxc.svg
    echo share/man/man1/kvxc.1.gz
    echo share/man/man1/kvxctl.1.gz
    echo share/man/man1/kvxsim.1.gz
    echo share/doc/kvxc/kvxc.html
}

# Fails with a line per expected file missing under Root; also refuses files
# that nothing expects.
check_file_list() {
    local root=$1 f bad=0 expected
    expected=$(expected_files)
    while read -r f; do
        if [ ! -f "$root/$f" ]; then
            echo "missing: $f"
            bad=1
        fi
    done <<<"$expected"
    while read -r f; do
        if ! grep -qxF "$f" <<<"$expected"; then
            echo "not expected: $f"
            bad=1
        fi
    done < <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
    return $bad
}
