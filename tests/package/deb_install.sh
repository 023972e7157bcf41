#!/bin/sh
# The Debian package on this machine: builds it (scripts/package-deb.sh),
# installs it with apt-get, runs the installed rtdprog-cli on the virtual
# programmer as a throwaway normal user, checks the installed file list,
# purges the package and checks that nothing of it is left while the
# user's own files stay. Needs root or sudo; refuses to run where rtdprog is
# already installed, since it purges it.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
as_root=""
[ "$(id -u)" -ne 0 ] && as_root="sudo"
fail() { echo "FAIL: $*" >&2; exit 1; }
state() { dpkg-query -W -f='${db:Status-Status}' rtdprog 2>/dev/null || true; }

[ "$(state)" != installed ] ||
    fail "rtdprog is installed here already; remove it first (this test purges it)"
"$root/scripts/package-deb.sh"
set -- "$root"/dist/rtdprog_*.deb
deb=$1

user=rtdprog-pkgtest
made_user=0
work=$(mktemp -d)
cleanup() {
    [ "$(state)" = installed ] && $as_root apt-get purge -y -qq rtdprog >/dev/null 2>&1
    [ "$made_user" = 1 ] && $as_root userdel -r "$user" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install $deb"; }

# Exactly these files, and no file left out of the package's list.
cat >"$work/expected" <<'LIST'
/usr/bin/rtdprog
/usr/bin/rtdprog-cli
/usr/lib/udev/rules.d/70-rtdprog.rules
/usr/share/applications/rtdprog.desktop
/usr/share/bash-completion/completions/rtdprog-cli
/usr/share/doc/rtdprog/changelog.Debian.gz
/usr/share/doc/rtdprog/copyright
/usr/share/icons/hicolor/scalable/apps/rtdprog.svg
/usr/share/man/man1/rtdprog-cli.1.gz
/usr/share/man/man1/rtdprog.1.gz
/usr/share/man/ru/man1/rtdprog-cli.1.gz
/usr/share/man/ru/man1/rtdprog.1.gz
/usr/share/metainfo/local.rtdprog.rtdprog.metainfo.xml
/usr/share/rtdprog/jedec.ini
LIST
dpkg -L rtdprog >"$work/owned"
while read -r path; do
    [ -d "$path" ] || echo "$path"
done <"$work/owned" | sort >"$work/files"
diff -u "$work/expected" "$work/files" || fail "the installed files differ from the expected ones"

# A normal user reads the virtual flash; the settings go to the user's
# ~/.config/rtdprog and nothing is written beside the program.
if ! id "$user" >/dev/null 2>&1; then
    $as_root useradd -m "$user"
    made_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)
as_user() {
    $as_root runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"
}
as_user rtdprog-cli --simulate --lang en read "$home/dump.bin" >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "rtdprog-cli --simulate read as $user"; }
as_user test -s "$home/dump.bin" || fail "no dump in $home"
as_user grep -qx "BIN=$home/dump.bin" "$home/.config/rtdprog/rtdprog.ini" ||
    fail "the image path is not in $home/.config/rtdprog/rtdprog.ini"
as_user env QT_QPA_PLATFORM=offscreen rtdprog --version >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "the installed window does not start"; }
as_user man -L ru rtdprog-cli 2>/dev/null | grep -q 'ОПИСАНИЕ' ||
    fail "man -L ru rtdprog-cli does not show the Russian page"
dpkg -V rtdprog || fail "an installed file was changed"

# Purged: no file or directory of the package is left; the user's files are.
DEBIAN_FRONTEND=noninteractive $as_root apt-get purge -y -qq rtdprog >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get purge rtdprog"; }
case $(state) in "" | not-installed) ;; *) fail "dpkg still holds rtdprog: $(state)" ;; esac
while read -r path; do
    [ -d "$path" ] || [ ! -e "$path" ] || echo "left behind: $path"
done <"$work/owned" >"$work/left"
for dir in /usr/share/rtdprog /usr/share/doc/rtdprog; do
    [ ! -e "$dir" ] || echo "left behind: $dir"
done >>"$work/left"
[ ! -s "$work/left" ] || { cat "$work/left"; fail "the purge left files behind"; }
$as_root test -s "$home/.config/rtdprog/rtdprog.ini" || fail "the purge took the user's settings"
echo "Debian package: installs, runs as a normal user, purges clean"
