#!/usr/bin/env bash
# The store package under wine's msiexec, as a chain's IT pushes it, in a wine prefix of its
# own (32-bit where wine runs 32-bit programs, else 64-bit, where the 32-bit package goes to
# Program Files (x86) and the 32-bit registry view):
#   msi_scenario.sh PACKAGE STAGE
# install StorePC with the registry values; Till without POSDIR refused; Till into a folder
# named in Chinese with a blank; the INI edited, a program deleted, a forced reinstall; an
# upgrade to a package of the next version built from STAGE; the older package refused over
# it; removal. Files, registry, shortcut and INI are checked at each step.
set -euo pipefail
package=$(realpath "$1") stage=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(realpath -m "$here/../../build/msi-scenario")
rm -rf "$work"
mkdir -p "$work"

export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
# Where the build folder is a share that wine cannot own (the 32-bit guest), a folder of its own.
[[ -z ${KORVANE_WINE_PREFIXES-} ]] || WINEPREFIX=$KORVANE_WINE_PREFIXES/msi-scenario
# No Mono or Gecko, and no menu entries in this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work" "$WINEPREFIX"
}
trap cleanup EXIT
"$WINELOADER" wineboot -i >/dev/null 2>&1

passed=0 failed=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1" >&2; failed=$((failed + 1)); fi
}
absent() { [[ ! -e $1 ]]; }
not() { ! "$@"; }
msiexec() { "$WINELOADER" msiexec "$@" /qn /l*v "Z:$work/msiexec.log"; }
# value NAME [KEY]: a value of HKLM\SOFTWARE\korvane (or of its subkey KEY), 32-bit view.
value() {
  "$WINELOADER" reg query "HKLM\\SOFTWARE\\korvane${2:+\\$2}" /v "$1" /reg:32 2>/dev/null |
    iconv -f GBK -t UTF-8 | sed -n "s/^ *$1 *REG_SZ *//p" | tr -d '\r'
}
installed_versions() {
  "$WINELOADER" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 |
    iconv -f GBK -t UTF-8 | tr -d '\r' | awk '/DisplayName .*门店组件/ { ours = 1 }
      /^HKEY/ { ours = 0 } ours && /DisplayVersion/ { print $3 }' | sort | tr '\n' ' '
}

drive=$WINEPREFIX/drive_c
programs=$drive/"Program Files/Korvane"
[[ ! -d $drive/"Program Files (x86)" ]] || programs=$drive/"Program Files (x86)/Korvane"
# Wine puts the shortcuts of a per-machine package into the user's Start menu, Windows into
# the one of all users.
shortcut='*/Start Menu/Programs/数据库升级.lnk'
found() { [[ -n $(find "$drive" -path "$1") ]]; }
starts_in_working_folder() {
  [[ $(strings -el "$(find "$drive" -path "$shortcut")") == *'C:\ProgramData\Korvane\Tessary\'* ]]
}
pos=$drive/"收银 程序"
mkdir -p "$pos/log"
echo "point of sale" >"$pos/pos.exe"
echo "journal" >"$pos/log/payments-2024-01-02.txt"
echo "day log" >"$pos/log/2024-01-02.log"
(cd "$pos" && sha256sum pos.exe log/*) >"$work/pos.sums"
untouched() { (cd "$pos" && sha256sum --quiet -c "$work/pos.sums"); }

version=$(msiinfo export "$package" Property | sed -n 's/^ProductVersion\t\([0-9.]*\).*/\1/p')
next=${version%.*}.$((${version##*.} + 1))
"$here/../build-msi.sh" "$stage" "$next" "$work/next.msi"

# 1. The store PC, with the three values.
msiexec /i "Z:$package" 'SERVERNAME=.\SQL2008' STOREDB=store 'STOREPATH=C:\门店'
check "tessary.exe is installed" cmp -s "$stage/tessary.exe" "$programs/tessary.exe"
check "tessary-cli.exe is installed" cmp -s "$stage/tessary-cli.exe" "$programs/tessary-cli.exe"
check "the shortcut is in the Start menu" found "$shortcut"
check "the shortcut starts in the working folder" starts_in_working_folder
check "the working folder is there" test -d "$drive/ProgramData/Korvane/Tessary"
check "SERVERNAME is written" test "$(value SERVERNAME)" == '.\SQL2008'
check "DATABASE is written" test "$(value DATABASE)" == store
check "PATH is written" test "$(value PATH)" == 'C:\门店'
check "Add/Remove Programs shows the version" test "$(installed_versions)" == "$version "
check "no till files without Till" absent "$pos/Vortal.dll"

# 2. Till without POSDIR: refused, nothing changed.
status=0
msiexec /i "Z:$package" ADDLOCAL=Till || status=$?
check "Till without POSDIR fails" test $status -ne 0
check "and says why" grep -aq TillNeedsPosDir "$work/msiexec.log"
check "and remembers no till" test -z "$(value POSDIR Installer)"
check "and installs no Vortal.dll" not found '*/Vortal.dll'

# 3. Till into the point-of-sale folder.
msiexec /i "Z:$package" ADDLOCAL=Till 'POSDIR=C:\收银 程序'
check "Vortal.dll is installed" cmp -s "$stage/Vortal.dll" "$pos/Vortal.dll"
check "vortal-cli.exe is installed" cmp -s "$stage/vortal-cli.exe" "$pos/vortal-cli.exe"
check "the INI template is installed" cmp -s "$stage/Z_AllITrans.ini" "$pos/Z_AllITrans.ini"
check "the store PC stays" test -f "$programs/tessary.exe"

# 4. The till's settings, then a reinstall that forces every file.
printf '[服务器信息]\r\n域名=pay.example\r\n' | iconv -f UTF-8 -t GBK >"$pos/Z_AllITrans.ini"
cp "$pos/Z_AllITrans.ini" "$work/settings.ini"
rm "$pos/Vortal.dll"
msiexec /i "Z:$package" REINSTALL=ALL REINSTALLMODE=amus
check "the reinstall restores Vortal.dll" cmp -s "$stage/Vortal.dll" "$pos/Vortal.dll"
check "the reinstall keeps the INI" cmp -s "$work/settings.ini" "$pos/Z_AllITrans.ini"

# 5. The next version, told only a new server: features, folders and the other values stay.
msiexec /i "Z:$work/next.msi" SERVERNAME=server2
check "the upgrade replaces the version" test "$(installed_versions)" == "$next "
check "the upgrade keeps the store PC" test -f "$programs/tessary.exe"
check "the upgrade keeps the shortcut" found "$shortcut"
check "the upgrade keeps Till in its folder" cmp -s "$stage/Vortal.dll" "$pos/Vortal.dll"
check "the upgrade keeps vortal-cli.exe" test -f "$pos/vortal-cli.exe"
check "the upgrade keeps the INI" cmp -s "$work/settings.ini" "$pos/Z_AllITrans.ini"
check "SERVERNAME is the new one" test "$(value SERVERNAME)" == server2
check "DATABASE stays" test "$(value DATABASE)" == store
check "PATH stays" test "$(value PATH)" == 'C:\门店'

# 6. The older package over the newer one.
status=0
msiexec /i "Z:$package" || status=$?
check "the older package is refused" test $status -ne 0
check "the newer one stays" test "$(installed_versions)" == "$next "

# 7. Removal, from the folders the installation recorded.
msiexec /x "Z:$work/next.msi"
check "removal leaves no entry" test -z "$(installed_versions)"
check "removal takes the programs" absent "$programs"
check "removal takes the shortcut" not found "$shortcut"
check "removal takes Vortal.dll" absent "$pos/Vortal.dll"
check "removal takes vortal-cli.exe" absent "$pos/vortal-cli.exe"
check "removal leaves the INI" cmp -s "$work/settings.ini" "$pos/Z_AllITrans.ini"
check "removal leaves the registry values" test "$(value SERVERNAME)|$(value DATABASE)|$(value PATH)" == 'server2|store|C:\门店'
check "removal forgets the folders" test -z "$(value POSDIR Installer)$(value INSTALLDIR Installer)"
check "the point-of-sale program, its logs and journals are untouched" untouched

echo "msi_scenario: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
