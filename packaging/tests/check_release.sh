#!/usr/bin/env bash
# Checks a release zip: exactly the six files in their order, each program carrying the
# version in its version resource, the texts GBK with CR LF and the version in the guide;
# and the package: its version, and the zip's programs and INI template in it.
#   check_release.sh ZIP MSI VERSION
set -euo pipefail
zip=$1 msi=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
problem() { echo "check_release: $*" >&2; failed=1; }

expected="Vortal.dll Z_AllITrans.ini vortal-cli.exe tessary.exe tessary-cli.exe README.txt"
listed=$(unzip -Z1 "$zip" | tr '\n' ' ' | sed 's/ $//')
[[ $listed == "$expected" ]] || problem "the zip holds '$listed', not '$expected'"
unzip -q "$zip" -d "$work"

for program in Vortal.dll vortal-cli.exe tessary.exe tessary-cli.exe; do
  # FileVersion and ProductVersion are UTF-16 texts of the version resource.
  count=$(strings -el "$work/$program" | grep -cx "$version" || true)
  [[ $count -ge 2 ]] || problem "$program does not carry version $version"
done
for text in Z_AllITrans.ini README.txt; do
  iconv -f GBK -t UTF-8 "$work/$text" >/dev/null 2>&1 || problem "$text is not GBK"
  [[ $(grep -c $'\r$' "$work/$text") -eq $(wc -l <"$work/$text") ]] ||
    problem "$text does not end every line with CR LF"
done
iconv -f GBK -t UTF-8 "$work/README.txt" | grep -q "$version" || problem "README.txt names no version $version"

[[ $(msiinfo export "$msi" Property) == *$'\nProductVersion\t'"$version"$'\r\n'* ]] ||
  problem "the package is not version $version"
msiextract -C "$work/msi" "$msi" >/dev/null
for file in "Program Files/Korvane/tessary.exe" "Program Files/Korvane/tessary-cli.exe" \
  POS/Vortal.dll POS/vortal-cli.exe POS/Z_AllITrans.ini; do
  cmp -s "$work/msi/$file" "$work/$(basename "$file")" || problem "the package's $file is not the zip's"
done
exit $failed
