#!/bin/sh
# Installs the build into a staging directory with prefix /usr, checks that
# exactly the expected files arrive, and runs the staged rtdprog-cli on the
# virtual programmer with a scratch home: its files must go to
# $XDG_CONFIG_HOME/rtdprog (default ~/.config/rtdprog), never into bin/ or
# the shipped share/rtdprog/jedec.ini.
# Usage: staged_install.sh BUILD_DIR SOURCE_DIR EXPECT_MAN_PAGE(1|0)
set -eu
build=$1
source=$2
expect_man=$3
expect_window=${4:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log"
stage="$work/stage/usr"

{
    echo bin/rtdprog-cli
    echo lib/udev/rules.d/70-rtdprog.rules
    echo share/bash-completion/completions/rtdprog-cli
    [ "$expect_man" = 1 ] && echo share/man/man1/rtdprog-cli.1
    echo share/man/ru/man1/rtdprog-cli.1
    echo share/rtdprog/jedec.ini
    if [ "$expect_window" = 1 ]; then
        echo bin/rtdprog
        echo share/applications/rtdprog.desktop
        echo share/icons/hicolor/scalable/apps/rtdprog.svg
        echo share/man/man1/rtdprog.1
        echo share/man/ru/man1/rtdprog.1
        echo share/metainfo/local.rtdprog.rtdprog.metainfo.xml
    fi
} | sort >"$work/expected"
(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/staged"
diff -u "$work/expected" "$work/staged" || fail "the staged tree differs from the expected one"
[ -x "$stage/bin/rtdprog-cli" ] || fail "rtdprog-cli is not executable"
cmp "$source/packaging/jedec.ini" "$stage/share/rtdprog/jedec.ini"
if [ "$expect_man" = 1 ]; then
    grep -q '^\.SH' "$stage/share/man/man1/rtdprog-cli.1" || fail "the man page has no sections"
    grep -q 'reset\\-programmer' "$stage/share/man/man1/rtdprog-cli.1" ||
        fail "the man page lacks the commands"
fi
bash -n "$stage/share/bash-completion/completions/rtdprog-cli"
# man -L ru finds the Russian page of the staged tree.
MANPATH="$stage/share/man" LC_ALL=C.UTF-8 MANWIDTH=80 man -L ru rtdprog-cli 2>/dev/null |
    grep -q 'ОПИСАНИЕ' || fail "man -L ru rtdprog-cli does not show the Russian page"

cli="$stage/bin/rtdprog-cli"
home="$work/home"
mkdir -p "$home"
cat >"$work/unknown.conf" <<CONF
jedec=112233
CONF
cat >"$work/unopenable.conf" <<CONF
attached=0
decoy=openable=0
CONF
run() {  # run STATUS ARGS...: the staged program with the scratch home
    want=$1
    shift
    set +e
    env -u XDG_CONFIG_HOME HOME="$home" LC_ALL=C "$cli" --lang en "$@" \
        </dev/null >"$work/out" 2>"$work/err"
    got=$?
    set -e
    if grep -q "Unable to write" "$work/out" "$work/err"; then
        cat "$work/out" "$work/err"
        fail "rtdprog-cli $*: Unable to write"
    fi
    if [ "$got" -ne "$want" ]; then
        cat "$work/out" "$work/err"
        fail "rtdprog-cli $* exited $got, expected $want"
    fi
}
config="$home/.config/rtdprog"

# A known chip (from the shipped jedec.ini): read, and the path remembered.
run 0 --simulate read "$work/dump.bin"
[ -s "$work/dump.bin" ] || fail "no dump"
grep -qx "BIN=$work/dump.bin" "$config/rtdprog.ini" || fail "image path not remembered"
[ ! -e "$config/jedec.ini" ] || fail "the user's jedec.ini was made though nothing needed it"

# An unknown chip: the template entry goes to the user's jedec.ini.
run 1 --simulate="$work/unknown.conf" detect
grep -q "$config/jedec.ini" "$work/err" || fail "the user is not told which jedec.ini to edit"
grep -qx "\[112233\]" "$config/jedec.ini" || fail "no template entry in the user's jedec.ini"
cmp "$source/packaging/jedec.ini" "$stage/share/rtdprog/jedec.ini"

# The user's own entry wins over the shipped one.
printf '[112233]\nManufacturer=Mine\nSizeInBytes=524288\n' >"$config/jedec.ini"
run 0 --simulate="$work/unknown.conf" detect
grep -q "Mine" "$work/out" || fail "the user's entry was not used"

# $XDG_CONFIG_HOME, when set, is the place.
set +e
HOME="$home" XDG_CONFIG_HOME="$work/xdg" "$cli" --simulate read "$work/dump2.bin" \
    </dev/null >"$work/out" 2>&1
set -e
grep -qx "BIN=$work/dump2.bin" "$work/xdg/rtdprog/rtdprog.ini" ||
    fail "XDG_CONFIG_HOME not used"

# A programmer that is plugged in but may not be opened.
for command in info detect; do
    run 1 --simulate="$work/unopenable.conf" $command
    [ "$(grep -c "could not be opened: Permission denied" "$work/err")" = 1 ] ||
        fail "$command: not explained exactly once"
    grep -q "udev" "$work/err" || fail "$command: no word on the udev rule"
    ! grep -q "disconnected" "$work/err" || fail "$command: still called disconnected"
done

# Nothing was written beside the installed program.
(cd "$stage" && find bin -type f -o -type l | sort) >"$work/bin-after"
grep '^bin/' "$work/expected" | diff -u - "$work/bin-after" || fail "files appeared in bin/"
echo "staged install: ok"
