#!/usr/bin/env bash
# The setup program as a new Windows user and an administrator meet it, under
# Wine with a display, in a fresh prefix:
#   - the console programs' usage speaks Windows (Ctrl+C, the service, /?);
#   - an interactive install with both server components, page by page (each
#     page's title and texts, the licence, the components' descriptions and
#     "Space required"), "Start Kivo now" starting the utility through the
#     desktop shell's token (a stand-in shell: Wine has none);
#   - the settings key's access list read back: Users may set values and
#     create subkeys there, nothing wider changed; the service running, the
#     help pages without Linux, the licence installed;
#   - the Start menu's "Kivo E-mail Setup" opening the dialog of the running
#     utility, and starting the utility first when it does not run; Help
#     Topics opening the contents;
#   - an interactive uninstall: it closes the utility, keeps the settings and
#     says so, shows its steps, and leaves no service, event source, task or
#     folder of its own;
#   - the server components in the states that once left a service registered
#     but not running and a registration behind: a registration the service
#     manager no longer knows, a service being removed while something holds
#     it, a task Windows will not register; windows_exporter's folder made and
#     removed only where it is setup's; silent installs starting nothing
#     without /START; the settings removed when asked.
# Every check that fails prints what it saw; every wait is bounded by time.
#
#   scripts/windows-setup-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-win}

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target kivo-setup kivo-setup-probe kivo-shell-driver kivo-watch kivo-report
build=$(realpath "$build")

work=$(mktemp -d /tmp/kivo-winsetup.XXXXXX)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No .NET or browser engine (their installers would be fetched), and no menu
# entries of the host made from the Start menu's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }
stage_start=$(now_ms)
fail() {
  echo "windows-setup-test: FAILED: $*" >&2
  exit 1
}
ok() { echo "windows-setup-test: ok: $*"; }
# within MS WHAT COMMAND...: COMMAND succeeds within MS milliseconds, asked
# again every 100 ms; else the stage fails with what it last answered.
within() {
  local limit=$1 what=$2 deadline out
  shift 2
  deadline=$(($(now_ms) + limit))
  while ! out=$("$@" 2>&1); do
    [ "$(now_ms)" -lt "$deadline" ] || fail "$what within $limit ms; last seen: $out"
    sleep 0.1
  done
}

# One program's answer is waited for 30 s at most: a wait that hangs fails.
probe() { timeout 30 wine "$build/tests/installer/kivo-setup-probe.exe" "$@" | tr -d '\r'; }
driver() { timeout 30 wine "$build/tests/win32ui/kivo-shell-driver.exe" "$@" | tr -d '\r'; }
# shows TITLE LINE...: the window's controls include every LINE
# ("class|id|checked|text" as the probe prints them).
shows() {
  local title=$1 texts line
  shift
  texts=$(probe texts "$title") || return 1
  for line in "$@"; do
    grep -qxF -- "$line" <<<"$texts" || {
      echo "no \"$line\" in: $texts"
      return 1
    }
  done
}
# has TITLE PATTERN...: the window's texts match every extended PATTERN.
has() {
  local title=$1 texts pattern
  shift
  texts=$(probe texts "$title") || return 1
  for pattern in "$@"; do
    grep -qE -- "$pattern" <<<"$texts" || {
      echo "nothing like \"$pattern\" in: $texts"
      return 1
    }
  done
}
# ended: the setup started in the background ($setup_pid) has ended; else
# what its windows show and what runs of it.
ended() {
  kill -0 "$setup_pid" 2>/dev/null || return 0
  probe texts "$T"
  ps -o pid,stat,etime,args --ppid "$setup_pid" -p "$setup_pid"
  return 1
}

text_of() { probe texts "$1" | awk -F'|' -v id="$2" '$2 == id { sub(/^[^|]*\|[^|]*\|[^|]*\|/, ""); print; exit }'; }
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
service_state() { timeout 20 wine sc query KivoWatch 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'; }
is_running() { [ "$(service_state)" = RUNNING ] || { echo "state: $(service_state)"; return 1; }; }
utility_count() { driver count "Kivo Disk Management Utility"; }
no_utility() { [ "$(utility_count)" = 0 ]; }
one_utility() { [ "$(utility_count)" = 1 ] || { echo "$(utility_count) main windows"; return 1; }; }

# A display of our own and a window manager (activation and focus as on a
# desktop).
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
within 10000 "Xvfb's display" test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
within 10000 "the display answering" xdpyinfo
openbox >/dev/null 2>&1 &
pids+=($!)

echo "=== a fresh prefix ==="
t=$(now_ms)
mkdir -p "$WINEPREFIX"
timeout 300 wineboot -i >/dev/null 2>&1 || fail "wineboot -i: status $?"
# A new session whose first process stays (the services' standard error goes
# there): the prefix is complete, so one service manager starts, in time.
wineserver -k 2>/dev/null || true
wineserver -w
# The server and the desktop live as long as the session: started here, not
# from inside a check whose output is read (they would keep its pipe open,
# and the read would never end).
wineserver -p >/dev/null 2>&1
mkfifo "$work/holder.in"
sleep 100000 >"$work/holder.in" &
pids+=($!)
wine cmd <"$work/holder.in" >/dev/null 2>"$work/session.err" &
pids+=($!)
wine "$build/tests/installer/kivo-setup-probe.exe" rect "the desktop, started" >/dev/null 2>&1 || true
within 30000 "the service manager answering" timeout 20 wine sc query eventlog
echo "prefix: $(($(now_ms) - t)) ms"
version=$(sed -n 's/^project(kivo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$build/installer/kivo-setup.exe"
installed="$WINEPREFIX/drive_c/Program Files/Zelka/Kivo"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kivo"
exporter="$WINEPREFIX/drive_c/Program Files/windows_exporter"
services='HKLM\System\CurrentControlSet\Services'
T="Kivo Disk Management Utility Setup"
U="Kivo Disk Management Utility Uninstall"

echo "=== the console programs' usage on Windows ==="
linux_words='SIG[A-Z]+|signal|KIVO_|XDG_|\$[A-Z_]{3,}|~/|\.config|/usr/|/etc/|/tmp/|systemd|journal|syslog|Linux|display'
usage() {  # usage PROGRAM ARG: the usage on standard output, status 0
  local out status=0
  out=$(wine "$build/src/app/cli/$1" "$2" 2>"$work/usage.err" | tr -d '\r') || status=$?
  [ "$status" = 0 ] || fail "$1 $2: status $status, $(tr -d '\r' <"$work/usage.err")"
  echo "$out"
}
for program in kivo-watch.exe kivo-report.exe; do
  for argument in /? --help; do
    text=$(usage "$program" "$argument")
    grep -q "^usage: .*$program" <<<"$text" || fail "$program $argument printed no usage: $text"
    ! grep -qE "$linux_words" <<<"$text" || fail "$program $argument speaks of Linux: $(grep -E "$linux_words" <<<"$text")"
  done
done
watch_usage=$(usage kivo-watch.exe /?)
for word in Ctrl+C --install-service --start-service --remove-service "--service" "Application log" KivoWatch; do
  grep -qF -- "$word" <<<"$watch_usage" || fail "kivo-watch.exe /? does not name $word: $watch_usage"
done
ok "kivo-watch.exe and kivo-report.exe print their usage for /? and --help: Ctrl+C and the service, no signal or variable"

echo "=== an interactive install with both server components, page by page ==="
# What the access lists above the settings are before setup touches them.
wine reg add 'HKU\.DEFAULT\Software\KivoReference' /f >/dev/null
for key in '.DEFAULT' '.DEFAULT\Software' '.DEFAULT\Software\KivoReference'; do
  probe security HKU "$key" >"$work/before-$(tr '\\' _ <<<"$key")" || fail "reading $key's access list"
done
t=$(now_ms)
wine "$setup" >"$work/setup.out" 2>&1 &
setup_pid=$!
within 30000 "the welcome page" shows "$T" "Static|1201|-1|Welcome to the Kivo Disk Management Utility Setup"
has "$T" "^Static\|1202\|-1\|Setup will install the Kivo Disk Management Utility $version\. It watches the Zelka RAID" \
  "closed during the installation; your settings are kept" "Button\|1\|-1\|&Next >" || fail "welcome page"
probe click "$T" "Next >"
within 10000 "the licence page" shows "$T" "Static|1037|-1|Licence" \
  "Static|1038|-1|The terms under which the Kivo Disk Management Utility is free software."
# The licence: the repository's notice, then the whole GNU GPL version 2;
# "Next", as the GPL asks for no agreement.
has "$T" "^RichEdit20W\|1000\|-1\|Kivo Disk Management Utility  Copyright 2026" \
  "version 2 of the License, or \(at your option\) any later  version \(SPDX: GPL-2.0-or-later\)" \
  "GNU GENERAL PUBLIC LICENSE +Version 2, June 1991" "TERMS AND CONDITIONS FOR COPYING, DISTRIBUTION AND MODIFICATION" \
  "END OF TERMS AND CONDITIONS" "^Button\|1\|-1\|&Next >$" "A copy is installed as LICENSE.txt" || fail "licence page"
probe click "$T" "Next >"
within 10000 "the components page" shows "$T" "Static|1037|-1|Choose Components"
space() { text_of "$T" 1023 | sed -n 's/^Space required: \([0-9.]*\) MB$/\1/p'; }
alone=$(space)
[ -n "$alone" ] || fail "no \"Space required\" in MB: $(probe texts "$T")"
# The keyboard on the service, then the mouse on the metrics task: each
# part says in one line what it does and what it takes.
probe key "$T" SysTreeView32 0x28
within 5000 "the service's description" has "$T" \
  "^Static\|1043\|-1\|The service KivoWatch: writes the controllers' events to the Application log, also while nobody is logged on\. \([0-9]+\.[0-9] MB\)$"
probe key "$T" SysTreeView32 0x20
within 5000 "\"Space required\" growing with the service" eval '[ "$(space)" != "$alone" ]'
with_service=$(space)
probe point "$T" 2
within 5000 "the metrics task's description" has "$T" \
  "^Static\|1043\|-1\|A task that writes the controllers' state every minute for windows_exporter's textfile collector\. \([0-9]+ KB\)$"
probe key "$T" SysTreeView32 0x28
probe key "$T" SysTreeView32 0x20
awk -v a="$alone" -v b="$with_service" 'BEGIN { exit !(b > a + 1) }' || fail "Space required $alone MB, with the service $with_service MB"
ok "components: one line each with its size; Space required $alone MB, $with_service MB with the service"
probe click "$T" "Next >"
within 10000 "the folder page" shows "$T" "Static|1037|-1|Choose Install Location" \
  "Edit|1019|-1|C:\\Program Files\\Zelka\\Kivo" "Button|1|-1|&Install"
has "$T" "Click Install to start the installation\." || fail "folder page"
# "Start Kivo now" starts the utility with the token of the desktop's shell.
rm -f "$work/shell.ready"
wine "$build/tests/installer/kivo-setup-probe.exe" shell "$(winepath -w "$work/shell.ready")" &
shell_pid=$!
pids+=($!)
within 10000 "the stand-in shell" test -s "$work/shell.ready"
probe click "$T" "Install"
within 90000 "the finish page" shows "$T" "Static|1201|-1|Completing Kivo Disk Management Utility Setup" \
  "Button|1203|1|Start Kivo now" "Button|1|-1|&Finish"
has "$T" "To set up e-mail alarms, choose \"Kivo E-mail Setup\" in the Start menu's folder \"Kivo\"" || fail "finish page"
no_utility || fail "the utility runs before Finish"
probe click "$T" "Finish"
within 30000 "the utility started by Finish" one_utility
within 30000 "setup ending" ended
status=0
wait "$setup_pid" || status=$?
[ "$status" = 0 ] || fail "setup ended with status $status: $(cat "$work/setup.out")"
echo "interactive install: $(($(now_ms) - t)) ms"
ok "welcome, licence, components, folder, progress, finish; \"Start Kivo now\" started the utility as the desktop's user"

echo "=== what the installation left ==="
is_running || fail "the service KivoWatch does not run after the install: $(wine sc query KivoWatch 2>&1 | tr -d '\r')"
wine reg query "$services\\EventLog\\Application\\Kivo" >/dev/null 2>&1 || fail "no event source Kivo"
[ -f "$WINEPREFIX/drive_c/windows/system32/tasks/Kivo metrics" ] || fail "no task \"Kivo metrics\""
[ ! -e "$exporter" ] || fail "setup made $exporter where windows_exporter is not installed: $(ls -R "$exporter")"
grep -q "TERMS AND CONDITIONS FOR COPYING" "$installed/LICENSE.txt" || fail "no GPL text in LICENSE.txt"
grep -q $'\r$' "$installed/LICENSE.txt" || fail "LICENSE.txt is not in CR LF"
info=$(driver version 'C:\Program Files\Zelka\Kivo\kivo-command.exe' 2>&1) ||
  fail "kivo-command.exe has no version record: $info $(ls -l "$installed/kivo-command.exe")"
grep -q "^ProductVersion $version" <<<"$info" && grep -q "^OriginalFilename: kivo-command.exe" <<<"$info" ||
  fail "kivo-command.exe's version record: $info"
ok "service running, event source, task, LICENSE.txt; no windows_exporter folder made"
# Users may set values and create subkeys in the settings key, handed on to
# its subkeys; the lists above it are as they were.
acl=$(probe security HKU '.DEFAULT\Software\Zelka\kivo')
grep -qx "allow S-1-5-32-545 0x6 CI" <<<"$acl" || fail "no grant to Users on the settings key: $acl"
! grep -E "^allow S-1-5-32-545 " <<<"$acl" | grep -vxE "allow S-1-5-32-545 (0x6 CI|0x80000000 CI IO)" ||
  fail "Users are granted more than set value and create subkey: $acl"
for key in '.DEFAULT' '.DEFAULT\Software'; do
  now=$(probe security HKU "$key")
  [ "$now" = "$(cat "$work/before-$(tr '\\' _ <<<"$key")")" ] || fail "$key's access list changed: $now"
done
reference=$(probe security HKU '.DEFAULT\Software\KivoReference' | grep -v '^owner')
zelka=$(probe security HKU '.DEFAULT\Software\Zelka' | grep -v '^owner')
[ "$zelka" = "$reference" ] || fail "Zelka's access list is not that of a key made as usual: $zelka, not $reference"
ok "settings key: \"allow S-1-5-32-545 0x6 CI\" (set value, create subkey, inherited); .DEFAULT, Software, Zelka unchanged"
help="$installed/help"
! grep -nE "$linux_words|kivo-command [0-9<]|kivo-install|kivo-command</code" "$help"/*.html ||
  fail "the installed help names Linux paths, variables or signals"
for word in 'Kivo E-mail Setup' 'HKEY_USERS\.DEFAULT\Software\Zelka\kivo' '%LOCALAPPDATA%\Zelka\Kivo' KivoWatch Notepad; do
  grep -qF "$word" "$help"/*.html || fail "the installed help does not name $word"
done
ok "the installed help speaks Windows: no Linux path, variable or signal; the shortcut, the settings, the service"

echo "=== the Start menu's \"Kivo E-mail Setup\" ==="
link=$(probe shortcut "$(winepath -w "$menu/Kivo E-mail Setup.lnk")") || fail "no shortcut \"Kivo E-mail Setup\""
target=$(sed -n 's/^target //p' <<<"$link")
arguments=$(sed -n 's/^arguments //p' <<<"$link")
[ "$target" = 'C:\Program Files\Zelka\Kivo\kivo-command.exe' ] && [ "$arguments" = 32778 ] ||
  fail "the shortcut runs $link"
email_setup_shown() {
  driver wait "Email Setup" shown 100 || return 1
  probe rect "Email Setup" || return 1
  driver active "Email Setup" || { echo "not the active window"; return 1; }
}
wine "$target" "$arguments" || fail "$target $arguments: status $?"
within 10000 "E-mail Setup of the running utility, on the screen, in front" email_setup_shown
one_utility || fail "the shortcut made a second utility"
driver click "Email Setup" 2
within 10000 "E-mail Setup closing" driver wait "Email Setup" gone 100
# Without a running utility the shortcut starts it first.
driver command 32771
within 10000 "the utility ending" no_utility
wine "$target" "$arguments" || fail "$target $arguments without a utility: status $?"
within 30000 "E-mail Setup of the utility the shortcut started" email_setup_shown
one_utility || fail "after the shortcut started the utility"
driver click "Email Setup" 2
ok "\"Kivo E-mail Setup\" opens E-mail Setup of the running utility, and starts the utility first"

echo "=== Help Topics and the Help button ==="
# The page the utility opens goes to the probe instead of a browser.
opened="$work/opened.txt"
wine reg add 'HKCR\.html' /ve /d KivoTestPage /f >/dev/null
wine reg add 'HKCR\KivoTestPage\shell\open\command' /ve /f \
  /d "\"$(winepath -w "$build/tests/installer/kivo-setup-probe.exe")\" opened \"$(winepath -w "$opened")\" \"%1\"" >/dev/null
driver command 57670
within 10000 "a page opened by Help Topics" test -s "$opened"
page=$(tr -d '\r' <"$opened")
[ "$page" = 'C:\Program Files\Zelka\Kivo\help\index.html' ] || fail "Help Topics opened $page"
: >"$opened"
# The button is in the main window: the Start menu's entry (-max) shows it.
wine 'C:\Program Files\Zelka\Kivo\kivo.exe' -max || fail "kivo.exe -max beside the running utility"
within 10000 "the main window shown" driver wait "Kivo Disk Management Utility" shown 100
driver click "Kivo Disk Management Utility" 57670
within 10000 "a page opened by the Help button" test -s "$opened"
page=$(tr -d '\r' <"$opened")
[ "$page" = 'C:\Program Files\Zelka\Kivo\help\main-window.html' ] || fail "the Help button opened $page"
ok "Help Topics opens the contents, the Help button the main window's page"

echo "=== an interactive uninstall ==="
t=$(now_ms)
one_utility || fail "no utility for the uninstaller to close"
wine 'C:\Program Files\Zelka\Kivo\uninstall.exe'
within 30000 "the uninstaller's first page" has "$U" \
  "^Static\|1006\|-1\|The Kivo Disk Management Utility will be removed; a utility that runs now is closed first\. Your settings \(e-mail, Audio Off, the web interface's port\) are kept in HKEY_USERS\\\\\.DEFAULT\\\\Software\\\\Zelka\\\\kivo for a later installation, unless you tick \"Settings\"\.$"
! has "$U" "Space required" >/dev/null || fail "the uninstaller speaks of space required"
probe point "$U" 1
within 5000 "the settings' description" has "$U" \
  "^Static\|1043\|-1\|Also remove the settings \(e-mail, Audio Off, the web port\) in HKEY_USERS"
probe click "$U" "Next >"
within 10000 "the confirmation page" has "$U" "A utility that runs now is closed first\. Click Uninstall to start\." \
  "Edit\|1000\|-1\|C:\\\\Program Files\\\\Zelka\\\\Kivo"
probe click "$U" "Uninstall"
within 60000 "the uninstaller's end" shows "$U" "row|1016|-1|Completed"
steps=$(probe texts "$U" | sed -n 's/^row|1016|-1|//p')
previous=0
for step in "Closing the running Kivo Disk Management Utility..." "The Kivo Disk Management Utility is closed." \
  "Stopping and removing the service KivoWatch and its event source Kivo..." "kivo-watch: the service KivoWatch is removed" \
  "Removing the scheduled task \"Kivo metrics\" and the metrics file..." "Removing the programs, the help and the licence..." \
  "Removing the Start menu's folder Kivo..." "Removing the start at logon and the Add/Remove Programs entry..." \
  "Your settings are kept in HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo." "Completed"; do
  at=$(grep -nxF -- "$step" <<<"$steps" | head -n1 | cut -d: -f1)
  [ -n "$at" ] && [ "$at" -gt "$previous" ] || fail "the uninstaller's steps lack \"$step\" in order: $steps"
  previous=$at
done
probe click "$U" "Close"
echo "interactive uninstall: $(($(now_ms) - t)) ms"
no_utility || fail "the utility still runs"
key_absent "$services\\KivoWatch" || fail "the service's key is left: $(wine reg query "$services\\KivoWatch" 2>&1 | tr -d '\r')"
[ -z "$(service_state)" ] || fail "the service manager still has KivoWatch: $(service_state)"
key_absent "$services\\EventLog\\Application\\Kivo" || fail "the event source Kivo is left"
[ ! -e "$WINEPREFIX/drive_c/windows/system32/tasks/Kivo metrics" ] || fail "the task is left"
[ ! -e "$installed" ] || fail "files left: $(ls -R "$installed")"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Zelka" ] || fail "the folder Zelka is left"
[ ! -e "$menu" ] || fail "Start menu entries left: $(ls "$menu")"
[ ! -e "$exporter" ] || fail "a windows_exporter folder is left"
wine reg query 'HKU\.DEFAULT\Software\Zelka\kivo\HTTP' /v Port >/dev/null 2>&1 || fail "the settings were removed"
ok "uninstall closed the utility, said each step, kept the settings; no service, event source, task or folder left"

echo "=== the server components in every state ==="
# windows_exporter installed (its folder, without the textfile folder).
mkdir -p "$exporter"
# The service's registration where the service manager does not know it (a
# removal it no longer knows of): a silent install with the service (and
# without /START) ends with the service running, and starts no utility.
kill "$shell_pid"
wine reg add "$services\\KivoWatch" /v ImagePath /d '"C:\Program Files\Zelka\Kivo\kivo-watch.exe" --service' /f >/dev/null
wine reg add "$services\\KivoWatch" /v Start /t REG_DWORD /d 2 /f >/dev/null
[ -z "$(service_state)" ] || fail "the service manager knows the planted registration"
t=$(now_ms)
status=0
wine "$setup" /S /SERVICE /METRICS || status=$?
echo "silent install over a registration left behind: $(($(now_ms) - t)) ms"
[ "$status" = 0 ] || fail "setup /S /SERVICE /METRICS over a registration left behind: status $status"
is_running || fail "the service does not run after setup over a registration left behind: $(wine sc query KivoWatch 2>&1 | tr -d '\r')"
[ -d "$exporter/textfile_inputs" ] || fail "no textfile folder made where windows_exporter is installed"
no_utility || fail "a silent install without /START started the utility"
ok "over a registration left behind the service is installed and runs; the textfile folder made for windows_exporter; nothing started"
# An earlier manual removal, then a registration left behind again: the
# uninstaller removes it, the event source, the task, the metrics file and
# the textfile folder setup made, not windows_exporter's own.
wine 'C:\Program Files\Zelka\Kivo\kivo-watch.exe' --remove-service 2>/dev/null || fail "kivo-watch.exe --remove-service"
wine reg add "$services\\KivoWatch" /v ImagePath /d '"C:\Program Files\Zelka\Kivo\kivo-watch.exe" --service' /f >/dev/null
wine reg add "$services\\EventLog\\Application\\Kivo" /v TypesSupported /t REG_DWORD /d 7 /f >/dev/null
printf 'kivo_scan_success 1\n' >"$exporter/textfile_inputs/kivo.prom"
wine 'C:\Program Files\Zelka\Kivo\uninstall.exe' /S
# It runs on from a copy of itself.
uninstalled() { [ ! -e "$installed" ] && key_absent "$services\\KivoWatch"; }
within 60000 "the silent uninstall" uninstalled
key_absent "$services\\EventLog\\Application\\Kivo" || fail "the event source is left"
[ ! -e "$exporter/textfile_inputs" ] || fail "the textfile folder setup made is left: $(ls "$exporter/textfile_inputs")"
[ -d "$exporter" ] || fail "windows_exporter's own folder was removed"
ok "the uninstaller removed a registration left behind, the event source, the metrics file and setup's textfile folder"

# A service something holds open (the Services window) cannot go at once,
# and a task Windows will not register: the user is told, in words, for
# each; the install is otherwise whole.
rm -rf "$exporter"
wine "$setup" /S /SERVICE || fail "setup /S /SERVICE"
within 30000 "the service running" is_running
rm -f "$work/hold.ready"
wine "$build/tests/installer/kivo-setup-probe.exe" hold KivoWatch "$(winepath -w "$work/hold.ready")" &
hold_pid=$!
pids+=($!)
within 10000 "the service held open" test -s "$work/hold.ready"
mkdir -p "$WINEPREFIX/drive_c/windows/system32/tasks/Kivo metrics/blocked"
t=$(now_ms)
wine "$setup" /METRICS >"$work/setup.out" 2>&1 &
setup_pid=$!
within 30000 "the welcome page" shows "$T" "Button|1|-1|&Next >"
probe click "$T" "Next >"
within 10000 "the licence page" shows "$T" "Static|1037|-1|Licence"
probe click "$T" "Next >"
within 10000 "the components page with both parts chosen" shows "$T" "Static|1037|-1|Choose Components"
probe click "$T" "Next >"
within 10000 "the folder page" shows "$T" "Button|1|-1|&Install"
probe click "$T" "Install"
box_says() { probe texts "$T" | grep -F "Static|65535|-1|$1"; }
within 60000 "the service's failure told" box_says "The event monitor service KivoWatch could not be installed:"
has "$T" "the earlier service KivoWatch is still being removed: a program holds it open \(close the Services window, or restart Windows\), then install again" \
  "Everything else is installed\. Run setup again to try once more\." || fail "the service's box"
probe click "$T" OK
within 30000 "the metrics' failure told" box_says "The metrics for windows_exporter are not set up: Windows did not register the scheduled task \"Kivo metrics\" that writes them every minute (error "
has "$T" "Everything else is installed\. +To try again, run setup again as an administrator, or register the task from an administrator's command prompt: +schtasks /Create /TN \"Kivo metrics\" /XML \"C:\\\\Program Files\\\\Zelka\\\\Kivo\\\\kivo-metrics\.xml\"" ||
  fail "the metrics' box"
probe click "$T" OK
within 30000 "the finish page" shows "$T" "Button|1203|1|Start Kivo now"
probe click "$T" "Start Kivo now"
within 5000 "\"Start Kivo now\" cleared" shows "$T" "Button|1203|0|Start Kivo now"
probe click "$T" "Finish"
within 30000 "setup ending" ended
status=0
wait "$setup_pid" || status=$?
[ "$status" = 2 ] || fail "setup ended with status $status, not 2: $(cat "$work/setup.out")"
no_utility || fail "Finish with \"Start Kivo now\" cleared started the utility"
echo "install with a held service and a refused task: $(($(now_ms) - t)) ms"
ok "a service held open and a refused task are told in words; setup ends with status 2"
# Released, the old registration goes; the next install runs the service.
kill "$hold_pid"
rm -rf "$WINEPREFIX/drive_c/windows/system32/tasks/Kivo metrics"
rm -f "$work/shell.ready"
wine "$build/tests/installer/kivo-setup-probe.exe" shell "$(winepath -w "$work/shell.ready")" &
pids+=($!)
within 10000 "the stand-in shell" test -s "$work/shell.ready"
wine "$setup" /S /SERVICE /START || fail "setup /S /SERVICE /START"
within 30000 "the utility started by /START" one_utility
is_running || fail "the service does not run after the held one was released: $(wine sc query KivoWatch 2>&1 | tr -d '\r')"
ok "released, the service is installed again and runs; /START starts the utility"

# Asked to, the uninstaller removes the settings too.
wine 'C:\Program Files\Zelka\Kivo\uninstall.exe' /S /REMOVESETTINGS
settings_gone() { key_absent 'HKU\.DEFAULT\Software\Zelka' && [ ! -e "$installed" ]; }
within 60000 "the settings removed" settings_gone
no_utility || fail "the silent uninstall left the utility running"
ok "uninstall /REMOVESETTINGS removed the settings"
echo "windows-setup-test: all passed in $(($(now_ms) - stage_start)) ms (after the build)"
