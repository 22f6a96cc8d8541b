#!/usr/bin/env bash
# The test command of the README: installs what the project needs, builds
# everything, runs every test, runs the utility in two headless Wayland
# sessions (scripts/wayland-session-test.sh), cross-builds for Windows and runs the core
# suites and end-to-end checks there under Wine, then the core tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, the monitor tests under ThreadSanitizer, and
# the fuzz targets for a short bounded run (scripts/fuzz.sh runs them long); then the Debian package is built,
# installed, run and purged (scripts/package-test.sh). Each sanitizer build
# compiles only what its stage runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run package test session
jobs=$(nproc)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/kivo-xdg.XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"

# Each heading says how long the run has taken so far, so a slow stage shows.
step() { printf '\n=== %s (%d s in) ===\n' "$*" "$SECONDS"; }

step "build (RelWithDebInfo)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"

step "tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300)

step "Wayland desktop sessions: sway with a tray, GNOME Shell without one, the accessibility tree"
bash scripts/wayland-session-test.sh build

step "Windows build (MinGW-w64) and its tests under Wine"
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-win -j"$jobs"
bash scripts/test-windows.sh build build-win

step "Windows desktop shell under Wine (setup, windows, tray, e-mail test, uninstall)"
bash scripts/windows-shell-test.sh build-win

step "Windows setup program under Wine (wizard, settings key, E-mail Setup shortcut, server components, uninstall)"
bash scripts/windows-setup-test.sh build-win

step "core tests under AddressSanitizer + UndefinedBehaviorSanitizer"
# One clang build serves these tests and the fuzz targets below, so the core
# is compiled once for both: it carries libFuzzer's coverage counters too,
# which the tests leave unread.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVO_CORE_ONLY=ON -DKIVO_BUILD_TESTS=ON -DKIVO_BUILD_FUZZ=ON \
  -DKIVO_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-asan -j"$jobs" --target kivo_core_tests
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs" --timeout 300)

step "monitor tests under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVO_CORE_ONLY=ON -DKIVO_BUILD_TESTS=ON \
  -DKIVO_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target kivo_monitor_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j"$jobs" --timeout 300 -R '^kivo_monitor_tests\.')

if ls fuzz/*.cpp >/dev/null 2>&1; then
  step "fuzz targets (short runs)"
  targets=()
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
  cmake --build build-asan -j"$jobs" --target "${targets[@]}"
  # A fuzzer runs on one core: as many at once as there are cores, each into
  # its own log, shown in order once all have ended.
  logs=$(mktemp -d)
  fuzz_one() {
    # libFuzzer writes new inputs into its first corpus folder: give it a copy.
    local corpus
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$1" ] && cp -r "fuzz/corpus/$1/." "$corpus/"
    build-asan/fuzz/"$1" -runs=20000 -max_total_time=60 -max_len=4096 "$corpus" >"$2/$1.log" 2>&1 ||
      echo "$1" >>"$2/failed"
    rm -rf "$corpus"
  }
  export -f fuzz_one
  printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$logs"
  for name in "${targets[@]}"; do
    echo "fuzz: $name"
    tail -n 2 "$logs/$name.log"
  done
  if [ -e "$logs/failed" ]; then
    for name in $(cat "$logs/failed"); do tail -n 40 "$logs/$name.log"; done
    echo "fuzz targets failed: $(tr '\n' ' ' <"$logs/failed")" >&2
    exit 1
  fi
  rm -rf "$logs"
fi
step "Debian package: build, lintian, install, run, purge"
bash scripts/package-test.sh

step "all tests passed"
