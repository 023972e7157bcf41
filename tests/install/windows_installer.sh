#!/bin/sh
# The Windows installer under Wine, in a Wine of its own made afresh: an
# older version is installed and then replaced by this one; the installed
# rtdprog-cli.exe reads the virtual flash and keeps its settings in the
# user's profile, never in Program Files; the window starts from the Start
# menu entry and saves its settings there too; the uninstall removes every
# installed file and leaves the user's files.
# Usage: windows_installer.sh BUILD_DIR INSTALLER.msi (scripts/build-windows.sh runs it)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
msi=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

# The window needs a display: the whole test runs on a virtual one, with a
# Wine that is ended with it.
if [ -z "${RTD_INSTALLER_TEST_DISPLAY:-}" ]; then
    exec env RTD_INSTALLER_TEST_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
wine=$(sed -n 's/^RTD_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# No menu entries of the Linux desktop for the Start menu entry, no add-ons.
export WINEPREFIX="$build/wineprefix-installer" WINEDEBUG=-all \
       WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d)
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# A Russian Windows: Wine takes its language from the locale, and needs the
# locale itself to give files Russian names; it is made here, not installed.
mkdir "$work/locale"
localedef -i ru_RU -f UTF-8 "$work/locale/ru_RU.UTF-8" 2>/dev/null ||
    [ -d "$work/locale/ru_RU.UTF-8" ] || fail "the ru_RU.UTF-8 locale cannot be made"
export LOCPATH="$work/locale" LC_ALL=ru_RU.UTF-8
rm -rf "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1

unix() { "$wine" winepath -u "$1" 2>/dev/null; }
windows() { "$wine" winepath -w "$1" 2>/dev/null; }
folder() { unix "$("$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')"; }
msiexec() {
    "$wine" msiexec "$@" >"$work/msiexec.log" 2>&1 || { cat "$work/msiexec.log"; fail "msiexec $*"; }
}
# The keys below KEY whose NAME names rtdprog: the uninstall entries
# (DisplayName), the installer's own record of the products (ProductName).
keys() {  # keys KEY NAME
    "$wine" reg query "$1" /s 2>/dev/null |
        tr -d '\r' | awk -v name="$2" '/^HKEY/ { key = $0 } $1 == name && $NF == "rtdprog" { print key }' |
        sort -u
}
entries() { keys 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' DisplayName; }
value() {  # value KEY NAME
    "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/.*$2 *REG_[A-Z_]* *//p"
}

programs=$(unix 'C:\Program Files\rtdprog')
# The Start menu of all users, where Windows puts the entry of a per-machine
# install; Wine puts it in the user's.
menus="$(folder ProgramData)/Microsoft/Windows/Start Menu/Programs
$(folder APPDATA)/Microsoft/Windows/Start Menu/Programs"
entry() {  # entry NAME: the Start menu entry's file, if there is one
    printf '%s\n' "$menus" | while read -r menu; do
        [ -f "$menu/$1.lnk" ] && echo "$menu/$1.lnk"
    done | head -n 1
}
appdata=$(folder APPDATA)/rtdprog
[ -n "$programs" ] && [ -n "$appdata" ] || fail "Wine's folders cannot be learnt"

# An older version first, which this one must replace, on an English Windows.
"$here/../../packaging/windows/make-msi.sh" "$build/package" 0.9 "$work/old.msi"
LC_ALL=C.UTF-8 msiexec /i "$(windows "$work/old.msi")" /qn
[ "$(entries | wc -l)" = 1 ] || fail "the older version has no uninstall entry"
[ -n "$(entry rtdprog)" ] || fail "no English Start menu entry"

# This version, where Windows is Russian.
msiexec /i "$(windows "$msi")" /qn
[ "$(entries | wc -l)" = 1 ] || { entries; fail "the older version was not replaced"; }
key=$(entries)
version=$(basename "$msi" | sed 's/^rtdprog-\(.*\)-x64\.msi$/\1/')
[ "$(value "$key" DisplayVersion)" = "$version" ] || fail "the uninstall entry is not of version $version"
# The list of programs shows an installed package's icon from its product
# record.
icon=$(value "$(keys 'HKLM\Software\Classes\Installer\Products' ProductName)" ProductIcon)
[ -n "$icon" ] && cmp -s "$(unix "$icon")" "$here/../../packaging/windows/rtdprog.ico" ||
    fail "the uninstall entry has no icon"
printf '%s\n' README.ru.txt README.txt installed.txt jedec.ini rtdprog-cli.exe rtdprog.exe \
    >"$work/expected"
(cd "$programs" && LC_ALL=C ls) >"$work/installed"
diff -u "$work/expected" "$work/installed" || fail "Program Files\\rtdprog holds other files"
cmp "$build/bin/rtdprog-cli.exe" "$programs/rtdprog-cli.exe" || fail "not this version's program"
shortcut=$(entry "Программатор RTD2662 (rtdprog)")
[ -n "$shortcut" ] || fail "no Russian Start menu entry"
[ -z "$(entry rtdprog)" ] || fail "the English Start menu entry is left as well"

# The installed command line: its files go to the user's profile.
(cd "$programs" && find . -exec stat -c '%n %s %Y' {} +) | LC_ALL=C sort >"$work/before"
set +e
"$wine" "$programs/rtdprog-cli.exe" --simulate --lang en read "$(windows "$work/dump.bin")" \
    >"$work/out" 2>&1
status=$?
set -e
[ "$status" = 0 ] || { cat "$work/out"; fail "rtdprog-cli.exe --simulate read exited $status"; }
[ -s "$work/dump.bin" ] || fail "no dump"
tr -d '\r' <"$appdata/rtdprog.ini" | grep -q '^BIN=.*dump\.bin$' ||
    fail "the image path is not in %APPDATA%\\rtdprog\\rtdprog.ini"
(cd "$programs" && find . -exec stat -c '%n %s %Y' {} +) | LC_ALL=C sort >"$work/after"
diff -u "$work/before" "$work/after" || fail "rtdprog-cli.exe wrote into Program Files"

# The window from the Start menu entry: it opens, and closed, saves its
# settings (the window's section) in the user's profile.
"$wine" start /unix "$shortcut" >/dev/null 2>&1
i=0
until tr -d '\r' <"$appdata/rtdprog.ini" | grep -q '^\[MainSettings\]'; do
    i=$((i + 1))
    [ "$i" -le 60 ] || fail "the window did not start from the Start menu entry, or did not close"
    # A close asked of every window of rtdprog.exe, once there is one.
    "$wine" taskkill /im rtdprog.exe >/dev/null 2>&1 || true
    sleep 1
done
"$wineserver" -w
(cd "$programs" && find . -exec stat -c '%n %s %Y' {} +) | LC_ALL=C sort >"$work/after"
diff -u "$work/before" "$work/after" || fail "the window wrote into Program Files"

# Uninstalled: nothing installed is left, the user's files are.
cp "$appdata/rtdprog.ini" "$work/settings"
msiexec /x "$(windows "$msi")" /qn
[ ! -e "$programs" ] || { ls -R "$programs"; fail "the uninstall left Program Files\\rtdprog"; }
[ ! -e "$shortcut" ] || fail "the uninstall left the Start menu entry"
[ -z "$(entries)" ] || fail "the uninstall left its entry"
cmp "$work/settings" "$appdata/rtdprog.ini" || fail "the uninstall changed the user's settings"
echo "Windows installer: upgrades, runs from the user's profile, uninstalls clean"
