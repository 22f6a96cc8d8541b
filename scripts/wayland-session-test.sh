#!/usr/bin/env bash
# The utility in two real Wayland sessions (tests/e2e/wayland): headless sway
# with swaybar's StatusNotifierItem tray and mako, and headless GNOME Shell
# 43 without a tray; the tray item and its D-Bus menu, the notifications, the
# alarm and -max reaching the user behind other windows, on other workspaces
# and behind a full-screen program, no Xwayland, kivo-command without
# DISPLAY, and the accessibility tree (AT-SPI). As root (CI) the sessions run
# as a throwaway user, removed afterwards: sway refuses root.
#
#   scripts/wayland-session-test.sh [BUILD_DIR] [--session sway|gnome] [--only WORD...] [--keep]
#
# BUILD_DIR (default build) gets the programs built when they are missing.
# --keep leaves the work folder (logs of every process) for inspection; it is
# also kept when a check fails. KIVO_SESSION_TIME_FACTOR stretches the waits;
# KIVO_SESSION_WAYLAND_DEBUG=1 puts the utility's Wayland requests in its log.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-waits.sh
root=$PWD
build=build
keep=""
pass=()
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=yes; shift ;;
    --session) pass+=(--session "$2"); shift 2 ;;
    --only) shift; pass+=(--only); while [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; do pass+=("$1"); shift; done ;;
    *) build=$1; shift ;;
  esac
done

bash scripts/install-deps.sh session
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target kivo kivo-command kivo-install zelka-emulator >/dev/null

start=$(date +%s)
work=$(mktemp -d /tmp/kivo-wayland.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/bin" "$work/tests" "$work/home"
# The programs and the tests where the throwaway user can reach them.
cp "$build/src/app/kivo" "$build/src/app/kivo-command" "$build/src/app/cli/kivo-install" \
  "$build/emulator/zelka-emulator" "$work/bin/"
cp tests/e2e/wayland/*.py packaging/desktop/kivo.desktop "$work/tests/"

user=""
as_user=()
cleanup() {
  local status=$?
  if [ -n "$user" ]; then
    # Whatever the sessions left of the throwaway user's processes (a
    # program that a bus started for it), each by its id.
    for pid in $(ps -u "$user" -o pid= 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
    user_gone() { [ -z "$(ps -u "$user" -o pid= 2>/dev/null)" ]; }
    poll 5000 user_gone || true
    for pid in $(ps -u "$user" -o pid= 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    userdel "$user" 2>/dev/null || true
  fi
  if [ -n "$keep" ] || [ "$status" -ne 0 ]; then
    echo "wayland-session-test: logs kept in $work"
  else
    rm -rf "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$(id -u)" = 0 ]; then
  user="kivo-wl-$$"
  useradd --system --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin "$user"
  chown -R "$user:" "$work"
  as_user=(runuser -u "$user" --)
fi

set +e
"${as_user[@]}" env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" \
  KIVO_SESSION_TIME_FACTOR="${KIVO_SESSION_TIME_FACTOR:-1}" \
  KIVO_SESSION_WAYLAND_DEBUG="${KIVO_SESSION_WAYLAND_DEBUG:-}" \
  PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -u "$work/tests/session_test.py" --bin "$work/bin" --work "$work" "${pass[@]}"
status=$?
set -e
echo "wayland-session-test: $(($(date +%s) - start)) s"
exit "$status"
