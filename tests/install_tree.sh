#!/usr/bin/env bash
# What an installed tripconf consists of.
#   install_tree.sh install BUILD SOURCE MAKE_ICON   cmake --install into a temporary prefix
#   install_tree.sh package BUILD                     cpack -G DEB into a temporary folder
set -euo pipefail
mode=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The programs are also run as another user below.
chmod 0755 "$tmp"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A check that cannot run here makes the whole test count as skipped (exit 77,
# CTest's SKIP_RETURN_CODE) after the others have passed.
skipped=0
skip() {
    echo "SKIP: $*"
    skipped=1
}

# The files an install puts in place, relative to the prefix.
expected_files() {
    printf '%s\n' bin/tripconf bin/tripconf-cli bin/tripconf-sim \
        share/applications/tripconf.desktop \
        share/doc/tripconf/OFL.txt share/doc/tripconf/README.md \
        share/icons/hicolor/scalable/apps/tripconf.svg
    for size in 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x${size}/apps/tripconf.png"
    done
}

# Width and height of a PNG from its IHDR chunk.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

check_install() {
    local source=$1 make_icon=$2 prefix=$tmp/usr
    cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"
    diff <(expected_files | sort) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "installed files differ from the list above (< expected, > installed)"
    for p in tripconf tripconf-cli tripconf-sim; do
        [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"
    done

    local desktop=$prefix/share/applications/tripconf.desktop
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop entry not valid"
    else
        skip "desktop-file-validate not installed"
    fi
    grep -qx 'Exec=tripconf' "$desktop" || fail "desktop entry does not run tripconf"
    grep -qx 'Icon=tripconf' "$desktop" || fail "desktop entry does not name the icon"

    # The committed SVG is the icon program's output.
    "$make_icon" --svg "$tmp/icon.svg"
    cmp -s "$tmp/icon.svg" "$prefix/share/icons/hicolor/scalable/apps/tripconf.svg" ||
        fail "data/tripconf.svg is not the output of make_icon --svg"
    for size in 32 48 64 128 256; do
        local png=$prefix/share/icons/hicolor/${size}x${size}/apps/tripconf.png
        [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is not a ${size}x${size} PNG"
    done
    cmp -s "$source/third_party/terminus/OFL.txt" "$prefix/share/doc/tripconf/OFL.txt" ||
        fail "font licence missing"

    # The installed program runs without the build tree.
    "$prefix/bin/tripconf-cli" --help | grep -q 'diff' || fail "installed tripconf-cli does not run"

    # An installed program cannot write beside itself: its INI file goes to
    # the user's configuration folder. The command-line tool opens the
    # window's file for the port table.
    local home=$tmp/home
    mkdir -p "$home"
    chmod 0555 "$prefix/bin"
    local as_user=()
    if [ "$(id -u)" -eq 0 ]; then
        # Root may write anywhere: run as nobody instead.
        command -v setpriv >/dev/null || {
            skip "INI file check (root without setpriv)"
            chmod 0755 "$prefix/bin"
            return 0
        }
        chown 65534:65534 "$home"
        as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    local code=0
    "${as_user[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        "$prefix/bin/tripconf-cli" read --port COM32 -o "$home/x.tarvg" 2>"$tmp/cli.err" || code=$?
    [ "$code" -eq 2 ] || fail "tripconf-cli read --port COM32: exit $code, expected 2: $(cat "$tmp/cli.err")"
    [ -f "$home/.config/tripconf/tripconf.ini" ] || fail "no INI file in ~/.config/tripconf/"
    [ ! -e "$prefix/bin/tripconf.ini" ] || fail "INI file written beside the installed program"
    chmod 0755 "$prefix/bin"
}

check_package() {
    command -v dpkg-deb >/dev/null || {
        skip "dpkg-deb not installed"
        return 0
    }
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >"$tmp/cpack.log" ||
        { cat "$tmp/cpack.log"; fail "cpack failed"; }
    local deb
    deb=$(ls "$tmp"/package/*.deb)
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins; do
        grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
    done
    [ "$(dpkg-deb -f "$deb" Package)" = tripconf ] || fail "package name"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    [[ $(dpkg-deb -f "$deb" Description) == *"trip computer"* ]] || fail "no description"
    dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | sed 's|^\./usr/||' | sort >"$tmp/files"
    diff <(expected_files | sort) "$tmp/files" || fail "package files differ (< expected, > packaged)"
    echo "$deb: Depends: $depends"
}

case $mode in
install) check_install "$3" "$4" ;;
package) check_package ;;
*) fail "unknown mode $mode" ;;
esac
[ $skipped -eq 0 ] || exit 77
echo PASS
