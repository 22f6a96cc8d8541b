#!/usr/bin/env bash
# The Windows server features under Wine, from scripts/test-windows.sh in its
# Wine prefix (WINEPREFIX set): kivo-watch.exe as the service KivoWatch with
# its Application log entries, and kivo-report.exe's metrics file.
# Usage: scripts/windows-server-test.sh WINDOWS_BUILD_DIR [WORK_DIR]
# Without WORK_DIR (scripts/stress-ci.sh) it makes a fresh prefix of its own
# in a folder of its own, and removes both at the end.
#
# Wine cannot read the Application log back, but it traces every ReportEventW
# on its eventlog channel (the insertion string, with err:, warn: or trace:
# for an error, warning or information entry) and the entry's id on the
# advapi channel; a service process writes those traces to the standard error
# of the session's first process, here a command prompt that holds the
# session open. Services get the machine's environment, not their starter's:
# the test settings go there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-waits.sh
win=$(realpath "$1")
own_work=""
if [ $# -ge 2 ]; then
  work=$2
else
  work=$(mktemp -d /tmp/kivo-win-server.XXXXXX)
  own_work=yes
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
fi
watch="$win/src/app/cli/kivo-watch.exe"
session="$work/session.err"
export KIVO_DEVICE_PIPE='\\.\pipe\zelka-service\'
trace='-all,+eventlog,fixme+advapi'
emulator_pid=""
holder_pid=""
cleanup() {
  wine sc stop KivoWatch >/dev/null 2>&1 || true
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null || true
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null || true
  if [ -n "$own_work" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
  fi
}
trap cleanup EXIT

fail() {
  echo "windows server stage: $*" >&2
  exit 1
}
# A step that fails on its own (set -e) says which and how.
set -E
trap 'failed=$?; echo "windows server stage: line $LINENO: \"$BASH_COMMAND\" ended with status $failed" >&2' ERR

# Waits (20 s at most) until FILE holds PATTERN (an extended regular expression).
wait_for() {
  poll 20000 file_has "$1" "$2" || fail "no '$2' in $1 after 20 s: $seen"
}

service_in() {
  seen=$(wine sc query KivoWatch 2>&1 | tr -d '\r') || true
  grep -q "STATE *: *[0-9]  $1" <<<"$seen"
}
# Waits (30 s at most) until the service is in STATE.
wait_state() {
  poll 30000 service_in "$1" || fail "the service is not $1 after 30 s: $seen"
}

# Runs kivo-watch.exe ARG, expecting STATUS and a standard error with TEXT.
expect_watch() {
  local status=0
  wine "$watch" "$1" 2>"$work/watch.err" || status=$?
  [ "$status" = "$2" ] && grep -q "$3" "$work/watch.err" ||
    fail "kivo-watch.exe $1: status $status, '$(tr -d '\r' <"$work/watch.err")'"
}

key_absent() {
  local left
  left=$(wine reg query "$1" 2>&1 | tr -d '\r') || return 0
  fail "$1 is still there: $left"
}

if [ -n "$own_work" ]; then
  # The prefix as scripts/test-windows.sh leaves it: Windows 2000.
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine' /v Version /d win2k /f >/dev/null 2>&1
fi
echo "--- kivo-watch.exe as the service KivoWatch, writing the Application log"
envkey='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
wine reg add "$envkey" /v KIVO_DEVICE_PIPE /d "$KIVO_DEVICE_PIPE" /f >/dev/null 2>&1
wine reg add "$envkey" /v KIVO_TIME_SCALE /d 1000 /f >/dev/null 2>&1
wine reg add "$envkey" /v WINEDEBUG /d "$trace" /f >/dev/null 2>&1
# A new session, so that the service manager starts from those settings with
# the holder's standard error; the holder reads its input until the end.
wineserver -k 2>/dev/null || true
wineserver -w
mkfifo "$work/holder.in"
WINEDEBUG="$trace" wine cmd <"$work/holder.in" >/dev/null 2>"$session" &
holder_pid=$!
exec 7>"$work/holder.in"
wait_for "$session" "starting Event Log Service"
start_emulator() {
  wine "$win/emulator/zelka-emulator.exe" --http-port 0 2>"$work/emulator.err" &
  emulator_pid=$!
  wait_for "$work/emulator.err" "ready"
}
start_emulator

expect_watch --remove-service 1 "the service KivoWatch is not installed"
expect_watch --install-service 0 "is installed"
expect_watch --install-service 1 "the service KivoWatch is already installed"
services='HKLM\System\CurrentControlSet\Services'
wine reg query "$services\\KivoWatch" | tr -d '\r' >"$work/service.reg"
wine reg query "$services\\EventLog\\Application\\Kivo" | tr -d '\r' >>"$work/service.reg"
for value in 'ImagePath +REG_SZ +".*kivo-watch.exe" --service$' 'DisplayName +REG_SZ +Kivo Event Monitor$' \
  'Start +REG_DWORD +0x2$' 'ObjectName +REG_SZ +LocalSystem$' 'EventMessageFile +REG_EXPAND_SZ +.*kivo-watch.exe$' \
  'TypesSupported +REG_DWORD +0x7$'; do
  grep -qE "^ +$value" "$work/service.reg" || fail "no '$value' in: $(cat "$work/service.reg")"
done

begin=$(date +%s%N)
wine sc start KivoWatch >"$work/start.txt" 2>&1 || fail "sc start failed: $(tr -d '\r' <"$work/start.txt")"
wait_state RUNNING
echo "running after $((($(date +%s%N) - begin) / 1000000)) ms"

# An entry: its id, then its text with the type's trace class.
expect_entry() {
  local id=$1 class=$2 text=$3
  wait_for "$session" "^[0-9a-f]{4}:$class:eventlog:ReportEventW L\"TIME: [^\"]* MESSAGE: $text"
  grep -qE "fixme:advapi:ReportEventW \([^,]*,0x[0-9a-f]{4},0x0000,0x0*$(printf '%x' "$id")," "$session" ||
    fail "no entry of id $id: $(grep ReportEventW "$session")"
}
wine "$win/emulator/zelka-emulator.exe" ctl aen 0 9 1 >/dev/null
expect_entry 9 warn "Drive timeout encountered on unit 1 on controller ID:0\."
wine "$win/emulator/zelka-emulator.exe" ctl aen 1 2 0 >/dev/null
expect_entry 2 err "Disk Array Unit 0 on controller ID:1 is degraded and no longer fault tolerant\. \\\\r\\\\n"
# The background service going away (the emulator ends: its endpoint and
# devices with it) is one error entry, however many passes fail.
kill "$emulator_pid"
wait "$emulator_pid" 2>/dev/null || true
emulator_pid=""
expect_entry 1000 err "Error retrieving notification from controller [01]\\."
# No second one for a second: some ten passes of the monitor at this time scale.
one_error_entry() {
  seen=$(grep 'ReportEventW L"TIME: [^"]* MESSAGE: Error retrieving' "$session" || true)
  [ "$(grep -c . <<<"$seen")" = 1 ]
}
holds 1000 one_error_entry || fail "more than one error entry for one outage: $seen"
echo "entries: warning 9, error 2, one error 1000 while the Kivo service is away"

# It keeps running, and writes the events again once the service is back.
wait_state RUNNING

start_emulator
wine "$win/emulator/zelka-emulator.exe" ctl aen 0 5 1 >/dev/null
expect_entry 5 trace "Rebuild is complete on unit 1 on controller ID:0\\."
echo "entries: information 5 once the Kivo service is back"

begin=$(date +%s%N)
wine sc stop KivoWatch >"$work/stop.txt" 2>&1 || fail "sc stop failed: $(tr -d '\r' <"$work/stop.txt")"
wait_state STOPPED
stopped=$((($(date +%s%N) - begin) / 1000000))
[ "$stopped" -lt 10000 ] || fail "stopping took $stopped ms, more than the wait hint"
echo "stopped after $stopped ms (wait hint 10000 ms)"
expect_watch --remove-service 0 "is removed"
key_absent "$services\\KivoWatch"
key_absent "$services\\EventLog\\Application\\Kivo"
echo "removed: no service key, no event source key"

echo "--- kivo-watch.exe's own diagnostics as Application log entries"
# A service's standard error reaches nobody: its start, a start without a
# controller (a warning naming where it looked) and its stop are entries.
begin=$(date +%s)
# The traces from line FROM of the session on: entry ID of CLASS with TEXT.
expect_diagnostic() {
  local from=$1 id=$2 class=$3 text=$4
  local entry="^[0-9a-f]{4}:$class:eventlog:ReportEventW L\"$text\""
  session_has() { tail -n +"$from" "$session" | grep -qE "$entry"; }
  poll 20000 session_has ||
    fail "no $class entry '$text': $(tail -n +"$from" "$session" | grep ReportEventW)"
  tail -n +"$from" "$session" | grep -qE "fixme:advapi:ReportEventW \([^,]*,0x[0-9a-f]{4},0x0000,0x0*$(printf '%x' "$id")," ||
    fail "no entry of id $id: $(tail -n +"$from" "$session" | grep ReportEventW)"
}
# The run above, with the emulator's two controllers, began and ended so.
expect_diagnostic 1 1002 trace "monitoring 2 controller\(s\)"
expect_diagnostic 1 1004 trace "stopped"
# Without a controller: the service keeps running and says where it looked.
kill "$emulator_pid"
wait "$emulator_pid" 2>/dev/null || true
emulator_pid=""
from=$(($(wc -l <"$session") + 1))
expect_watch --install-service 0 "is installed"
wine sc start KivoWatch >/dev/null 2>&1 || fail "sc start failed"
wait_state RUNNING
expect_diagnostic "$from" 1003 warn "no Zelka controller found yet under [^\"]*zelka-service[^\"]* \(KIVO_DEVICE_PIPE names another pipe prefix\); watching for one to appear"
wine sc stop KivoWatch >/dev/null 2>&1 || fail "sc stop failed"
wait_state STOPPED
expect_diagnostic "$from" 1004 trace "stopped"
expect_watch --remove-service 0 "is removed"
echo "entries: information 1002 at the start, warning 1003 without a controller (where it looked), information 1004 at the stop ($(($(date +%s) - begin)) s)"

echo "--- the setup program's server components, the metrics for windows_exporter"
start_emulator
cmake --build "$win" --target kivo-setup >/dev/null
task="$WINEPREFIX/drive_c/windows/system32/tasks/Kivo metrics"
inputs="$WINEPREFIX/drive_c/Program Files/windows_exporter/textfile_inputs"
mkdir -p "$inputs"
printf 'kivo_scan_success 0\r\n' >"$inputs/kivo.prom"
wine "$win/installer/kivo-setup.exe" /S /SERVICE /METRICS || fail "setup /S /SERVICE /METRICS failed"
reg_has "$services\\KivoWatch" ImagePath 'C:\\Program Files\\Zelka\\Kivo\\kivo-watch\.exe" --service' ||
  fail "setup did not register the installed kivo-watch.exe as the service: $seen"
wait_state RUNNING
[ -f "$task" ] || fail "setup did not register the task: $(ls "$(dirname "$task")" 2>&1)"
# Wine registers the task but keeps neither its trigger nor its command, and
# runs none: the command of the definition the setup registered is run here.
definition=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/Program Files/Zelka/Kivo/kivo-metrics.xml" | tr -d '\r')
command=$(sed -n 's|.*<Command>\(.*\)</Command>.*|\1|p' <<<"$definition")
arguments=$(sed -n 's|.*<Arguments>\(.*\)</Arguments>.*|\1|p' <<<"$definition" | sed 's/&quot;/"/g')
grep -q '<UserId>S-1-5-18</UserId>' <<<"$definition" && grep -q '<Interval>PT1M</Interval>' <<<"$definition" ||
  fail "the task does not run every minute as the system: $definition"
[ "$arguments" = '--prometheus "C:\Program Files\windows_exporter\textfile_inputs\kivo.prom"' ] ||
  fail "the task runs $command $arguments"
status=0
eval "wine \"\$command\" $arguments" 2>"$work/metrics.err" || status=$?
[ "$status" = 0 ] || fail "$command $arguments: status $status, $(tr -d '\r' <"$work/metrics.err")"
[ "$(ls "$inputs")" = kivo.prom ] || fail "beside the metrics file: $(ls "$inputs")"
! grep -q $'\r' "$inputs/kivo.prom" || fail "the metrics file has CR line ends"
grep -q '^kivo_scan_success 1$' "$inputs/kivo.prom" || fail "the old metrics file was not replaced: $(cat "$inputs/kivo.prom")"
promtool check metrics <"$inputs/kivo.prom" || fail "promtool check metrics failed"
echo "setup /SERVICE /METRICS: the service runs; the task's command wrote $(grep -vc '^#' "$inputs/kivo.prom") samples, LF only, promtool's check passed"

# A plain upgrade keeps both; the uninstaller removes them.
wine "$win/installer/kivo-setup.exe" /S || fail "setup /S over the components failed"
wait_state RUNNING
[ -f "$task" ] || fail "the upgrade removed the task: $(ls "$(dirname "$task")" 2>&1)"
wine 'C:\Program Files\Zelka\Kivo\uninstall.exe' /S
# The uninstaller runs on from a copy of itself: wait for it, bounded by time
# (a loaded machine starts each Wine process slowly).
uninstalled() { ! wine reg query "$services\\KivoWatch" >/dev/null 2>&1 && [ ! -f "$task" ]; }
poll 90000 uninstalled || true
key_absent "$services\\KivoWatch"
key_absent "$services\\EventLog\\Application\\Kivo"
[ ! -f "$task" ] || fail "the uninstaller left the task: $(ls "$(dirname "$task")" 2>&1)"
echo "upgrade kept the service and the task; the uninstaller removed them and the event source"
