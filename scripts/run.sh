#!/usr/bin/env bash
# The run command of the README: installs and builds what is needed, starts the
# emulator on its built-in default world and shows the utility on it ("-max").
# On a machine without a display it runs the demonstration under Xvfb: prints
# the disk information report, fails a drive, waits for the alert window,
# saves screenshots of the main and alert windows and ends everything.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what builds and runs the programs; scripts/test.sh adds the test tools.
bash scripts/install-deps.sh run
source scripts/stage-waits.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
build=${KIVO_BUILD_DIR:-build}
# An existing build is reused as it stands (ninja reruns CMake itself when a
# CMakeLists.txt changed); it is configured anew only when there is none or
# KIVO_BUILD_TYPE asks for another build type.
if [ -f "$build/build.ninja" ] && { [ -z "${KIVO_BUILD_TYPE:-}" ] ||
  grep -qx "CMAKE_BUILD_TYPE:STRING=$KIVO_BUILD_TYPE" "$build/CMakeCache.txt"; }; then
  echo "Reusing the build in $build"
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${KIVO_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target zelka-emulator kivo kivo-command kivo-install kivo-report

bin=$(cd "$build" && pwd)
emulator=$bin/emulator/zelka-emulator
kivo=$bin/src/app/kivo
command=$bin/src/app/kivo-command

# Everything of the demonstration lives apart from the user's own settings:
# sockets in a private runtime directory, the registry and the files the
# utility writes ("data.txt", "emaillog.txt") under build/demo. The editor
# that "&Snapshot" starts is $KIVO_EDITOR (no-op under Xvfb).
demo=$bin/demo
mkdir -p "$demo/registry"
runtime=$(mktemp -d /tmp/kivo-demo.XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
export KIVO_REGISTRY_DIR=$demo/registry
export KIVO_DEVICE_DIR=$runtime/zelka
export KIVO_RPC_DIR=$runtime/kivo/ncalrpc
"$bin/src/app/cli/kivo-install" >/dev/null

pids=()
kivo_pid=""
cleanup() {
  set +e
  if [ -n "$kivo_pid" ] && kill -0 "$kivo_pid" 2>/dev/null; then
    "$command" 32771 2>/dev/null  # File > Exit, as the menu gives it
    poll 5000 ended "$kivo_pid"
    kill "$kivo_pid" 2>/dev/null
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits (at most $2 seconds) for a line in a log file.
wait_for_line() {
  poll $(($2 * 1000)) file_has "$1" "$3" && return 0
  echo "run.sh: no line '$3' in $1 within $2 s; it ends: $seen" >&2
  return 1
}

start_emulator() {
  "$emulator" 2>"$demo/emulator.log" &
  pids+=($!)
  wait_for_line "$demo/emulator.log" 20 "zelka-emulator: ready"
  grep "alarms page" "$demo/emulator.log" || true
}

if [ -n "${DISPLAY:-}" ]; then
  start_emulator
  echo "Showing the utility on $DISPLAY. Try, from another terminal (same environment):"
  echo "  XDG_RUNTIME_DIR=$runtime $emulator ctl fail-drive 0 1     # a drive fails"
  echo "  XDG_RUNTIME_DIR=$runtime $command 32778                    # e-mail setup"
  echo "The monitor's waits are shortened 10 times (KIVO_TIME_SCALE=10). End it with File > Exit."
  started=$(date +%s)
  (cd "$demo" && KIVO_TIME_SCALE=10 exec "$kivo" -max) &
  kivo_pid=$!
  wait "$kivo_pid" || true
  if [ $(($(date +%s) - started)) -lt 3 ] && [ ! -s "$demo/data.txt" ]; then
    echo "The utility ended at once: one is already running on this display (one per user and display)."
  fi
  exit 0
fi

echo "No display (\$DISPLAY is not set): running the demonstration under Xvfb."
display=""
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "run.sh: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp -noreset >"$demo/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
display_up() { xdpyinfo >/dev/null 2>&1; }
poll 10000 display_up || { echo "run.sh: Xvfb did not answer on $display within 10 s: $(cat "$demo/xvfb.log")" >&2; exit 1; }
# A desktop session as a user has it: a window manager, which frames the
# windows (the screenshots show them with their title bars), and a tray.
openbox >"$demo/openbox.log" 2>&1 &
pids+=($!)
manager_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
# Without a window manager the demonstration still runs, only unframed.
poll 10000 manager_up || echo "run.sh: openbox did not start within 10 s; the windows are shown without frames"
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)

start_emulator

echo
echo "=== Disk information report (kivo-report) ==="
"$bin/src/app/cli/kivo-report" | tee "$demo/report-before.txt" || echo "(kivo-report is not available)"

echo
echo "=== The utility (kivo -max) ==="
(cd "$demo" && KIVO_EDITOR=true KIVO_TIME_SCALE=30 exec "$kivo" -max) >"$demo/kivo.log" 2>&1 &
kivo_pid=$!
main_window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kivo Disk Management Utility$' | head -n 1)
sleep 1
# The screenshots go beside the demonstration's other files; the README's
# pictures in docs/ are taken with KIVO_SCREENSHOT_DIR=docs.
shots=$(mkdir -p "${KIVO_SCREENSHOT_DIR:-$demo}" && cd "${KIVO_SCREENSHOT_DIR:-$demo}" && pwd)
import -frame -window "$main_window" "$shots/main-window.png"
echo "main window: $shots/main-window.png"

echo
echo "=== A drive fails: zelka-emulator ctl fail-drive 0 1 ==="
"$emulator" ctl fail-drive 0 1
alert_window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Kivo - Event Notification Message$' | head -n 1)
sleep 1
import -frame -window "$alert_window" "$shots/alert-window.png"
echo "alert window: $shots/alert-window.png"
echo
echo "=== What the report says now (File > Snapshot writes it to data.txt) ==="
# The snapshot of an earlier run must not stand in for this one's.
rm -f "$demo/data.txt"
"$command" 32776
snapshot_written() { [ -s "$demo/data.txt" ]; }
poll 5000 snapshot_written || echo "run.sh: no data.txt within 5 s"
# The lines of the controllers that changed since the report above (not the
# time of gathering, nor the event text that ends the snapshot).
diff <(tr -d '\r' <"$demo/report-before.txt") <(tr -d '\r' <"$demo/data.txt" 2>/dev/null | sed '/^TIME: /,$d') |
  sed -n -e '/gathered at /d' -e 's/^< /  before: /p' -e 's/^> /  now:    /p' || true
echo
echo "Ending: File > Exit (command 32771), then the emulator and the display."
