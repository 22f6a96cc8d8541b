#!/usr/bin/env bash
# The Windows desktop shell under Wine with a display: the shell's own tests
# (template sizes, menus, alert window, clipboard, socket notifications), then
# the setup program end to end in a fresh prefix: silent install, the
# installed utility on the emulator's default world with "-max", the tray icon
# under a tray host, a second start ending at the instance check, the About
# box, an e-mail test against an SMTP server on loopback, an injected drive
# failure opening the alert window, Exit, and a silent uninstall that keeps
# the settings.
#
#   scripts/windows-shell-test.sh [BUILD_DIR] [--screenshots DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-win
shots=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshots) shots=$(realpath -m "$2"); shift 2 ;;
    *) build=$1; shift ;;
  esac
done

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target kivo kivo-report kivo-watch kivo_win32ui_tests kivo-shell-driver
# The emulator serves the world on named pipes; where this build has none the
# checks that need controllers are skipped.
emulator=yes
cmake --build "$build" -j"$(nproc)" --target zelka-emulator >/dev/null 2>&1 || emulator=""
build=$(realpath "$build")

work=$(mktemp -d /tmp/kivo-winshell.XXXXXX)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No .NET or browser engine: their installers would be fetched (or asked for
# on the display) otherwise.
export WINEDLLOVERRIDES="mscoree,mshtml="
export KIVO_DEVICE_PIPE='\\.\pipe\zelka\' KIVO_TIME_SCALE=100
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }
stage_start=$(now_ms)
fail() { echo "windows-shell-test: FAILED: $*" >&2; exit 1; }
ok() { echo "windows-shell-test: ok: $*"; }

# A display of our own, a window manager (Wine waits for it when hiding a
# window) and a tray host.
# KIVO_TEST_DISPLAY picks the display number; else the X server takes a free one.
if [ -n "${KIVO_TEST_DISPLAY:-}" ]; then
  Xvfb ":$KIVO_TEST_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$KIVO_TEST_DISPLAY"
else
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$work/display")"
fi
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
pids+=($!)

# One server for the whole stage: a server that ends between two programs
# (3 s after its last client) can refuse the next one while it goes.
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1

main="Kivo Disk Management Utility"
boxes="Kivo Disk Managenemt Utility"
alert="Kivo - Event Notification Message"
# The driver's standard output is in text mode: its line ends come as CR LF.
driver() { wine "$build/tests/win32ui/kivo-shell-driver.exe" "$@" | tr -d '\r'; }
shot() {  # shot NAME TITLE: the window with its frame, when screenshots are asked for
  [ -n "$shots" ] || return 0
  mkdir -p "$shots"
  local id
  id=$(xdotool search --onlyvisible --name "^$2\$" | tail -n1)
  import -frame -window "$id" "$shots/$1.png"
}
tray_width() {
  # The tray host's panel grows by one icon's width per icon.
  xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ && !done { split($5, s, "x"); print s[1]; done = 1 }'
}

echo "=== the shell's tests ==="
(cd "$work" && wine "$build/tests/win32ui/kivo_win32ui_tests.exe")

echo "=== setup program ==="
t=$(now_ms)
makensis -V2 -DKIVO_BIN_DIR="$build/src/win32ui" -DKIVO_TOOLS_DIR="$build/src/app/cli" \
  -DKIVO_HELP_DIR="$root/help" -DKIVO_VERSION="$(sed -n 's/^project(kivo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
  -DKIVO_OUTFILE="$work/kivo-setup.exe" installer/kivo-setup.nsi
echo "makensis: $(($(now_ms) - t)) ms"
# A value the user set before must survive the installation.
wine reg add 'HKU\.DEFAULT\Software\Zelka\kivo\Email' /v Host /d mail.example /f >/dev/null ||
  fail "could not set a value before the installation"
t=$(now_ms)
wine "$work/kivo-setup.exe" /S
echo "silent install: $(($(now_ms) - t)) ms"
wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\Email' /v Host | grep -q mail.example ||
  fail "setup overwrote an existing value"
installed="$WINEPREFIX/drive_c/Program Files/Zelka/Kivo"
for f in kivo.exe kivo-report.exe kivo-watch.exe uninstall.exe help/index.html help/main-window.html; do
  [ -f "$installed/$f" ] || fail "setup did not install $f"
done
wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\HTTP' /v Port | grep -q '0x438' || fail "HTTP Port not seeded"
wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\Email' /v SendEmail | grep -q REG_DWORD || fail "Email not seeded"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Kivo | grep -q 'kivo.exe' ||
  fail "no logon start"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kivo"
[ -f "$menu/Kivo Disk Management Utility.lnk" ] || fail "no Start-menu entry"
ok "silent install: programs, help, settings keys, Run key, Start menu"

echo "=== the installed utility on the emulator's default world ==="
if [ -n "$emulator" ]; then
  # The alarms page on a port of the system's choosing: 1080 may be taken.
  wine "$build/emulator/zelka-emulator.exe" --http-port 0 >"$work/emulator.log" 2>&1 &
  emulator_pid=$!
  pids+=($!)
  for _ in $(seq 200); do grep -q ready "$work/emulator.log" 2>/dev/null && break; sleep 0.05; done
  grep -q ready "$work/emulator.log" || fail "emulator did not start"
  first_entry='Controller SCSI ID:0'
else
  echo "windows-shell-test: no emulator in this build: the world checks are skipped"
  first_entry='No Zelka Controller present'
fi
mkdir -p "$work/run"
tray_before=$(tray_width)
(cd "$work/run" && wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max) &
pids+=($!)
driver wait "$main" shown 30000 || fail "main window not shown"
driver text "$main" 1023 | grep -q "^$first_entry" || fail "controller box: $(driver text "$main" 1023)"
driver size "$main" | grep -q '^597x386' || fail "main window client size $(driver size "$main") (398x257 units)"
ok "main window shown with -max, 597x386 pixels"
shot win32-main "$main"

for _ in $(seq 100); do [ "$(tray_width)" -gt "${tray_before:-0}" ] && break; sleep 0.05; done
[ "$(tray_width)" -gt "${tray_before:-0}" ] || fail "no icon in the tray host"
ok "tray icon in the tray host"

start=$(date +%s%N)
timeout 30 wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max || fail "second start did not end cleanly"
echo "second start ended after $((($(date +%s%N) - start) / 1000000)) ms"
[ "$(driver count "$main")" = 1 ] || fail "second start made a window"
ok "second start ends at the instance check"

driver command 32773
for _ in $(seq 100); do [ "$(driver count "$main")" = 2 ] && break; sleep 0.05; done
[ "$(driver count "$main")" = 2 ] || fail "About box not shown"
shot win32-about "$main"
driver click "$main" 1
for _ in $(seq 100); do [ "$(driver count "$main")" = 1 ] && break; sleep 0.05; done
# The system menu's "&About Kivo..." (WM_SYSCOMMAND 16) opens the same box.
driver post 0x0112 16 0
for _ in $(seq 100); do [ "$(driver count "$main")" = 2 ] && break; sleep 0.05; done
[ "$(driver count "$main")" = 2 ] || fail "system menu's About item did not open the box"
driver click "$main" 1
ok "About box from Help and from the system menu"

# View > "&Audio Off" (32785) stores the setting; a second time clears it.
audio_off() { wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\Audio' /v AudioOff 2>/dev/null | tr -d '\r' |
  awk '/AudioOff/ { print $3 }'; }
driver command 32785
for _ in $(seq 100); do [ "$(audio_off)" = 0x1 ] && break; sleep 0.05; done
[ "$(audio_off)" = 0x1 ] || fail "Audio Off not stored: $(audio_off)"
driver command 32785
for _ in $(seq 100); do [ "$(audio_off)" = 0x0 ] && break; sleep 0.05; done
[ "$(audio_off)" = 0x0 ] || fail "Audio Off not cleared: $(audio_off)"
ok "Audio Off stored and cleared"

# File > "&Copy to Clipboard" (32780): the report as plain text.
driver command 32780
for _ in $(seq 100); do driver clipboard 2>/dev/null | grep -q "Controller" && break; sleep 0.05; done
driver clipboard | grep -q "Controller" || fail "no report on the clipboard"
ok "report copied to the clipboard ($(driver clipboard | wc -l) lines)"

# The tray menu's "&View Alarms" (201): the alert window without a new line.
driver command 201
driver wait "$alert" shown 10000 || fail "View Alarms did not show the alert window"
driver click "$alert" 1
driver wait "$alert" gone 10000 || fail "OK did not hide the alert window"
ok "View Alarms shows and OK hides the alert window"
# A double click on the tray icon (TrayCallback 1025, id 128, WM_LBUTTONDBLCLK).
driver post 1025 128 0x0203
driver wait "$alert" shown 10000 || fail "tray double click did not show the alert window"
driver click "$alert" 1
driver wait "$alert" gone 10000 || fail "OK did not hide the alert window"
ok "tray double click shows the alert window"

echo "=== e-mail test against a server on loopback ==="
# Port 25 is the SMTP port the utility always uses: the server needs root and
# a port that no mail system of the machine holds.
python3 - "$work/smtp.log" "$work/smtp.ready" <<'PY' &
import socket, sys
log = open(sys.argv[1], "w")
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", 25))
except OSError as error:
    open(sys.argv[2], "w").write("unavailable: %s\n" % error); sys.exit(0)
s.listen(1); s.settimeout(60); open(sys.argv[2], "w").write("listening\n")
c, _ = s.accept(); c.settimeout(20); c.sendall(b"220 kivo test server\r\n"); buf = b""
while True:
    data = c.recv(4096)
    if not data: break
    buf += data
    while b"\r\n" in buf:
        line, buf = buf.split(b"\r\n", 1); log.write(line.decode(errors="replace") + "\n"); log.flush()
        verb = line[:4].upper()
        # The sender is refused: the dialogue stands, the refusal goes to the log.
        c.sendall({b"HELO": b"250 hello\r\n", b"EHLO": b"250 hello\r\n", b"MAIL": b"550 sender refused\r\n",
                   b"QUIT": b"221 bye\r\n"}.get(verb, b"503 bad sequence\r\n"))
PY
pids+=($!)
for _ in $(seq 100); do [ -s "$work/smtp.ready" ] && break; sleep 0.05; done
if grep -q listening "$work/smtp.ready" 2>/dev/null; then
  driver command 32778
  driver wait "Email Setup" shown 10000 || fail "e-mail setup not shown"
  driver set "Email Setup" 1013 127.0.0.1
  driver set "Email Setup" 1014 ops@example.com
  driver set "Email Setup" 1015 kivo@example.com
  driver set "Email Setup" 1024 "Kivo Test"
  shot win32-email-setup "Email Setup"
  driver click "Email Setup" 1
  driver wait "$boxes" shown 10000 || fail "test question not asked"
  driver click "$boxes" 6
  for _ in $(seq 200); do driver text "$boxes" 65535 2>/dev/null | grep -q "Email test successful." && break; sleep 0.05; done
  driver text "$boxes" 65535 | grep -q "Email test successful." || fail "no success box"
  driver click "$boxes" 1
  for _ in $(seq 200); do [ -s "$work/run/emaillog.txt" ] && break; sleep 0.05; done
  grep -q "MAIL FROM" "$work/smtp.log" || fail "the server saw no dialogue"
  grep -q "Invalid Sender ID" "$work/run/emaillog.txt" || fail "no refusal line in emaillog.txt"
  wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\Email' /v Host | grep -q 127.0.0.1 || fail "settings not stored"
  ok "e-mail test reached the server; emaillog.txt: $(head -n1 "$work/run/emaillog.txt" | tr -d '\r')"
else
  echo "windows-shell-test: e-mail test skipped: loopback port 25 $(cat "$work/smtp.ready" 2>/dev/null)"
fi

if [ -n "$emulator" ]; then
  echo "=== a drive fails ==="
  wine "$build/emulator/zelka-emulator.exe" ctl fail-drive 0 1
  driver wait "$alert" shown 30000 || fail "alert window not shown"
  driver text "$alert" 1013 | grep -q "is degraded" || fail "alert text: $(driver text "$alert" 1013)"
  shot win32-alert "$alert"
  driver click "$alert" 1
  driver wait "$alert" gone 10000 || fail "OK did not hide the alert window"
  ok "injected drive failure shown in the alert window"
fi

driver command 32771
driver wait "$main" gone 10000 || fail "Exit did not end the utility"
for _ in $(seq 100); do [ "$(tray_width)" -le "${tray_before:-0}" ] && break; sleep 0.05; done
[ "$(tray_width)" -le "${tray_before:-0}" ] || fail "tray icon left behind after Exit"
ok "Exit removes the tray icon and ends the utility"

# Without "-max" the utility lives in the tray: its window exists but hides
# itself as soon as it has initialised.
(cd "$work/run" && wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe") &
pids+=($!)
for _ in $(seq 200); do [ "$(tray_width)" -gt "${tray_before:-0}" ] && break; sleep 0.05; done
[ "$(tray_width)" -gt "${tray_before:-0}" ] || fail "no tray icon when started without -max"
driver wait "$main" gone 10000 || fail "the window did not hide itself without -max"
[ "$(driver count "$main")" = 1 ] || fail "no hidden main window without -max"
driver command 32771
for _ in $(seq 200); do [ "$(driver count "$main")" = 0 ] && break; sleep 0.05; done
[ "$(driver count "$main")" = 0 ] || fail "Exit did not end the hidden utility"
ok "without -max the window stays hidden and the tray icon is there"

echo "=== uninstall ==="
[ -z "$emulator" ] || kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator ended before the uninstall"
t=$(now_ms)
# The uninstaller runs a copy of itself and returns at once: wait (bounded)
# until the files and the logon start are gone.
wine "C:\\Program Files\\Zelka\\Kivo\\uninstall.exe" /S
run_key_present() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Kivo >/dev/null 2>&1; }
for _ in $(seq 150); do
  [ ! -e "$installed" ] && ! run_key_present && break
  sleep 0.2
done
echo "silent uninstall: $(($(now_ms) - t)) ms"
[ ! -e "$installed" ] || fail "files left behind: $(ls -R "$installed")"
[ ! -e "$menu" ] || fail "Start-menu entries left behind"
wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\HTTP' /v Port | grep -q '0x438' || fail "settings removed"
! run_key_present || fail "Run key left behind"
ok "uninstall removed the files and kept the settings"
if [ -n "$emulator" ]; then
  # The emulator's service side ends the emulator when asked to shut down.
  for _ in $(seq 200); do kill -0 "$emulator_pid" 2>/dev/null || break; sleep 0.05; done
  ! kill -0 "$emulator_pid" 2>/dev/null || fail "the uninstaller did not ask the service to shut down"
  ok "the uninstaller asked the service to shut down (kivo.exe -servershutdown)"
fi
echo "windows-shell-test: all passed in $(($(now_ms) - stage_start)) ms (after the build)"
