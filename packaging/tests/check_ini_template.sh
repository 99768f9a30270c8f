#!/usr/bin/env bash
# The INI template of the release as the stores get it (GBK, CR LF), read by the library's own
# reader through vortal-cli settings: every key found with its default, and no problem but the
# three required settings left empty.
#   check_ini_template.sh VORTAL_CLI LIBRARY TEMPLATE
set -euo pipefail
cli=$1 library=$2 template=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$library" "$work/"
sed 's/$/\r/' "$template" | iconv -f UTF-8 -t GBK >"$work/Z_AllITrans.ini"

status=0
KORVANE_REGISTRY_FILE=$work/no-registry.ini \
  "$cli" settings --library "$work/$(basename "$library")" >"$work/report" || status=$?
cat "$work/report"
[[ $status -eq 1 ]] || { echo "exit code $status, not 1" >&2; exit 1; }
grep -q '^encoding  GBK$' "$work/report" || { echo "not read as GBK" >&2; exit 1; }
if grep -q '(default)' "$work/report"; then
  echo "a key of the template was not found" >&2
  exit 1
fi
problems=$(grep '^  - ' "$work/report" | cut -d' ' -f4,5 | tr '\n' ' ')
[[ $problems == "[服务器信息] 域名 [服务器信息] 地址 [商户信息] 店铺编号 " ]] ||
  { echo "problems: $problems" >&2; exit 1; }
