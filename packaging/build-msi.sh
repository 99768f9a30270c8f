#!/usr/bin/env bash
# Builds the Windows Installer package of the store software from the shipped files:
#   build-msi.sh STAGE VERSION OUT
# STAGE holds Vortal.dll, vortal-cli.exe, tessary.exe, tessary-cli.exe and Z_AllITrans.ini;
# VERSION is X.Y.Z. The package's summary carries SOURCE_DATE_EPOCH as its times (else the
# time of STAGE/tessary.exe), so the same files always give the same bytes.
#
# wixl (msitools 0.101) builds korvane-store.wxs; it leaves out what the stores need, so
# this script changes these tables after it, with msibuild:
#   _ForceCodepage   936: wixl leaves the tables code-page neutral and drops every text
#                    outside ASCII; the Chinese texts below are set afterwards.
#   Property         ProductName in Chinese (Add/Remove Programs); SecureCustomProperties
#                    also passes POSDIR, SERVERNAME, STOREDB and STOREPATH to the
#                    installation when a user who is not an administrator starts it.
#   Shortcut         Name 数据库升级; Target the file: wixl makes every shortcut an
#                    advertised one, which would need an icon and start a repair check.
#   LaunchCondition  the message that refuses an older package over a newer one.
#   Component        Z_AllITrans.ini Permanent and NeverOverwrite (installed only where
#                    the till has none, never replaced, left at removal); the registry
#                    values SERVERNAME, DATABASE and PATH Permanent, each with the
#                    condition that its property is given.
#   File, MsiFileHash  the programs' versions (wixl records none and hashes them as if
#                    they were data files), so that a repair compares versions.
#   CustomAction, InstallExecuteSequence, InstallUISequence  the error that stops an
#                    installation of Till without POSDIR before anything has changed.
#   Condition        (new) an upgrade installs the features the last installation had,
#                    known by the folders it recorded; Windows' MigrateFeatureStates does so
#                    too, wine's does nothing.
#   MsiLockPermissionsEx  (new) the working folder of the Start-menu shortcut writable by
#                    the machine's users, so that each of them can add to the day's run log.
#   _SummaryInformation  template Intel;2052, fixed times, and a package code made from
#                    the package's bytes.
# The product code is made from the version, so that a package of a new version is a major
# upgrade of the one before; the upgrade code is fixed in korvane-store.wxs.
set -euo pipefail
stage=$(realpath "$1") version=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "build-msi: version X.Y.Z expected" >&2; exit 2; }
epoch=${SOURCE_DATE_EPOCH:-$(stat -c %Y "$stage/tessary.exe")}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A name-based (version 5 style) GUID made from a text, upper case as Windows Installer wants.
guid_of() {
  local h
  h=$(printf '%s' "$1" | sha1sum | cut -c1-32 | tr a-f A-F)
  printf '%s-%s-5%s-%X%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((16#${h:16:1} & 3) | 8)) \
    "${h:17:3}" "${h:20:12}"
}

ln -s "$stage" "$work/stage"
cp "$here/../db_upgrade/src/gui/win32/tessary.ico" "$work/tessary.ico"
msi=$work/package.msi
(cd "$work" && wixl -a x86 -D Version="$version" \
  -D ProductCode="$(guid_of "korvane-store ProductCode $version")" \
  -D Stage=stage -D Icon=tessary.ico -o "$msi" "$here/korvane-store.wxs")

# idt files are tab-separated with CR LF, imported from the current folder.
idt() {
  local name=$1
  shift
  printf '%s\r\n' "$@" >"$work/$name"
}
table() { (cd "$work" && msibuild "$msi" -i "$1"); }
sql() { msibuild "$msi" -q "$1"; }

idt _ForceCodepage.idt '' '' $'936\t_ForceCodepage'
table _ForceCodepage.idt

sql "UPDATE \`Property\` SET \`Value\` = '凯岚商业管理软件 门店组件' WHERE \`Property\` = 'ProductName'"
sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;POSDIR;SERVERNAME;STOREDB;STOREPATH' WHERE \`Property\` = 'SecureCustomProperties'"
sql "UPDATE \`Shortcut\` SET \`Name\` = 'TESSARY|数据库升级', \`Target\` = '[#tessary.exe]' WHERE \`Shortcut\` = 'TessaryShortcut'"
sql "UPDATE \`LaunchCondition\` SET \`Description\` = '已经安装了更新版本的凯岚商业管理软件门店组件，不能再安装这个旧版本。' WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'"

# Component attributes: 4 registry key path, 16 permanent, 128 never overwrite.
sql "UPDATE \`Component\` SET \`Attributes\` = 144 WHERE \`Component\` = 'IniTemplate'"
for value in ServerNameValue:SERVERNAME DatabaseValue:STOREDB PathValue:STOREPATH; do
  sql "UPDATE \`Component\` SET \`Attributes\` = 20, \`Condition\` = '${value#*:}' WHERE \`Component\` = '${value%:*}'"
done

# File key:file name.
for program in tessary.exe:tessary.exe tessary_cli.exe:tessary-cli.exe Vortal.dll:Vortal.dll \
  vortal_cli.exe:vortal-cli.exe; do
  key=${program%:*} file=${program#*:}
  # FileVersion of the version resource, X.Y.Z, as the fixed file version X.Y.Z.0.
  file_version=$(strings -el "$stage/$file" | grep -A1 -x FileVersion | sed -n 2p)
  [[ $file_version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "build-msi: $file has no FileVersion" >&2; exit 1; }
  sql "UPDATE \`File\` SET \`Version\` = '$file_version.0' WHERE \`File\` = '$key'"
  sql "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$key'"
done

# Type 19: end the installation with the message.
sql "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Target\`) VALUES ('TillNeedsPosDir', 19, '收银机组件 Till 要装在收银程序的文件夹里：请在命令行上用 POSDIR=文件夹 指定它。')"
for sequence in InstallExecuteSequence InstallUISequence; do
  sql "INSERT INTO \`$sequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('TillNeedsPosDir', '&Till=3 AND NOT POSDIR_KNOWN', 1001)"
done

# Feature levels: 1 installs by default, 100 does not (INSTALLLEVEL is 1).
idt Condition.idt $'Feature_\tLevel\tCondition' $'s38\ti2\tS255' $'Condition\tFeature_\tLevel' \
  $'Till\t1\tREMEMBERED_POSDIR' $'StorePC\t100\tWIX_UPGRADE_DETECTED AND NOT REMEMBERED_INSTALLDIR'
table Condition.idt

# SYSTEM and Administrators full control, Users modify, inherited by files and folders.
idt MsiLockPermissionsEx.idt $'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition' \
  $'s72\ts72\ts32\ts0\tS255' $'MsiLockPermissionsEx\tMsiLockPermissionsEx' \
  $'WorkFolderUsers\tWORKDIR\tCreateFolder\tD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)\t'
table MsiLockPermissionsEx.idt

# The summary: PID 7 template, 9 package code, 12 and 13 times (local time of msibuild's
# parser, hence UTC). The package code is made from the package with a fixed one first.
summary() {
  idt _SummaryInformation.idt $'PropertyId\tValue' $'i2\tl255' $'_SummaryInformation\tPropertyId' \
    $'7\tIntel;2052' $'9\t{'"$1"'}' \
    $'12\t'"$(date -u -d "@$epoch" '+%Y/%m/%d %H:%M:%S')" \
    $'13\t'"$(date -u -d "@$epoch" '+%Y/%m/%d %H:%M:%S')"
  (cd "$work" && TZ=UTC msibuild "$msi" -i _SummaryInformation.idt)
}
summary 00000000-0000-0000-0000-000000000000
summary "$(guid_of "korvane-store PackageCode $(sha256sum <"$msi")")"
cp "$msi" "$out"
