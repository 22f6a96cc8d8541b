#!/usr/bin/env bash
# The Windows stage of scripts/test.sh: runs the cross-built test programs and
# the end-to-end checks under Wine in a fresh, private Wine prefix (deleted
# afterwards). Usage: scripts/test-windows.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
#   - the core suites and the Win32-only cases (kivo_*_tests.exe)
#   - kivo-report.exe against zelka-emulator.exe on the default world and on
#     every world of the golden report tests: byte for byte the Linux
#     programs' report, the host lines aside, and the same exit status; the
#     --json document byte for byte
#   - kivo-report.exe with the prefix's registry: the product type and the
#     service version come from it
#   - kivo-watch.exe printing an event injected with `zelka-emulator ctl`,
#     through rpcrt4
#   - kivo-watch.exe as a service writing the Application log, and
#     kivo-report.exe's metrics file (scripts/windows-server-test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-waits.sh
linux=$(realpath "$1")
win=$(realpath "$2")

work=$(mktemp -d /tmp/kivo-win-stage.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64
# No .NET or browser engine: their installers would be fetched otherwise.
export WINEDLLOVERRIDES="mscoree,mshtml="
export KIVO_DEVICE_PIPE='\\.\pipe\zelka-stage\'
emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "windows stage: $*" >&2
  exit 1
}
# A step that fails on its own (set -e) says which and how.
set -E
trap 'failed=$?; echo "windows stage: line $LINENO: \"$BASH_COMMAND\" ended with status $failed" >&2' ERR

# Waits (30 s at most) until FILE holds PATTERN (an extended regular expression).
wait_for() {
  poll 30000 file_has "$1" "$2" || fail "no '$2' in $1 after 30 s: $seen"
}

start_windows_emulator() {
  : >"$work/emulator.err"
  wine "$win/emulator/zelka-emulator.exe" --http-port 0 "$@" 2>"$work/emulator.err" &
  emulator_pid=$!
  wait_for "$work/emulator.err" "ready"
}

stop_windows_emulator() {
  kill "$emulator_pid" 2>/dev/null || true
  wait "$emulator_pid" 2>/dev/null || true
  emulator_pid=""
}

# The report without its host lines (time, host description, computer name).
masked() {
  sed -e '2s/.*/<time>/' -e '3s/.*/<host>/' -e 's/^Computer Name: .*/Computer Name: <name>/' "$1"
}

# The Linux report with each system sentence in the wording of the system
# under test (Wine words many codes differently from Windows).
reworded() {
  awk -F '\t' 'FNR == NR { if ($1 in linux) next; linux[$1] = $2; next }
    FILENAME == ARGV[2] { if ($1 in linux && linux[$1] != $2) { from[++n] = linux[$1]; to[n] = $2 }; next }
    { for (i = 1; i <= n; ++i) {
        line = ""; rest = $0
        while ((at = index(rest, from[i])) > 0) {
          line = line substr(rest, 1, at - 1) to[i]; rest = substr(rest, at + length(from[i]))
        }
        $0 = line rest
      }
      print }' "$work/wording.linux" "$work/wording.windows" "$1"
}

start=$(date +%s)
wineboot -i >/dev/null 2>&1
# Windows 2000: the version where the product type is read from the registry.
wine reg add 'HKCU\Software\Wine' /v Version /d win2k /f >/dev/null 2>&1

echo "--- test programs"
for suite in platform controller report monitor emulator; do
  (cd "$win" && wine "tests/kivo_${suite}_tests.exe" --gtest_brief=1) >"$work/$suite.log" 2>&1 ||
    { cat "$work/$suite.log"; fail "kivo_${suite}_tests.exe failed"; }
  echo "kivo_${suite}_tests.exe: $(grep -E '^\[  PASSED  \]' "$work/$suite.log")"
done

echo "--- kivo-report.exe against zelka-emulator.exe, beside the Linux programs"
"$linux/tests/system-wording" >"$work/wording.linux"
wine "$win/tests/system-wording.exe" | tr -d '\r' >"$work/wording.windows"
linux_dir="$work/linux"
mkdir -m 700 -p "$linux_dir/dev" "$linux_dir/rpc" "$linux_dir/reg"
for world in "" tests/report/worlds/*.json; do
  name=${world:-default}
  world_args=()
  [ -n "$world" ] && world_args=(--world "$world")
  : >"$work/linux-emulator.err"
  KIVO_DEVICE_DIR="$linux_dir/dev" KIVO_RPC_DIR="$linux_dir/rpc" KIVO_REGISTRY_DIR="$linux_dir/reg" \
    "$linux/emulator/zelka-emulator" "${world_args[@]}" --http-port 0 2>"$work/linux-emulator.err" &
  linux_pid=$!
  wait_for "$work/linux-emulator.err" "ready"
  status=0
  KIVO_DEVICE_DIR="$linux_dir/dev" KIVO_REGISTRY_DIR="$linux_dir/reg" \
    "$linux/src/app/cli/kivo-report" >"$work/linux.txt" 2>/dev/null || status=$?
  KIVO_DEVICE_DIR="$linux_dir/dev" KIVO_REGISTRY_DIR="$linux_dir/reg" \
    "$linux/src/app/cli/kivo-report" --json >"$work/linux.json" 2>/dev/null || true
  kill "$linux_pid"
  wait "$linux_pid" || true

  # Pipes of their own for each world: no client meets a pipe of the last one.
  export KIVO_DEVICE_PIPE="\\\\.\\pipe\\zelka-$(basename "$name" .json)\\"
  start_windows_emulator "${world_args[@]}"
  win_status=0
  wine "$win/src/app/cli/kivo-report.exe" >"$work/windows.txt" 2>"$work/windows.err" || win_status=$?
  json_status=0
  wine "$win/src/app/cli/kivo-report.exe" --json >"$work/windows.json" 2>/dev/null || json_status=$?
  stop_windows_emulator
  reworded "$work/linux.txt" >"$work/linux.reworded"
  masked "$work/linux.reworded" >"$work/linux.masked"
  masked "$work/windows.txt" >"$work/windows.masked"
  cmp -s "$work/linux.masked" "$work/windows.masked" ||
    { diff "$work/linux.masked" "$work/windows.masked" | head -20; cat "$work/windows.err" "$work/emulator.err"
      fail "$name: the reports differ"; }
  [ "$status" = "$win_status" ] ||
    fail "$name: exit status $win_status on Windows, $status on Linux: $(tr -d '\r' <"$work/windows.err")"
  cmp -s "$work/linux.json" "$work/windows.json" || { diff "$work/linux.json" "$work/windows.json" | head -20
    fail "$name: the JSON documents differ"; }
  [ "$json_status" = "$status" ] || fail "$name: --json exit status $json_status, the report's $status"
  echo "$name: identical ($(wc -c <"$work/windows.txt") bytes, exit status $win_status; JSON too)"
done

echo "--- kivo-report.exe reads the prefix's registry"
export KIVO_DEVICE_PIPE='\\.\pipe\zelka-stage\'
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Zelka Storage Controller' /v 'Service Version' \
  /d 'Stage 9.8.7' /f >/dev/null 2>&1
start_windows_emulator
wine "$win/src/app/cli/kivo-report.exe" >"$work/registry.txt" 2>/dev/null || true
sed -n 3p "$work/registry.txt" | grep -q '^Microsoft Windows 2000 Professional (5.0 Build 2195)' ||
  fail "no Windows 2000 Professional host line: $(sed -n 3p "$work/registry.txt")"
grep -q 'Stage 9.8.7' "$work/registry.txt" ||
  fail "the service version from the registry is not in the report: $(head -c 1500 "$work/registry.txt")"
echo "host line: $(sed -n 3p "$work/registry.txt" | tr -d '\r'); service version read"

echo "--- kivo-watch.exe prints an injected event through rpcrt4"
wine "$win/emulator/zelka-emulator.exe" ctl aen 0 9 1 >/dev/null
KIVO_TIME_SCALE=1000 wine "$win/src/app/cli/kivo-watch.exe" >"$work/watch.txt" 2>"$work/watch.err" &
watch_pid=$!
wait_for "$work/watch.txt" "MESSAGE: Drive timeout encountered on unit 1 on controller ID:0\\."
kill "$watch_pid" 2>/dev/null || true
wait "$watch_pid" 2>/dev/null || true
[ "$(wc -l <"$work/watch.txt")" = 1 ] &&
  LC_ALL=C grep -qP '^TIME: \w{3} \w{3} \d{2} \d{2}:\d{2}:\d{2} \d{4} MESSAGE: Drive timeout encountered on unit 1 on controller ID:0\.\r$' \
    "$work/watch.txt" || fail "kivo-watch.exe printed: $(od -c "$work/watch.txt" | head)"
echo "event line: $(tr -d '\r' <"$work/watch.txt")"

echo "--- the alarms page of zelka-emulator.exe"
wine "$win/emulator/zelka-emulator.exe" ctl aen 1 2 0 >/dev/null
port=$(grep -o '127\.0\.0\.1:[0-9]*' "$work/emulator.err" | head -1 | cut -d: -f2)
[ -n "$port" ] || fail "no alarms page: $(cat "$work/emulator.err")"
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'GET /alarms.html HTTP/1.0\r\n\r\n' >&3
page=$(cat <&3)
exec 3<&-
grep -q '^HTTP/1.0 200' <<<"$page" && grep -q 'Disk Array Unit 0 on controller ID:1 is degraded' <<<"$page" ||
  fail "the alarms page lacks the queued event: $(head -c 300 <<<"$page")"
echo "alarms page: the queued event is listed"
stop_windows_emulator

bash scripts/windows-server-test.sh "$win" "$work"

echo "windows stage: $(($(date +%s) - start)) s"
