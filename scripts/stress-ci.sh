#!/usr/bin/env bash
# The stages that drive windows and wait on other processes, run again and
# again on a loaded machine, before a risky change: the Windows server stage
# (scripts/windows-server-test.sh in a prefix of its own), the Windows shell
# stage (scripts/windows-shell-test.sh) and the Linux desktop session tests
# (DesktopSessionTest of kivo_e2e_tests; scripts/wayland-session-test.sh too
# where it exists), N rounds in a row. Prints each stage's and each round's
# time and the load average, then a summary; the first failing stage ends the
# run with its log.
#
#   scripts/stress-ci.sh N [--load stress|build|none] [--linux-build DIR] [--windows-build DIR]
#
# The load (at nice 19, beside the stages, from before the first round to the
# end): "stress" (default) keeps every core busy with stress-ng's CPU workers;
# "build" rebuilds the core and its tests in a scratch tree without ccache,
# over and over, as a developer's parallel build would; "none" adds nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  echo "usage: scripts/stress-ci.sh N [--load stress|build|none] [--linux-build DIR] [--windows-build DIR]" >&2
  exit 2
}
[ $# -ge 1 ] && [[ "$1" =~ ^[1-9][0-9]*$ ]] || usage
rounds=$1
shift
load=stress
linux=build
win=build-win
while [ $# -gt 0 ]; do
  case "$1" in
    --load) load=${2:-}; shift 2 ;;
    --linux-build) linux=${2:-}; shift 2 ;;
    --windows-build) win=${2:-}; shift 2 ;;
    *) usage ;;
  esac
done
case "$load" in stress | build | none) ;; *) usage ;; esac

lists=(run package test)
[ "$load" != stress ] || lists+=(stress)
bash scripts/install-deps.sh "${lists[@]}"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
jobs=$(nproc)

echo "=== build (before the load starts) ==="
if [ ! -f "$linux/CMakeCache.txt" ]; then
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_BUILD_TESTS=ON >/dev/null
fi
nice -n 10 cmake --build "$linux" -j"$jobs" --target kivo kivo-command kivo-install kivo-report zelka-emulator \
  kivo_e2e_tests
if [ ! -f "$win/CMakeCache.txt" ]; then
  cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
nice -n 10 cmake --build "$win" -j"$jobs" --target kivo kivo-report kivo-watch kivo_win32ui_tests kivo-shell-driver \
  kivo-setup zelka-emulator
linux=$(realpath "$linux")
win=$(realpath "$win")

work=$(mktemp -d /tmp/kivo-stress.XXXXXX)
load_pid=""
cleanup() {
  # The load runs in a process group of its own: it goes whole.
  [ -z "$load_pid" ] || kill -- -"$load_pid" 2>/dev/null || true
  [ -z "$load_pid" ] || wait "$load_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

case "$load" in
  stress)
    load_text="stress-ng --cpu $jobs at nice 19"
    setsid nice -n 19 stress-ng --cpu "$jobs" --quiet >/dev/null 2>&1 &
    load_pid=$!
    ;;
  build)
    load_text="a rebuild of the core and its tests (-j$jobs, no ccache) at nice 19, over and over"
    setsid bash -c '
      cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_CORE_ONLY=ON -DKIVO_BUILD_TESTS=ON \
        >/dev/null 2>&1 || exit 1
      while :; do CCACHE_DISABLE=1 nice -n 19 cmake --build "$2" -j"$3" --clean-first >/dev/null 2>&1; done
    ' _ "$root" "$work/load-build" "$jobs" &
    load_pid=$!
    ;;
  none) load_text="none added" ;;
esac

stages=(windows-server windows-shell desktop)
[ ! -f scripts/wayland-session-test.sh ] || stages+=(wayland)

run_stage() {  # run_stage NAME LOG
  case "$1" in
    windows-server) bash scripts/windows-server-test.sh "$win" ;;
    windows-shell) bash scripts/windows-shell-test.sh "$win" ;;
    desktop)
      XDG_RUNTIME_DIR="$work/xdg" ctest --test-dir "$linux" --output-on-failure --no-tests=error \
        -R '^kivo_e2e_tests\.DesktopSessionTest\.'
      ;;
    wayland) bash scripts/wayland-session-test.sh "$linux" ;;
  esac >"$2" 2>&1
}

mkdir -m 700 "$work/xdg"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds() { printf '%d.%d' $(($1 / 1000)) $((($1 % 1000) / 100)); }
round_times=()
loads=()
declare -A stage_total=()
echo "=== $rounds rounds of: ${stages[*]}; load: $load_text ==="
for round in $(seq "$rounds"); do
  round_start=$(now_ms)
  line="round $round/$rounds:"
  for stage in "${stages[@]}"; do
    log="$work/round-$round-$stage.log"
    t=$(now_ms)
    if ! run_stage "$stage" "$log"; then
      echo "$line $stage FAILED after $(seconds $(($(now_ms) - t))) s (load average $(cut -d' ' -f1-3 /proc/loadavg))"
      echo "----- the log of $stage in round $round -----"
      cat "$log"
      echo "----- end of the log -----"
      echo "stress-ci: $((round - 1)) of $rounds rounds passed before round $round failed in $stage; load: $load_text"
      exit 1
    fi
    elapsed=$(($(now_ms) - t))
    stage_total[$stage]=$((${stage_total[$stage]:-0} + elapsed))
    line+=" $stage $(seconds "$elapsed") s,"
  done
  round_ms=$(($(now_ms) - round_start))
  round_times+=("$round_ms")
  loads+=("$(cut -d' ' -f1 /proc/loadavg)")
  echo "$line round $(seconds "$round_ms") s, load average ${loads[-1]}"
done

sorted=$(printf '%s\n' "${round_times[@]}" | sort -n)
total=0
for ms in "${round_times[@]}"; do total=$((total + ms)); done
echo "=== summary ==="
echo "stress-ci: $rounds of $rounds rounds passed; load: $load_text"
echo "per round: min $(seconds "$(head -n1 <<<"$sorted")") s, median $(seconds "$(sed -n "$(((rounds + 1) / 2))p" <<<"$sorted")") s," \
  "max $(seconds "$(tail -n1 <<<"$sorted")") s, total $(seconds "$total") s"
for stage in "${stages[@]}"; do
  echo "  $stage: mean $(seconds $((stage_total[$stage] / rounds))) s"
done
echo "load average (1 min) at the rounds' ends: ${loads[*]}"
