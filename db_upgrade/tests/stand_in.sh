# Sourced by the Windows suite's scripts: starts the native SQL Server stand-in on a free port.
#   start_stand_in NATIVE_DB_UPGRADE_DIR LOG [ARGUMENTS...]
# sets stand_in_pid and port, or ends the script when the stand-in does not start.
start_stand_in() {
  local native=$1 log=$2
  "$native/tessary-sql-stand-in" --port 0 "${@:3}" >"$log" 2>&1 &
  stand_in_pid=$!
  port=
  for _ in $(seq 200); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log")
    [[ -n $port ]] && return
    sleep 0.05
  done
  echo "the SQL Server stand-in did not start" >&2
  exit 1
}
