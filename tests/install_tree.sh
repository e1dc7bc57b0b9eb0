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

# The desktop entry's and the metainfo's name.
app_id=org.example.tripconf

# The files an install puts in place, relative to the prefix.
expected_files() {
    printf '%s\n' bin/tripconf bin/tripconf-cli bin/tripconf-sim \
        share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
        share/bash-completion/completions/tripconf-cli \
        share/doc/tripconf/OFL.txt share/doc/tripconf/README.md \
        share/doc/tripconf/changelog.gz share/doc/tripconf/copyright \
        share/icons/hicolor/scalable/apps/tripconf.svg
    for page in tripconf tripconf-cli tripconf-sim; do
        echo "share/man/man1/$page.1.gz"
    done
    for size in 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x${size}/apps/tripconf.png"
    done
}

# Width and height of a PNG from its IHDR chunk.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

# Each manual page renders without a warning.
check_man() {
    local page
    command -v groff >/dev/null || {
        skip "groff not installed"
        return 0
    }
    for page in "$1"/share/man/man1/*.1.gz; do
        local warnings
        warnings=$(zcat "$page" | groff -man -ww -z -Tutf8 2>&1) || fail "$page: groff failed"
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
}

# The completion loads in bash and completes a command, an option, a port
# and a field name; its field names are those tripconf-cli get prints.
check_completion() {
    local prefix=$1 script=$1/share/bash-completion/completions/tripconf-cli
    complete_words() { # WORDS...: what completing the last word offers
        bash --norc -c '
            source "$0" || exit 1
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            _tripconf_cli tripconf-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf "%s\n" "${COMPREPLY[@]}"' "$script" "$@"
    }
    [ "$(complete_words tripconf-cli wr)" = write ] || fail "completion: no command"
    [ "$(complete_words tripconf-cli write --ver)" = "$(printf '%s\n' --verify --verify-delay)" ] ||
        fail "completion: no option of write"
    complete_words tripconf-cli read --port CO | grep -qx COM32 || fail "completion: no COMn port"
    : >"$tmp/empty.tarvg"
    local fields
    fields=$("$prefix/bin/tripconf-cli" get "$tmp/empty.tarvg" 2>/dev/null |
        sed -n 's/^\([A-Za-z0-9_]*\): .*/\1/p' | sort)
    [ -n "$fields" ] || fail "tripconf-cli get gave no fields"
    diff <(echo "$fields") <(complete_words tripconf-cli get x.tarvg "" | sort) ||
        fail "completion: field names differ from the program's (< program, > completion)"
}

check_install() {
    local source=$1 make_icon=$2 prefix=$tmp/usr
    cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"
    diff <(expected_files | sort) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "installed files differ from the list above (< expected, > installed)"
    for p in tripconf tripconf-cli tripconf-sim; do
        [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"
    done

    local desktop=$prefix/share/applications/$app_id.desktop
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop entry not valid"
    else
        skip "desktop-file-validate not installed"
    fi
    grep -qx 'Exec=tripconf' "$desktop" || fail "desktop entry does not run tripconf"
    grep -qx 'Icon=tripconf' "$desktop" || fail "desktop entry does not name the icon"

    if command -v appstreamcli >/dev/null; then
        # The tree, so that the metainfo's desktop entry must be there too.
        appstreamcli validate-tree --no-net --pedantic "$prefix" >"$tmp/appstream.log" ||
            { cat "$tmp/appstream.log"; fail "metainfo not valid"; }
    else
        skip "appstreamcli not installed"
    fi
    check_man "$prefix"
    check_completion "$prefix"

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

    # The installed programs run without the build tree, and say their version.
    "$prefix/bin/tripconf-cli" --help | grep -q 'diff' || fail "installed tripconf-cli does not run"
    local version
    version=$(sed -n 's/^project(tripconf VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
    for p in tripconf tripconf-cli tripconf-sim; do
        [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$p" --version)" = "$p $version" ] ||
            fail "$p --version does not print '$p $version'"
    done

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

    # Debian's own checks: no error and no warning (the README lists the
    # informational tags left and why).
    if command -v lintian >/dev/null; then
        local code=0
        lintian --no-cfg --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || code=$?
        grep -v 'root privileges' "$tmp/lintian.log" || true
        [ $code -eq 0 ] || fail "lintian found errors or warnings"
    else
        skip "lintian not installed"
    fi
}

case $mode in
install) check_install "$3" "$4" ;;
package) check_package ;;
*) fail "unknown mode $mode" ;;
esac
[ $skipped -eq 0 ] || exit 77
echo PASS
