#!/usr/bin/env bash
# tessary-cli.exe under wine, as a store machine runs it, held against the native build:
#   windows_cli_test.sh WINE_RUNNER TESSARY_CLI_EXE NATIVE_DB_UPGRADE_DIR
# - the statements of a whole upgrade, a script folder's among them, are the native ones;
# - a package built from a folder whose name ends in 運 (DF 5C) lists as on Linux, its script
#   folder reads, and it unpacks inside a folder whose name ends in 淺 (9C 5C); unpack
#   refuses, writing nothing, a folder too deep for MAX_PATH;
# - status, and an upgrade of two databases through odbc32 (wine hands it to unixODBC and FreeTDS's
#   driver) against the native SQL Server stand-in, with the registry values imported by
#   reg.exe into the 32-bit view, the installation, working and program folders named in
#   Chinese;
# - a refused connection ends with the driver's text and a failure;
# - a connection the stand-in cuts mid-upgrade ends the run there, as a failure.
set -Eeuo pipefail
source "$(dirname "$0")/stand_in.sh"
runner=$(realpath "$1") native=$(realpath "$3")
for program in "$native/tessary-cli" "$native/tessary-sql-stand-in"; do
  [[ -x $program ]] || { echo "$program is missing: build the native preset first" >&2; exit 1; }
done

work=$(mktemp -d)
stand_in_pid=
cleanup() {
  [[ -z $stand_in_pid ]] || { kill "$stand_in_pid" 2>/dev/null; wait "$stand_in_pid" 2>/dev/null; }
  "$runner" reg delete 'HKEY_LOCAL_MACHINE\SOFTWARE\korvane' /reg:32 /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# A step outside check() that fails ends the script: say which, with what the programs wrote.
# (The values that checks compare are read in subshells, where a failure is the check's.)
trap 'step_status=$?
  if ((BASH_SUBSHELL == 0)); then
    echo "line $LINENO failed with exit code $step_status: $BASH_COMMAND" >&2
    for output in "$work"/*.err "$work"/*.log; do
      if [[ -s $output ]]; then echo "== ${output##*/}" >&2; cat "$output" >&2; fi
    done
  fi' ERR
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1" >&2; failed=$((failed + 1)); fi
}
contains() { [[ $(<"$1") == *"$2"* ]]; }
gbk() { printf "$@" | iconv -f UTF-8 -t GBK; }

# Wine shows the Linux (UTF-8) names of these folders to the program in GBK. The program
# runs from a folder of its own, apart from the working folder, where its run log goes.
installation=$work/安装/pos
current=$work/工作
mkdir -p "$installation/32k" "$current" "$work/營運" "$work/程序"
cli=$work/程序/tessary-cli.exe
cp "$2" "$cli"
gbk 'create procedure p_rebuilt as\r\nbegin\r\nselect 1 -- 重建\r\nend\r\nGO\r\n' \
  >"$installation/32k/p_rebuilt.sql"
gbk 'drop procedure p_packed_MS\r\ngo\r\ncreate procedure p_packed_MS as\r\nbegin\r\nselect 2 -- 打包\r\nend\r\n' \
  >"$work/營運/过程_MS.sql"

# 1. The statements of an upgrade from a new installation, the script folder's included.
"$runner" "$cli" script --scripts "Z:$installation/32k" >"$work/windows.out" 2>"$work/windows.err"
"$native/tessary-cli" script --scripts "$installation/32k" >"$work/native.out" 2>"$work/native.err"
check "script prints the native statements" cmp -s "$work/windows.out" "$work/native.out"
check "script reports as the native twin" cmp -s "$work/windows.err" "$work/native.err"
check "the rebuilt script is among them" contains "$work/windows.out" "select 1 -- 重建"

# 2. A package from a folder with a Chinese name and a Chinese script name.
"$runner" "$cli" pack "Z:$work/營運" -o "Z:$current/db.dat" >"$work/pack.out"
check "pack names the script in UTF-8" contains "$work/pack.out" "过程_MS.sql"
"$runner" "$cli" script --scripts "Z:$work/營運" >"$work/scripts.out" 2>"$work/scripts.err"
check "script reads the folder's script" contains "$work/scripts.out" "select 2 -- 打包"
"$runner" "$cli" list "Z:$current/db.dat" >"$work/windows.list"
"$native/tessary-cli" list "$current/db.dat" >"$work/native.list"
check "the package lists as on Linux" cmp -s "$work/windows.list" "$work/native.list"
"$runner" "$cli" unpack "Z:$current/db.dat" "Z:$work/out淺" >/dev/null
check "unpack gives the script back byte for byte, inside its folder" \
  cmp -s "$work/營運/过程_MS.sql" "$work/out淺/过程_MS.sql"
deep=Z:$work/$(printf 'd%.0s' {1..230})
check "a folder too deep for MAX_PATH is refused" \
  test "$("$runner" "$cli" unpack "Z:$current/db.dat" "$deep" 2>&1 >/dev/null)" == \
  "tessary-cli: the script 过程_MS.sql cannot be written to $deep (路径连同写入时的临时后缀共 $((${#work} + 264)) 个字符，超过了 Windows 的上限 259); nothing written"
check "and nothing is written there" test ! -e "${deep#Z:}"

# 3. The upgrade of both databases, with the registry values of the 32-bit view.
start_stand_in "$native" "$work/stand-in.log" --database store --database SorVanth

windows_installation=$(sed 's|/|\\\\|g' <<<"Z:$installation")
import_registry() {  # the values of the stand-in at $port
  gbk 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane]\r\n"DATABASE"="store"\r\n"SERVERNAME"="127.0.0.1,%s"\r\n"PATH"="%s"\r\n' \
    "$port" "$windows_installation" >"$work/korvane.reg"
  "$runner" reg import "Z:$work/korvane.reg" /reg:32 >/dev/null 2>"$work/reg-import.err"
}
import_registry
run() {  # run COMMAND STDERR_FILE: the exit code of tessary-cli.exe COMMAND
  local status=0
  (cd "$current" && TESSARY_ODBC_DRIVER=FreeTDS "$runner" "$cli" "$1") >/dev/null 2>"$2" ||
    status=$?
  echo "$status"
}
check "status says an upgrade is due" test "$(run status "$work/status.err")" -eq 10
check "the upgrade succeeds" test "$(run upgrade "$work/upgrade.err")" -eq 0
check "status then says up to date" test "$(run status "$work/status.err")" -eq 0
# Per database: the date read twice, the row insert (refused: the row exists), the 191
# statements of the batches and the catalogue, the rebuilt script, and the package's drop
# (refused: nothing to drop) and create.
check "every statement was sent" contains "$work/upgrade.err" "发送语句 395 条，成功 391 条，失败 4 条"
read_back() {
  tsql -o fhq -H 127.0.0.1 -p "$port" -U korvane -P tqzvbno -D "$1" 2>/dev/null <<'SQL'
select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'
go
select count(*) from sysobjects where name = 'p_rebuilt'
go
select count(*) from sysobjects where name = 'p_packed_MS'
go
SQL
}
for database in store SorVanth; do
  check "$database is upgraded, rebuilt and packed" test "$(read_back "$database")" == $'20200117\n1\n1'
done
check "the run reads uncommitted from its login on" contains "$work/stand-in.log" \
  $'#1 login korvane to store, TDS 7.4\n#1 batch: SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED'
run_logs=("$current"/tessary-upgrade-*.log)
check "the run log lies in the working folder" contains "${run_logs[0]}" "create procedure p_packed_MS"

# 4. A server that is gone: the driver's text, and a failure.
kill "$stand_in_pid"
wait "$stand_in_pid" 2>/dev/null || true
stand_in_pid=
check "a refused connection fails" test "$(run upgrade "$work/refused.err")" -eq 1
check "with the driver's text" contains "$work/refused.err" \
  "凯岚商业管理软件: 不能连接到数据库！(错误信息：[FreeTDS][SQL Server]Unable to connect"

# 5. A link that breaks at the stand-in's 45th batch (in the third batch of the upgrade).
start_stand_in "$native" "$work/cut-stand-in.log" --database store --cut-at-batch 45
import_registry
check "a lost connection fails the run" test "$(run upgrade "$work/cut.err")" -eq 1
check "and says where it stopped" contains "$work/cut.err" \
  "与数据库服务器的连接已断开，升级在数据库 store 的“批次 20150825”一步中断"
check "with no success message" test "$(grep -c '更新成功' "$work/cut.err")" -eq 0
kill "$stand_in_pid"
wait "$stand_in_pid" 2>/dev/null || true
stand_in_pid=

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
