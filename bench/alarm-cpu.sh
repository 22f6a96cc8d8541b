#!/usr/bin/env bash
# The processor time the utility spends while an alarm runs (the alert
# window's flash, the beep and the blinking tray icon) against its quiet
# cost, on a desktop session under Xvfb with openbox and trayer. Prints CPU
# milliseconds per minute and the share of one core for both.
#   bench/alarm-cpu.sh [build dir] [seconds per measurement]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
display=${KIVO_BENCH_DISPLAY:-:113}

root=$(mktemp -d /tmp/kivo-alarm-bench.XXXXXX)
chmod 700 "$root"
mkdir -p "$root/registry" "$root/cwd"
export XDG_RUNTIME_DIR=$root KIVO_REGISTRY_DIR=$root/registry KIVO_DEVICE_DIR=$root/zelka
export KIVO_RPC_DIR=$root/ncalrpc KIVO_EDITOR=true DISPLAY=$display
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

pids=()
cleanup() {
  set +e
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; wait "${pids[i]}" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp -noreset >"$root/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$root/openbox.log" 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request >/dev/null 2>&1 &
pids+=($!)
"$build/src/app/cli/kivo-install" >/dev/null
"$build/emulator/zelka-emulator" --http-port 0 2>"$root/emulator.log" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$root/emulator.log" && break; sleep 0.1; done
(cd "$root/cwd" && exec "$build/src/app/kivo") >"$root/kivo.log" 2>&1 &
kivo=$!
pids+=($kivo)
timeout 30 xdotool search --sync --name '^Kivo Disk Management Utility$' >/dev/null
sleep 3  # start-up done

# Run time of all threads of the utility, in nanoseconds.
cpu() { cat /proc/"$kivo"/task/*/schedstat | awk '{ sum += $1 } END { printf "%d", sum }'; }
measure() {
  local before after
  before=$(cpu)
  sleep "$seconds"
  after=$(cpu)
  awk -v ns=$((after - before)) -v s="$seconds" -v what="$1" \
    'BEGIN { ms = ns / 1e6 * 60 / s; printf "%-9s %8.1f ms CPU per minute = %.3f %% of one core\n", what, ms, ms / 600 }'
}

measure quiet
"$build/src/app/kivo-command" 201  # View Alarms: the alarm runs until OK
timeout 30 xdotool search --sync --onlyvisible --name '^Kivo - Event Notification Message$' >/dev/null
measure alarming
