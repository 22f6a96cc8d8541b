#!/usr/bin/env bash
# The package test (a step of scripts/test.sh; root or sudo): builds the Debian
# package in build-deb, checks it (version, conffiles, stripped programs,
# lintian without errors), installs an older copy and upgrades it with apt-get
# as a user would, runs the installed programs from PATH against the emulator
# of the build tree, verifies the systemd units, then purges the package and
# checks that nothing of it is left and that the user's settings and the
# administrator's changes were kept as they should be. The machine ends
# without the package whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
source scripts/stage-waits.sh
started=$(date +%s)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package-test: $*" >&2
  exit 1
}
installed() { dpkg-query -W -f='${Status}' kivo 2>/dev/null | grep -q 'ok installed'; }

installed && fail "kivo is installed on this machine; the test installs and purges it, so remove it first"

build="build-deb"
version=$(sed -n 's/^project(kivo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DKIVO_BUILD_TESTS=OFF -DKIVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/kivo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/kivo_*.deb)
echo "package: $deb"

work=$(mktemp -d /tmp/kivo-package-test.XXXXXX)
chmod 755 "$work" # apt's sandbox user reads the packages in it
pids=()
cleanup() {
  set +e
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  installed && "${sudo_cmd[@]}" apt-get purge -y -qq kivo >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# ---- The package file itself. ----
[ "$(dpkg-deb -f "$deb" Package)" = kivo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), not $version"
# Without the Wayland plugin the utility would run through the compositor's X server.
dpkg-deb -f "$deb" Recommends | grep -qw qt6-wayland || fail "qt6-wayland is not recommended"
dpkg-deb -x "$deb" "$work/tree"
dpkg-deb -e "$deb" "$work/control"
[ ! -e "$work/control/preinst" ] || fail "unexpected preinst"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "maintainer script $script missing or not executable"
done
(cd "$work/tree" && find etc -type f | sed 's|^|/|' | sort) >"$work/etc-files"
sort "$work/control/conffiles" | diff -u "$work/etc-files" - || fail "conffiles differ from the files under /etc"
[ -z "$(cd "$work/tree" && find . -name '*.reg' -o -name 'zelka-emulator')" ] || fail "settings or emulator packaged"
for program in kivo kivo-report kivo-watch kivo-install kivo-command; do
  file "$work/tree/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
  zcat "$work/tree/usr/share/man/man1/$program.1.gz" >/dev/null || fail "no manual page for $program"
done
desktop-file-validate "$work/tree/usr/share/applications/kivo.desktop" "$work/tree/etc/xdg/autostart/kivo.desktop"
# The alerting rules ship where the README points rule_files, and load.
promtool check rules "$work/tree/usr/share/kivo/prometheus/kivo-alerts.yml" >/dev/null || fail "alerting rules"
[ -f "$work/tree/usr/share/kivo/kivo-report.schema.json" ] || fail "no JSON Schema"
# The autostart entry is a conffile, left behind by "apt-get remove": it must
# not start a program that is gone.
grep -qx 'TryExec=kivo' "$work/tree/etc/xdg/autostart/kivo.desktop" || fail "the autostart entry has no TryExec=kivo"
copyright="$work/tree/usr/share/doc/kivo/copyright"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" &&
  grep -qx 'License: GPL-2.0-or-later' "$copyright" || fail "debian/copyright is not machine-readable GPL-2.0-or-later"
lintian --fail-on error "$deb" | tee "$work/lintian.txt"
echo "lintian: $(grep -c '^E:' "$work/lintian.txt" || true) errors, $(grep -c '^W:' "$work/lintian.txt" || true) warnings"

# ---- Install an older version, change what the user and the administrator own, upgrade. ----
dpkg-deb -R "$deb" "$work/old"
sed -i 's/^Version: .*/Version: 3.1.0.6/' "$work/old/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/old" "$work/kivo_3.1.0.6.deb" >/dev/null
cp "$deb" "$work/"
dpkg-query -W -f='${Package}\n' | sort >"$work/packages-before"
# Recommends (xdg-utils, qt6-wayland) would change the machine beyond the package. Slim
# images tell dpkg to leave out manual pages and documentation; this
# package's own are part of what is tested.
apt_options=(-y -qq --no-install-recommends)
if grep -qsE '^path-exclude.*/usr/share/(man|doc)' /etc/dpkg/dpkg.cfg.d/*; then
  apt_options+=(-o 'DPkg::Options::=--path-include=/usr/share/man/man1/kivo*'
    -o 'DPkg::Options::=--path-include=/usr/share/doc/kivo/*')
fi
"${sudo_cmd[@]}" apt-get install "${apt_options[@]}" "$work/kivo_3.1.0.6.deb" >/dev/null
[ "$(dpkg-query -W -f='${Version}' kivo)" = 3.1.0.6 ] || fail "older version not installed"

settings=$work/settings
mkdir -p "$settings"
KIVO_REGISTRY_DIR=$settings kivo-install >/dev/null
printf '\r\n[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Audio]\r\n"AudioOff"=dword:00000001\r\n' \
  >>"$settings/HKEY_USERS.reg"
user_config=${XDG_CONFIG_HOME:-$HOME/.config}/kivo
checksums() { (find "$settings" "$user_config" -type f -exec sha256sum {} + 2>/dev/null || true) | sort; }
checksums >"$work/settings-before"
echo "# changed by the administrator" | "${sudo_cmd[@]}" tee -a /etc/default/kivo >/dev/null

"${sudo_cmd[@]}" apt-get install "${apt_options[@]}" "$work/$(basename "$deb")" >/dev/null
[ "$(dpkg-query -W -f='${Version}' kivo)" = "$version" ] || fail "upgrade to $version did not happen"
grep -q '^# changed by the administrator$' /etc/default/kivo || fail "the upgrade replaced /etc/default/kivo"
checksums | diff -u "$work/settings-before" - || fail "the upgrade touched the user's settings"

# ---- The installed programs, from PATH, against the emulator of the build tree. ----
for program in kivo kivo-report kivo-watch kivo-install kivo-command; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not found on PATH in /usr/bin"
done
export KIVO_DEVICE_DIR=$work/devices KIVO_RPC_DIR=$work/rpc KIVO_REGISTRY_DIR=$settings
# Waits (at most $2 seconds) for a line matching $3 in a file.
wait_for() {
  poll $(($2 * 1000)) file_has "$1" "$3" || fail "no line '$3' in $1 within $2 s; it ends: $seen"
}
"$build/emulator/zelka-emulator" --http-port 0 2>"$work/emulator.log" &
emulator=$!
pids+=("$emulator")
wait_for "$work/emulator.log" 20 "zelka-emulator: ready"

kivo-report >"$work/report.txt" || fail "kivo-report exit status $?"
grep -q '^2 Disk controllers present' "$work/report.txt" || fail "kivo-report: $(cat "$work/report.txt")"
kivo-report --prometheus "$work/kivo.prom"
promtool check metrics <"$work/kivo.prom"
grep -qx 'kivo_scan_success 1' "$work/kivo.prom" || fail "metrics: $(cat "$work/kivo.prom")"

KIVO_TIME_SCALE=1000 kivo-watch >"$work/watch.out" 2>"$work/watch.err" &
watch=$!
pids+=("$watch")
wait_for "$work/watch.err" 20 "monitoring 2 controller"
"$build/emulator/zelka-emulator" ctl aen 0 9 1
wait_for "$work/watch.out" 20 "MESSAGE: Drive timeout encountered on unit 1 on controller ID:0\."
kill -TERM "$watch"
wait "$watch" || fail "kivo-watch ended with $? on SIGTERM"

for program in kivo kivo-report kivo-watch kivo-install kivo-command; do
  MANPAGER=cat MANWIDTH=80 man "$program" >"$work/$program.man" 2>"$work/man.err" || fail "man $program"
  [ ! -s "$work/man.err" ] || fail "man $program: $(cat "$work/man.err")"
done
grep -q 'kivo_unit_needs_attention' "$work/kivo-report.man" || fail "man kivo-report lacks the metrics"

# Debian's hardening: position independence, stack protector, _FORTIFY_SOURCE,
# read-only relocations bound at start. Control-flow marking is not asked
# for: the programs are built for it, but the system's own start files carry
# no such marking, so the linker can give it to no program of this system.
hardening-check --nocfprotection /usr/bin/kivo /usr/bin/kivo-report /usr/bin/kivo-watch /usr/bin/kivo-install \
  /usr/bin/kivo-command >"$work/hardening.txt" || { cat "$work/hardening.txt"; fail "hardening-check failed"; }

units=(/usr/lib/systemd/system/kivo-watch.service /usr/lib/systemd/system/kivo-report-prometheus.service
  /usr/lib/systemd/system/kivo-report-prometheus.timer)
systemd-analyze verify "${units[@]}" 2>&1 | tee "$work/verify.txt"
[ ! -s "$work/verify.txt" ] || fail "systemd-analyze verify found problems"
# The metrics run only where the node exporter's folder exists, or the folder
# that /etc/default/kivo names instead, which the sandbox may then write.
for unit in service timer; do
  grep -qx 'ConditionPathIsDirectory=/var/lib/prometheus/node-exporter' \
    "/usr/lib/systemd/system/kivo-report-prometheus.$unit" || fail "kivo-report-prometheus.$unit has no condition"
done
generator=/usr/lib/systemd/system-generators/kivo-report-prometheus-generator
"$generator" "$work/generated-default"
[ -z "$(ls -A "$work/generated-default" 2>/dev/null)" ] || fail "drop-ins for the default metrics file"
echo 'KIVO_PROMETHEUS_FILE="/srv/kivo metrics/kivo.prom"' >"$work/default-kivo"
KIVO_DEFAULTS_FILE="$work/default-kivo" "$generator" "$work/generated"
for unit in service timer; do
  conf="$work/generated/kivo-report-prometheus.$unit.d/metrics-folder.conf"
  grep -qx 'ConditionPathIsDirectory=/srv/kivo metrics' "$conf" || fail "no condition on the named folder: $conf"
  cp "/usr/lib/systemd/system/kivo-report-prometheus.$unit" "$work/generated/"
done
grep -qx 'ReadWritePaths="/srv/kivo metrics"' "$work/generated/kivo-report-prometheus.service.d/metrics-folder.conf" ||
  fail "the sandbox may not write the named folder"
systemd-analyze verify "$work/generated/kivo-report-prometheus.service" "$work/generated/kivo-report-prometheus.timer" \
  2>&1 | tee "$work/verify-generated.txt"
[ ! -s "$work/verify-generated.txt" ] || fail "systemd-analyze verify found problems with the drop-ins"
# The administrator enables the services; the purge must take their links too.
"${sudo_cmd[@]}" systemctl enable kivo-watch.service kivo-report-prometheus.timer 2>/dev/null
[ -L /etc/systemd/system/multi-user.target.wants/kivo-watch.service ] || fail "kivo-watch.service not enabled"

# Last, as it ends the emulator: the service is asked to shut down.
(unset DISPLAY WAYLAND_DISPLAY && QT_QPA_PLATFORM=offscreen timeout 60 kivo -servershutdown) ||
  fail "kivo -servershutdown ended with $?"
poll 30000 ended "$emulator" || fail "the service was not shut down: the emulator runs 30 s on: $(tail -c 1000 "$work/emulator.log")"

# ---- Purge: nothing of the package is left; the user's settings are. ----
"${sudo_cmd[@]}" apt-get purge -y -qq kivo >/dev/null
installed && fail "still installed after purge"
dpkg-query -W -f='${Status}' kivo 2>/dev/null | grep -q 'config-files' && fail "configuration files left"
left=$(cd "$work/tree" && find . ! -type d | sed 's|^\.||' | while read -r path; do
  if [ -e "$path" ]; then echo "$path"; fi
done)
[ -z "$left" ] || fail "left after purge: $left"
for dir in /usr/share/kivo /usr/share/doc/kivo; do [ ! -e "$dir" ] || fail "$dir left after purge"; done
links=$(find /etc/systemd /var/lib/systemd -name 'kivo*' 2>/dev/null)
[ -z "$links" ] || fail "systemd links or state left after purge: $links"
checksums | diff -u "$work/settings-before" - || fail "the purge touched the user's settings"
dpkg-query -W -f='${Package}\n' | sort | diff -u "$work/packages-before" - || fail "the set of packages changed"
echo "package test passed in $(($(date +%s) - started)) s"
