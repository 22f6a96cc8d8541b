#!/usr/bin/env bash
# Checks of what the package installs, run by CTest:
#   packaging-check.sh man PAGE...           every page formats without a warning
#   packaging-check.sh desktop FILE...       desktop-file-validate passes
#   packaging-check.sh install BUILD_DIR     cmake --install puts every file in its place
#   packaging-check.sh prometheus BUILD_DIR  kivo-report --prometheus against the emulator
#   packaging-check.sh rules RULES TESTS     promtool checks the alerting rules and runs their tests
# A tool that is not installed skips the check (status 77); scripts/test.sh
# installs them all.
set -euo pipefail
source "$(dirname "$0")/../../scripts/stage-waits.sh"
mode=$1
shift
need() { command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
work=$(mktemp -d /tmp/kivo-packaging.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

case $mode in
man)
  need man
  for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
      grep -q "^\.SH \"\?$section\"\?$" "$page" || fail "$page has no $section section"
    done
  done
  ;;
desktop)
  need desktop-file-validate
  for file in "$@"; do desktop-file-validate "$file" || fail "$file"; done
  ;;
install)
  DESTDIR=$work cmake --install "$1" >/dev/null
  prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$1/CMakeCache.txt")
  expected=(bin/kivo bin/kivo-report bin/kivo-watch bin/kivo-install bin/kivo-command share/kivo/help/index.html
    share/applications/kivo.desktop share/icons/hicolor/scalable/apps/kivo.svg lib/systemd/system/kivo-watch.service
    lib/systemd/system/kivo-report-prometheus.service lib/systemd/system/kivo-report-prometheus.timer
    share/kivo/kivo-report.schema.json share/kivo/prometheus/kivo-alerts.yml)
  for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x$size/apps/kivo.png"); done
  for program in kivo kivo-report kivo-watch kivo-install kivo-command; do
    expected+=("share/man/man1/$program.1.gz")
  done
  for path in "${expected[@]}"; do [ -f "$work$prefix/$path" ] || fail "not installed: $prefix/$path"; done
  # The administrator's files go to the configured sysconfdir (/etc where the
  # prefix is /usr), wherever --prefix points.
  autostart=$(find "$work" -path '*/etc/xdg/autostart/kivo.desktop')
  [ -n "$autostart" ] || fail "no autostart entry"
  grep -qx 'Exec=kivo' "$autostart" || fail "the autostart entry does not start kivo in the tray"
  [ -n "$(find "$work" -path '*/etc/default/kivo')" ] || fail "no environment file for the services"
  [ -z "$(find "$work" -name 'zelka-emulator*')" ] || fail "the emulator is installed"
  for size in 16 24 32 48 64 128 256; do
    file "$work$prefix/share/icons/hicolor/${size}x$size/apps/kivo.png" | grep -q "$size x $size" ||
      fail "the ${size} px icon has another size"
  done
  # The units start the programs where this install put them.
  for unit in kivo-watch.service kivo-report-prometheus.service; do
    program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$work$prefix/lib/systemd/system/$unit")
    [ "$program" = "$prefix/bin/${unit%.service}" ] || [ "$program" = "$prefix/bin/kivo-report" ] ||
      fail "$unit starts $program"
    [ -x "$work$program" ] || fail "$unit starts $program, which is not installed"
  done
  ;;
prometheus)
  need promtool
  build=$1
  export KIVO_DEVICE_DIR=$work/devices KIVO_RPC_DIR=$work/rpc KIVO_REGISTRY_DIR=$work/registry
  "$build/emulator/zelka-emulator" --http-port 0 2>"$work/emulator.log" &
  pids+=($!)
  poll 20000 file_has "$work/emulator.log" "zelka-emulator: ready" || fail "emulator not ready within 20 s: $seen"
  report=$build/src/app/cli/kivo-report
  "$report" --prometheus "$work/kivo.prom" || fail "exit status $?"
  promtool check metrics <"$work/kivo.prom" || fail "promtool: $(cat "$work/kivo.prom")"
  # A drive fails: its unit needs attention, and the file is replaced whole.
  "$build/emulator/zelka-emulator" ctl fail-drive 0 1 >/dev/null
  "$report" --prometheus "$work/kivo.prom" || fail "exit status $? after a drive failed"
  grep -qx 'kivo_unit_needs_attention{controller="0",unit="0"} 1' "$work/kivo.prom" || fail "$(cat "$work/kivo.prom")"
  promtool check metrics <"$work/kivo.prom" || fail "promtool after a drive failed"
  # Unwritable places: status 1, a reason on standard error, nothing left
  # behind (a directory in the way fails only at the rename).
  mkdir "$work/taken.prom"
  for place in "$work/missing/kivo.prom" "$work/taken.prom"; do
    status=0
    "$report" --prometheus "$place" 2>"$work/error.txt" || status=$?
    [ "$status" -eq 1 ] || fail "$place: exit status $status"
    grep -q "^kivo-report: cannot .*$place" "$work/error.txt" || fail "$place: $(cat "$work/error.txt")"
  done
  [ ! -e "$work/missing" ] || fail "a directory was made"
  [ -z "$(find "$work" -maxdepth 1 -name 'taken.prom?*')" ] || fail "a partial file was left"
  [ -z "$(ls -A "$work/taken.prom")" ] || fail "something was written into the directory"
  ;;
rules)
  need promtool
  promtool check rules "$1" || fail "promtool check rules $1"
  promtool test rules "$2" || fail "promtool test rules $2"
  ;;
*)
  fail "unknown check $mode"
  ;;
esac
