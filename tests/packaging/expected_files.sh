# The files an installed kvxc consists of, relative to the prefix. Sourced by
# the install and package tests; HAVE_KVXC=1 when the window was built.
expected_files() {
    local size
    [ "${HAVE_KVXC:-0}" = 1 ] && echo bin/kvxc
    echo bin/kvxctl
    echo bin/kvxsim
    echo share/applications/org.kvxc.kvxc.desktop
    echo share/metainfo/org.kvxc.kvxc.metainfo.xml
    for size in 16 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x${size}/apps/kvxc.png"
    done
    echo share/icons/hicolor/scalable/apps/kvxc.svg
    echo share/mime/packages/kvxc.xml
    for size in 16 32 48 64 128; do
        echo "share/icons/hicolor/${size}x${size}/mimetypes/application-x-kvxc-settings.png"
    done
    echo share/icons/hicolor/scalable/mimetypes/application-x-kvxc-settings.svg
    echo share/man/man1/kvxc.1.gz
    echo share/man/man1/kvxctl.1.gz
    echo share/man/man1/kvxsim.1.gz
    echo share/bash-completion/completions/kvxctl
    echo share/zsh/vendor-completions/_kvxctl
    echo share/kvxc/kvxc.html
    echo share/doc/kvxc/kvxc.html
    echo share/doc/kvxc/copyright
    echo share/doc/kvxc/changelog.gz
    echo share/lintian/overrides/kvxc
    echo lib/systemd/system/kvxc-live.service
    echo lib/systemd/user/kvxc-live.service
    echo share/doc/kvxc/examples/live.conf
    echo lib/systemd/system/kvxc-exporter.service
    echo lib/systemd/system/kvxc-backup.service
    echo lib/systemd/system/kvxc-backup.timer
    echo share/doc/kvxc/examples/kvxc-alerts.yml
    echo share/doc/kvxc/examples/sites.ini
}

# Fails with a line per expected file missing under Root (a link must lead to
# a file); also refuses files that nothing expects.
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

# Checks what the installed files say of one another, under Root (a prefix):
# the help page is data with a relative link from the documentation, the
# completions are the project's own, the
# desktop entry takes a file of the type the MIME package defines, the
# AppStream component names that desktop entry, and the copyright file is
# machine-readable.
check_file_contents() {
    local root=$1 type link
    link=$(readlink "$root/share/doc/kvxc/kvxc.html")
    [ "$link" = ../../kvxc/kvxc.html ] || { echo "documentation link to the help page: '$link'"; return 1; }
    type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$root/share/mime/packages/kvxc.xml")
    grep -q '<glob pattern="\*\.kvx"/>' "$root/share/mime/packages/kvxc.xml" || { echo "no *.kvx glob"; return 1; }
    grep -qxF "MimeType=$type;" "$root/share/applications/org.kvxc.kvxc.desktop" \
        || { echo "the desktop entry does not take $type"; return 1; }
    grep -qxF 'Exec=kvxc %f' "$root/share/applications/org.kvxc.kvxc.desktop" \
        || { echo "the desktop entry passes no file"; return 1; }
    [ -f "$root/share/icons/hicolor/48x48/mimetypes/${type/\//-}.png" ] || { echo "no icon for $type"; return 1; }
    grep -q '<launchable type="desktop-id">org.kvxc.kvxc.desktop</launchable>' \
        "$root/share/metainfo/org.kvxc.kvxc.metainfo.xml" || { echo "AppStream names another desktop entry"; return 1; }
    grep -q "<mediatype>$type</mediatype>" "$root/share/metainfo/org.kvxc.kvxc.metainfo.xml" \
        || { echo "AppStream does not provide $type"; return 1; }
    head -n 1 "$root/share/doc/kvxc/copyright" \
        | grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        || { echo "the copyright file is not machine-readable"; return 1; }
    cmp -s "$root/share/bash-completion/completions/kvxctl" "$here/../../packaging/completion/kvxctl.bash" \
        || { echo "the bash completion differs from packaging/completion/kvxctl.bash"; return 1; }
    grep -q '^#compdef kvxctl$' "$root/share/zsh/vendor-completions/_kvxctl" || { echo "the zsh completion is not one"; return 1; }
    gzip -dc "$root/share/man/man1/kvxctl.1.gz" | grep -q '^\.B AF7$' || { echo "kvxctl's manual page lists no keys"; return 1; }
    if grep -q '@[A-Z_]*@' "$root/share/kvxc/kvxc.html" "$root/share/doc/kvxc/copyright" \
        "$root/share/metainfo/org.kvxc.kvxc.metainfo.xml"; then
        echo "a placeholder was left in an installed file"
        return 1
    fi
}
