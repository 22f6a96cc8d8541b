#!/usr/bin/env bash
# The Windows desktop shell under Wine with a display: the shell's own tests
# (template sizes, menus, alert window, clipboard, socket notifications), the
# programs' version records and manifests, then the setup program (a target of
# the build) end to end in a fresh prefix: as a throwaway unprivileged user
# (Wine lets root write anywhere), the utility in its read-only installation
# folder writing to the per-user folder; an upgrade over an earlier version
# (one Add/Remove Programs entry, settings kept), the installed utility on the
# emulator's default world with "-max", the tray icon under a tray host, a
# second start ending at the instance check, the About box, the unit list
# without a horizontal scroll bar, Snapshot in the Windows folder's editor, an
# e-mail test against an SMTP server on loopback, an injected drive failure
# opening the alert window, Exit with a dialog or box open, a second start
# with "-max" bringing up a hidden instance's window, and a silent uninstall
# that keeps the settings.
#
#   scripts/windows-shell-test.sh [BUILD_DIR] [--screenshots DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/stage-waits.sh
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
cmake --build "$build" -j"$(nproc)" --target kivo kivo-report kivo-watch kivo_win32ui_tests kivo-shell-driver \
  kivo-setup
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
plain_user=""
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  if [ -d "$work/plain/prefix" ]; then
    ${plain_user:+runuser -u "$plain_user" --} env WINEPREFIX="$work/plain/prefix" wineserver -k 2>/dev/null || true
  fi
  [ -z "$plain_user" ] || userdel "$plain_user" 2>/dev/null || true
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

stage_start=$(now_ms)
fail() { echo "windows-shell-test: FAILED: $*" >&2; exit 1; }
ok() { echo "windows-shell-test: ok: $*"; }
# A step that fails on its own (set -e) says which and how.
set -E
trap 'failed=$?; echo "windows-shell-test: FAILED: line $LINENO: \"$BASH_COMMAND\" ended with status $failed" >&2' ERR

# A display of our own, a window manager (Wine waits for it when hiding a
# window) and a tray host.
# KIVO_TEST_DISPLAY picks the display number; else the X server takes a free one.
if [ -n "${KIVO_TEST_DISPLAY:-}" ]; then
  Xvfb ":$KIVO_TEST_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$KIVO_TEST_DISPLAY"
else
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  poll 30000 test -s "$work/display" || fail "Xvfb named no display within 30 s: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
fi
poll 30000 xdpyinfo >/dev/null 2>&1 || fail "display $DISPLAY not up within 30 s: $(cat "$work/xvfb.log")"
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
# The windows shown, for a failure message.
shown() { printf 'shown:\n%s' "$(driver windows 2>&1)"; }
# Conditions on the windows: each keeps what it saw in $seen.
count_is() {  # count_is TITLE N: N windows (shown or not) have the title
  seen="$(driver count "$1" 2>&1) windows titled \"$1\""
  [ "${seen%% *}" = "$2" ]
}
text_has() {  # text_has TITLE ID PATTERN: the control's text matches PATTERN
  seen=$(driver text "$1" "$2" 2>&1) || true
  grep -qE -- "$3" <<<"$seen"
}
shot() {  # shot NAME TITLE: the window with its frame, when screenshots are asked for
  [ -n "$shots" ] || return 0
  mkdir -p "$shots"
  local id
  id=$(xdotool search --onlyvisible --name "^$2\$" | tail -n1)
  import -frame -window "$id" "$shots/$1.png"
}
gone_within() {  # gone_within MS PID: the process ends within MS milliseconds
  local start
  start=$(now_ms)
  poll "$1" ended "$2" || return 1
  echo "the utility ended $(($(now_ms) - start)) ms after Exit"
}
panel_width() {
  width=$(xwininfo -root -tree 2>/dev/null |
    awk '/"panel": \("panel" "trayer"\)/ && !done { split($5, s, "x"); print s[1]; done = 1 }')
  [ -n "$width" ]
}
tray_width() {
  # The tray host's panel grows by one icon's width per icon. A window that
  # goes while xwininfo walks the tree fails the walk: walk again (2 s).
  local width=""
  poll 2000 panel_width || true
  echo "${width:-0}"
}
tray_wider() {  # the tray host holds more icons than before the utility started
  local width
  width=$(tray_width)
  seen="the tray host is $width pixels wide, ${tray_before:-0} before the utility"
  [ "$width" -gt "${tray_before:-0}" ]
}
tray_back() {  # ... and as many as before
  local width
  width=$(tray_width)
  seen="the tray host is $width pixels wide, ${tray_before:-0} before the utility"
  [ "$width" -le "${tray_before:-0}" ]
}

echo "=== the shell's tests ==="
(cd "$work" && wine "$build/tests/win32ui/kivo_win32ui_tests.exe")

echo "=== a current folder the user cannot write ==="
# Wine refuses a write as Windows refuses a standard user only where Unix
# does: as root (CI) this runs as a throwaway user with its own prefix. The
# installed utility starts in its installation folder, as the Start menu
# starts it, with that folder read-only: Snapshot writes to the per-user
# folder.
t=$(now_ms)
mkdir -p "$work/plain"
chmod 755 "$work"
run_plain=()
if [ "$(id -u)" = 0 ]; then
  plain_user="kivo-plain-$$"
  useradd --system --no-create-home --home-dir "$work/plain" --shell /usr/sbin/nologin "$plain_user"
  run_plain=(runuser -u "$plain_user" --)
fi
plain_wine() {
  "${run_plain[@]}" env HOME="$work/plain" WINEPREFIX="$work/plain/prefix" WINEDEBUG=-all DISPLAY="$DISPLAY" \
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES" KIVO_DEVICE_PIPE="$KIVO_DEVICE_PIPE" "$@"
}
plain_driver() { plain_wine wine "$work/plain/kivo-shell-driver.exe" "$@" | tr -d '\r'; }
cp "$build/installer/kivo-setup.exe" "$build/tests/win32ui/kivo-shell-driver.exe" "$work/plain/"
[ -z "$plain_user" ] || chown -R "$plain_user:" "$work/plain"
plain_wine wine "$work/plain/kivo-setup.exe" /S
plain_installed="$work/plain/prefix/drive_c/Program Files/Zelka/Kivo"
chmod -R a-w "$plain_installed"
(cd "$plain_installed" && plain_wine wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max) &
utility=$!
pids+=($!)
plain_driver wait "Kivo Disk Management Utility" shown 30000 || fail "the utility did not start as a plain user"
plain_driver command 32776
plain_driver wait "data.txt - Notepad" shown 20000 || fail "no editor on the snapshot as a plain user"
plain_driver close "data.txt - Notepad" || fail "could not close the editor as a plain user"
per_user="$work/plain/prefix/drive_c/users/${plain_user:-$(id -un)}/AppData/Local/Zelka/Kivo"
[ -s "$per_user/data.txt" ] || fail "no data.txt in the per-user folder: $(ls -R "$work/plain/prefix/drive_c/users")"
[ ! -e "$plain_installed/data.txt" ] || fail "data.txt in the read-only installation folder: $(ls -l "$plain_installed")"
plain_driver command 32771
gone_within 2000 "$utility" || fail "Exit as a plain user did not end the utility within 2 s: $(plain_driver windows)"
echo "read-only current folder as a plain user: $(($(now_ms) - t)) ms"
ok "in a read-only installation folder as a plain user the utility's files go to %LOCALAPPDATA%\\Zelka\\Kivo"

echo "=== version records and manifests ==="
version=$(sed -n 's/^project(kivo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$build/installer/kivo-setup.exe"
windows_path() {  # windows_path FILE: the file's Windows path in $path; an empty answer fails the stage
  path=$(winepath -w "$1") && [ -n "$path" ] ||
    fail "$(basename "$1"): winepath -w gave '$path' (its standard error is above)"
}
check_program() {  # check_program FILE: VERSIONINFO and manifest as Windows reads them
  local file=$1 name path info manifest
  name=$(basename "$file")
  windows_path "$file"
  info=$(driver version "$path" 2>&1) || fail "$name: no version record: $info"
  for line in "FileVersion $version" "ProductVersion $version" "ProductName: Kivo Disk Management Utility" \
    "CompanyName: Zelka Storage Systems" "OriginalFilename: $name" "FileDescription: ."; do
    grep -q "^$line" <<<"$info" || fail "$name: version record lacks \"$line\": $info"
  done
  manifest=$(driver manifest "$path") || fail "$name: no embedded manifest (type 24): $manifest"
  python3 - "$name" "$manifest" <<'PY' || fail "$name: manifest: $manifest"
import sys, xml.etree.ElementTree as ET
name, root = sys.argv[1], ET.fromstring(sys.argv[2].encode())
ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
      "c": "urn:schemas-microsoft-com:compatibility.v1", "w": "http://schemas.microsoft.com/SMI/2005/WindowsSettings"}
def need(condition, what):
    if not condition: sys.exit(f"{name}: manifest: {what}")
if name == "kivo-setup.exe":
    need(root.find(".//v3:requestedExecutionLevel[@level='requireAdministrator']", ns) is not None, "not for administrators")
    sys.exit(0)
need(root.find(".//v3:requestedExecutionLevel[@level='asInvoker']", ns) is not None, "no asInvoker")
systems = {e.get("Id") for e in root.findall(".//c:supportedOS", ns)}
need(systems >= {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                 "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}, f"supportedOS Vista..10/11: {systems}")
dpi = root.find(".//w:dpiAware", ns)
need((dpi is not None and dpi.text == "true") == (name == "kivo.exe"), "DPI awareness")
PY
}
programs=("$build/src/win32ui/kivo.exe" "$build/src/app/cli/kivo-report.exe" "$build/src/app/cli/kivo-watch.exe")
[ -z "$emulator" ] || programs+=("$build/emulator/zelka-emulator.exe")
for program in "${programs[@]}"; do check_program "$program"; done
windows_path "$setup"
seen=$(driver manifest "$path" 2>&1) || true
grep -q requireAdministrator <<<"$seen" || fail "setup does not ask for an administrator: $seen"
seen=$(driver version "$path" 2>&1) || true
grep -q "^ProductVersion $version" <<<"$seen" || fail "setup's version record lacks ProductVersion $version: $seen"
ok "version $version and manifests (asInvoker, Vista to 10/11, DPI-aware kivo.exe) in ${#programs[@]} programs and setup"
# Wine answers a program without the supportedOS entries as Windows 8 does.
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null
host=$(wine "$build/src/app/cli/kivo-report.exe" 2>&1 | tr -d '\r' | sed -n 3p || true)
grep -q '^Microsoft Windows NT .* 10\.0 (Build ' <<<"$host" || fail "report's host line on Windows 10: $host"
ok "report's host line on Windows 10: $host"

echo "=== setup program ==="
t=$(now_ms)
# An earlier version first: the upgrade keeps its settings and its one entry.
makensis -V1 -DKIVO_BIN_DIR="$build/src/win32ui" -DKIVO_TOOLS_DIR="$build/src/app/cli" \
  -DKIVO_HELP_DIR="$root/help" -DKIVO_VERSION=3.1.0.6 -DKIVO_OUTFILE="$work/kivo-setup-old.exe" \
  "$root/installer/kivo-setup.nsi"
echo "makensis (earlier version): $(($(now_ms) - t)) ms"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo'
wine "$work/kivo-setup-old.exe" /S
reg_has "$uninstall_key" DisplayVersion 3.1.0.6 || fail "earlier version not registered: $seen"
# A value the user set before must survive the installation.
wine reg add 'HKU\.DEFAULT\Software\Zelka\kivo\Email' /v Host /d mail.example /f >"$work/reg.out" 2>&1 ||
  fail "could not set a value before the installation: $(cat "$work/reg.out")"
t=$(now_ms)
wine "$setup" /S
echo "silent install over the earlier version: $(($(now_ms) - t)) ms"
reg_has 'HKU\.DEFAULT\Software\Zelka\kivo\Email' Host mail.example || fail "setup overwrote an existing value: $seen"
entries=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
  grep 'DisplayName.*Kivo Disk Management Utility' || true)
[ "$(grep -c . <<<"$entries")" = 1 ] || fail "not one Add/Remove Programs entry after the upgrade: $entries"
arp=$(wine reg query "$uninstall_key" | tr -d '\r')
for value in "DisplayName REG_SZ Kivo Disk Management Utility" "DisplayVersion REG_SZ $version" \
  "Publisher REG_SZ Zelka Storage Systems" "DisplayIcon REG_SZ C:\\Program Files\\Zelka\\Kivo\\kivo.exe" \
  "InstallLocation REG_SZ C:\\Program Files\\Zelka\\Kivo" \
  "UninstallString REG_SZ \"C:\\Program Files\\Zelka\\Kivo\\uninstall.exe\"" \
  "QuietUninstallString REG_SZ \"C:\\Program Files\\Zelka\\Kivo\\uninstall.exe\" /S" \
  "EstimatedSize REG_DWORD 0x" "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1"; do
  awk '{ $1 = $1; print }' <<<"$arp" | grep -qF "$value" || fail "Add/Remove Programs entry lacks \"$value\": $arp"
done
ok "upgrade from 3.1.0.6: one Add/Remove Programs entry ($version), settings kept"
installed="$WINEPREFIX/drive_c/Program Files/Zelka/Kivo"
for f in kivo.exe kivo-report.exe kivo-command.exe uninstall.exe help/index.html help/main-window.html; do
  [ -f "$installed/$f" ] || fail "setup did not install $f: $(cd "$installed" 2>&1 && find . | sort)"
done
reg_has 'HKU\.DEFAULT\Software\Zelka\kivo\HTTP' Port '0x438' || fail "HTTP Port not seeded: $seen"
reg_has 'HKU\.DEFAULT\Software\Zelka\kivo\Email' SendEmail REG_DWORD || fail "Email not seeded: $seen"
reg_has 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Kivo 'kivo\.exe' || fail "no logon start: $seen"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kivo"
[ -f "$menu/Kivo Disk Management Utility.lnk" ] || fail "no Start-menu entry: $(ls -R "$menu" 2>&1)"
ok "silent install: programs, help, settings keys, Run key, Start menu"

echo "=== the installed utility on the emulator's default world ==="
if [ -n "$emulator" ]; then
  # The alarms page on a port of the system's choosing: 1080 may be taken.
  wine "$build/emulator/zelka-emulator.exe" --http-port 0 >"$work/emulator.log" 2>&1 &
  emulator_pid=$!
  pids+=($!)
  poll 30000 file_has "$work/emulator.log" ready || fail "emulator not ready within 30 s: $seen"
  first_entry='Controller SCSI ID:0'
else
  echo "windows-shell-test: no emulator in this build: the world checks are skipped"
  first_entry='No Zelka Controller present'
fi
mkdir -p "$work/run"
tray_before=$(tray_width)
# The shell's notification-area code says when it is handed a record size
# that this system's layout does not have.
(cd "$work/run" && WINEDEBUG=-all,warn+systray wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max \
  2>"$work/systray.log") &
utility=$!
pids+=($!)
driver wait "$main" shown 30000 || fail "main window not shown"
text_has "$main" 1023 "^$first_entry" || fail "controller box: $seen"
seen=$(driver size "$main" 2>&1) || true
grep -q '^597x386' <<<"$seen" || fail "main window client size $seen (398x257 units)"
ok "main window shown with -max, 597x386 pixels"
shot win32-main "$main"
if [ -n "$emulator" ]; then
  # Controller 1 fills the unit list: its columns fit inside the frame and the
  # vertical scroll bar, so no horizontal bar hides the last row.
  driver select "$main" 1023 1
  poll 10000 text_has "$main" 1023 "ID:1" || fail "controller 1 not selected within 10 s: $seen"
  seen=$(driver hscroll "$main" 1011 2>&1) || true
  [ "$seen" = 0 ] || fail "horizontal scroll bar in the unit list of controller 1: $seen"
  driver select "$main" 1023 0
  ok "unit list of controller 1 without a horizontal scroll bar"
fi

# Snapshot: the editor is the Windows folder's, not one planted in the
# current folder (which a bare "notepad" would find first).
cp "$build/tests/win32ui/kivo-shell-driver.exe" "$work/run/notepad.exe"
driver command 32776
driver wait "data.txt - Notepad" shown 20000 || fail "the snapshot's editor did not open"
[ ! -e "$work/run/planted.txt" ] || fail "the planted notepad.exe in the current folder was started"
grep -q "Controller" "$work/run/data.txt" ||
  fail "data.txt not written in the current folder: $(ls -l "$work/run"; head -c 500 "$work/run/data.txt" 2>&1)"
driver close "data.txt - Notepad"
rm "$work/run/notepad.exe"
ok "Snapshot wrote data.txt in the current folder and opened the Windows folder's editor"

poll 20000 tray_wider || fail "no icon in the tray host within 20 s: $seen"
! grep -m1 "cbSize" "$work/systray.log" || fail "the tray icon's record has a size this system does not know"
ok "tray icon in the tray host, its record of this system's first layout"

start=$(date +%s%N)
status=0
timeout 30 wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max || status=$?
[ "$status" = 0 ] || fail "second start did not end cleanly: status $status (124: still running after 30 s)"
echo "second start ended after $((($(date +%s%N) - start) / 1000000)) ms"
count_is "$main" 1 || fail "second start made a window: $seen"
ok "second start ends at the instance check"

driver command 32773
poll 10000 count_is "$main" 2 || fail "About box not shown within 10 s: $seen; $(shown)"
shot win32-about "$main"
driver click "$main" 1
poll 10000 count_is "$main" 1 || fail "OK did not close the About box within 10 s: $seen; $(shown)"
# The system menu's "&About Kivo..." (WM_SYSCOMMAND 16) opens the same box.
driver post 0x0112 16 0
poll 10000 count_is "$main" 2 || fail "system menu's About item did not open the box within 10 s: $seen; $(shown)"
driver click "$main" 1
ok "About box from Help and from the system menu"

# View > "&Audio Off" (32785) stores the setting; a second time clears it.
audio_off_is() { reg_look 'HKU\.DEFAULT\Software\Zelka\kivo\Audio' AudioOff "AudioOff +REG_DWORD +$1\$"; }
driver command 32785
poll 10000 audio_off_is 0x1 || fail "Audio Off not stored within 10 s: $seen"
driver command 32785
poll 10000 audio_off_is 0x0 || fail "Audio Off not cleared within 10 s: $seen"
ok "Audio Off stored and cleared"

# File > "&Copy to Clipboard" (32780): the report as plain text.
clipboard_has() { seen=$(driver clipboard 2>&1) || true; grep -q "$1" <<<"$seen"; }
driver command 32780
poll 10000 clipboard_has "Controller" || fail "no report on the clipboard within 10 s: $(head -c 500 <<<"$seen")"
ok "report copied to the clipboard ($(wc -l <<<"$seen") lines)"

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
poll 30000 file_has "$work/smtp.ready" . || fail "the loopback mail server did not start within 30 s"
if grep -q listening "$work/smtp.ready"; then
  driver command 32778
  driver wait "Email Setup" shown 10000 || fail "e-mail setup not shown"
  driver set "Email Setup" 1013 127.0.0.1
  driver set "Email Setup" 1014 ops@example.com
  driver set "Email Setup" 1015 kivo@example.com
  driver set "Email Setup" 1024 "Kivo Test"
  shot win32-email-setup "Email Setup"
  driver click "Email Setup" 1
  # OK stores the settings, then asks whether to send a test message.
  driver wait "$boxes" shown 10000 || fail "test question not asked"
  text_has "$boxes" 65535 "It is wise to test your email connectability" || fail "a box instead of the test question: $seen"
  # The settings are stored before the question is asked: all four are in
  # the registry while it shows.
  for value in "Host 127\.0\.0\.1" "ToID ops@example\.com" "FromID kivo@example\.com" "FromName Kivo Test"; do
    reg_has 'HKU\.DEFAULT\Software\Zelka\kivo\Email' "${value%% *}" "^ +${value%% *} +REG_SZ +${value#* }\$" ||
      fail "settings not stored before the test question: $seen"
  done
  driver click "$boxes" 6
  poll 30000 text_has "$boxes" 65535 "Email test successful\\." ||
    fail "no success box within 30 s: $seen; $(shown); emaillog.txt: $(cat "$work/run/emaillog.txt" 2>&1)"
  driver click "$boxes" 1
  # The dialogue goes on after the box: the refusal of the sender ends it.
  poll 30000 file_has "$work/run/emaillog.txt" "Invalid Sender ID" ||
    fail "no refusal line in emaillog.txt within 30 s: $seen; the server saw: $(cat "$work/smtp.log")"
  grep -q "MAIL FROM" "$work/smtp.log" || fail "the server saw no dialogue: $(cat "$work/smtp.log")"
  ok "e-mail test reached the server; emaillog.txt: $(head -n1 "$work/run/emaillog.txt" | tr -d '\r')"
else
  echo "windows-shell-test: e-mail test skipped: loopback port 25 $(cat "$work/smtp.ready" 2>/dev/null)"
fi

if [ -n "$emulator" ]; then
  echo "=== a drive fails ==="
  wine "$build/emulator/zelka-emulator.exe" ctl fail-drive 0 1
  driver wait "$alert" shown 30000 || fail "alert window not shown"
  text_has "$alert" 1013 "is degraded" || fail "alert text: $seen"
  shot win32-alert "$alert"
  driver click "$alert" 1
  driver wait "$alert" gone 10000 || fail "OK did not hide the alert window"
  ok "injected drive failure shown in the alert window"
fi

# Exit ends the process also while a dialog runs its own loop.
driver command 32773
poll 10000 count_is "$main" 2 || fail "About box not shown within 10 s: $seen; $(shown)"
driver command 32771
gone_within 2000 "$utility" || fail "Exit with the About box open did not end the utility within 2 s: $(shown)"
poll 20000 tray_back || fail "tray icon left behind after Exit: $seen"
ok "Exit with the About box open removes the tray icon and ends the utility within 2 s"

# Without "-max" the utility lives in the tray: its window exists but hides
# itself as soon as it has initialised.
start_hidden() {
  (cd "$work/run" && wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe") &
  utility=$!
  pids+=($!)
  poll 30000 tray_wider || fail "no tray icon within 30 s when started without -max: $seen"
  driver wait "$main" gone 10000 || fail "the window did not hide itself without -max"
  count_is "$main" 1 || fail "no hidden main window without -max: $seen"
}
start_hidden
ok "without -max the window stays hidden and the tray icon is there"
driver command 32778
driver wait "Email Setup" shown 10000 || fail "e-mail setup not shown"
driver command 32771
gone_within 2000 "$utility" || fail "Exit with E-mail Setup open did not end the utility within 2 s: $(shown)"
ok "Exit with E-mail Setup open ends the utility within 2 s"

# The Start-menu entry ("-max") while the utility sits in the tray: the
# running instance shows its window, raised and active; without "-max" a
# second start ends silently.
start_hidden
status=0
timeout 30 wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" || status=$?
[ "$status" = 0 ] || fail "second start without -max did not end: status $status (124: still running after 30 s)"
! driver wait "$main" shown 1000 2>/dev/null || fail "a second start without -max showed the window: $(shown)"
timeout 30 wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max || status=$?
[ "$status" = 0 ] || fail "second start with -max did not end: status $status (124: still running after 30 s)"
driver wait "$main" shown 10000 || fail "a second start with -max did not show the running instance's window"
active() { seen="the active window is not \"$1\"; $(shown)"; driver active "$1"; }
poll 10000 active "$main" || fail "the shown main window is not the active one within 10 s: $seen"
count_is "$main" 1 || fail "a second start with -max made a window: $seen"
ok "a second start with -max shows the hidden instance's window, active"
# A message box of the utility (an empty field in E-mail Setup).
driver command 32778
driver wait "Email Setup" shown 10000 || fail "e-mail setup not shown"
driver set "Email Setup" 1013 ""
driver click "Email Setup" 1
driver wait "$boxes" shown 10000 || fail "no box for the empty field"
driver command 32771
gone_within 2000 "$utility" || fail "Exit with a message box open did not end the utility within 2 s: $(shown)"
ok "Exit with a message box open ends the utility within 2 s"

echo "=== 150 % (144 DPI) ==="
# The windows grow with their dialog units; no text is cut (the shell's
# template and text tests again, then the installed utility).
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
    /t REG_DWORD /d "$1" /f >/dev/null
}
set_dpi 144
(cd "$work" && wine "$build/tests/win32ui/kivo_win32ui_tests.exe" --gtest_filter='TemplateTest.*:StaticTextFitTest.*') |
  tr -d '\r' | grep -E '^template|DPI|FAILED|PASSED'
(cd "$work/run" && wine "C:\\Program Files\\Zelka\\Kivo\\kivo.exe" -max) &
utility=$!
pids+=($!)
driver wait "$main" shown 30000 || fail "main window not shown at 144 DPI"
size=$(driver size "$main")
[[ "$size" =~ ^[0-9]+x[0-9]+$ ]] && [ "${size%x*}" -ge 836 ] && [ "${size#*x}" -ge 540 ] ||
  fail "main window at 144 DPI: $size (597x386 at 96)"
shot win32-main-144dpi "$main"
driver command 32771
gone_within 2000 "$utility" || fail "Exit at 144 DPI did not end the utility within 2 s: $(shown)"
set_dpi 96
ok "at 144 DPI the main window is $size pixels (597x386 at 96), no text cut"

echo "=== uninstall ==="
[ -z "$emulator" ] || kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator ended before the uninstall"
t=$(now_ms)
# The uninstaller runs a copy of itself and returns at once: wait (bounded)
# until the files and the logon start are gone.
wine "C:\\Program Files\\Zelka\\Kivo\\uninstall.exe" /S
run_key_present() { reg_look 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Kivo 'Kivo'; }
uninstalled() { [ ! -e "$installed" ] && ! run_key_present; }
poll 90000 uninstalled || true
echo "silent uninstall: $(($(now_ms) - t)) ms"
[ ! -e "$installed" ] || fail "files left behind: $(ls -R "$installed")"
[ ! -e "$menu" ] || fail "Start-menu entries left behind: $(ls -R "$menu")"
reg_has 'HKU\.DEFAULT\Software\Zelka\kivo\HTTP' Port '0x438' || fail "settings removed: $seen"
! run_key_present || fail "Run key left behind: $seen"
! seen=$(wine reg query "$uninstall_key" 2>&1) || fail "Add/Remove Programs entry left behind: $seen"
ok "uninstall removed the files and the Add/Remove Programs entry and kept the settings"
if [ -n "$emulator" ]; then
  # The emulator's service side ends the emulator when asked to shut down.
  poll 20000 ended "$emulator_pid" || fail "the uninstaller did not ask the service to shut down: the emulator runs 20 s on: $(tail -c 1000 "$work/emulator.log")"
  ok "the uninstaller asked the service to shut down (kivo.exe -servershutdown)"
fi
echo "windows-shell-test: all passed in $(($(now_ms) - stage_start)) ms (after the build)"
