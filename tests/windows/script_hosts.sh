#!/usr/bin/env bash
# Runs the script hosts under wine's cscript against the registered NBLinout.dll and
# holds what they write to what the Linux nblinout writes from the same store and file.
# Usage: script_hosts.sh LINUX_NBLINOUT WORK_FOLDER
set -euo pipefail
cli=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/日記"
store="$work/日記/日記帳.db"
"$cli" new-db "$store"
sqlite3 "$store" < "$here/../../examples/sample_diary.sql"
"$cli" new-db "$work/日記/読み込み先.db"

# Each script's last line must be "done": VBScript ends with status 0 after a run-time error.
run() {
  local script=$1 output
  shift
  output=$(wine cscript //nologo "$(winepath -w "$here/$script")" "$@" 2>&1 | tr -d '\r')
  echo "$output"
  [ "$(tail -n 1 <<<"$output")" = done ] || { echo "script_hosts: $script did not finish" >&2; exit 1; }
}
run export_import.js "$(winepath -w "$work")"
run host.vbs "$(winepath -w "$store")" "$(winepath -w "$work/日記/書き出し（VBScript）.xml")"

"$cli" export "$store" "$work/linux.xml" --ui none >/dev/null
cmp "$work/linux.xml" "$work/日記/書き出し.xml"
cmp "$work/linux.xml" "$work/日記/書き出し（VBScript）.xml"
[ "$(grep -c '<day ' "$work/linux.xml")" -eq 20 ]

"$cli" new-db "$work/linux.db"
"$cli" import "$work/linux.db" "$work/日記/書き出し.xml" --ui none >/dev/null
# Every column as stored; of the import mark, the text after its time.
rows="SELECT Day, Number, Weather, Genre, Private, Title, hex(Contents), extend, excerpt, TrackBack, PublishTime,
      substr(ImportMark, 20), ImportMark GLOB '[0-9][0-9][0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] *'
      FROM Contents ORDER BY rowid"
sqlite3 "$work/linux.db" "$rows" > "$work/linux.rows"
sqlite3 "$work/日記/読み込み先.db" "$rows" > "$work/windows.rows"
diff "$work/linux.rows" "$work/windows.rows"
[ "$(wc -l < "$work/windows.rows")" -eq 20 ]
echo "script_hosts: both hosts ran; the export and the import equal the Linux build's"
