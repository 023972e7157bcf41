#!/bin/sh
# Makes the Windows installer from a folder holding rtdprog.exe,
# rtdprog-cli.exe, jedec.ini, README.txt, README.ru.txt and installed.txt.
# Usage: make-msi.sh STAGE VERSION OUTPUT.msi
set -eu
here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "$1" && pwd)
version=$2
out=$3
case $out in /*) ;; *) out="$PWD/$out" ;; esac
rm -f "$out"
# wixl takes the files by names relative to the source; they are gathered
# with it in a scratch folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$stage"/* "$here/rtdprog.ico" "$here/rtdprog.wxs" "$work/"
(cd "$work" && wixl -a x64 -D Version="$version" -o "$out" rtdprog.wxs)
# What wixl cannot say itself: the condition of each Start menu entry and the
# Russian entry's name. The database's code page becomes Windows-1251 first,
# so that it can hold the Russian text. Windows Installer sets
# SystemLanguageID and UserLanguageID; 1049 is Russian. "RTD2662" is the
# short (8.3) name the Filename column wants before the long one. An
# uninstall evaluates the conditions again, in the language of that day, and
# leaves a component whose condition is false: each is true on REMOVE=ALL,
# which the uninstall and the upgrade's removal of the older version set.
tables="$work"
printf '\n\n1251\t_ForceCodepage\n' >"$tables/_ForceCodepage.idt"
russian='SystemLanguageID = 1049 OR UserLanguageID = 1049'
msibuild "$out" -i "$tables/_ForceCodepage.idt"
msibuild "$out" \
    -q "UPDATE \`Component\` SET \`Condition\` = '($russian) OR REMOVE~=\"ALL\"' WHERE \`Component\` = 'ShortcutRussian'" \
    -q "UPDATE \`Component\` SET \`Condition\` = 'NOT ($russian) OR REMOVE~=\"ALL\"' WHERE \`Component\` = 'ShortcutEnglish'" \
    -q "UPDATE \`Shortcut\` SET \`Name\` = 'RTD2662|Программатор RTD2662 (rtdprog)', \`Description\` = 'Чтение, сравнение и запись SPI FLASH плат на RTD2662' WHERE \`Shortcut\` = 'WindowRussian'"
# The programs' file version, as their version resource has it ("1.03" is
# 1.3.0.0), which wixl does not read: Windows Installer goes by it when it
# decides whether a file on disk is older.
number() { n=$(printf '%s' "$1" | sed 's/^0*//'); echo "${n:-0}"; }  # "03" is 3, "0" is 0
major=$(number "${version%%.*}")
minor=$(number "${version#*.}")
msibuild "$out" -q "UPDATE \`File\` SET \`Version\` = '$major.$minor.0.0', \`Language\` = '1033' WHERE \`File\` = 'rtdprog.exe' OR \`File\` = 'rtdprog_cli.exe'"
# Nothing of the placeholders may be left.
if msiinfo export "$out" Shortcut | grep -q RUSSIAN_; then
    echo "make-msi.sh: the Russian Start menu entry was not written" >&2
    exit 1
fi
