#!/usr/bin/env bash
# Long fuzzing runs outside CI: builds the libFuzzer targets of fuzz/ (core
# instrumented, AddressSanitizer + UndefinedBehaviorSanitizer) and runs each
# one for the given time at low priority, then prints per target the
# executions, the coverage (edges reached) and the corpus size. Inputs found
# are kept in build-fuzz/corpus/<target> (seeded from fuzz/corpus/<target>),
# so later runs go on from there; a crash leaves its input in
# build-fuzz/findings/ and makes the exit status 1.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 600, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
case "$seconds" in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]" >&2; exit 2 ;; esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
jobs=${KIVO_FUZZ_BUILD_JOBS:-$(nproc)}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVO_CORE_ONLY=ON -DKIVO_BUILD_FUZZ=ON \
  -DKIVO_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$jobs" --target "${targets[@]}"

mkdir -p build-fuzz/findings build-fuzz/logs
status=0
rows=()
for name in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$name" ] && cp -rn "fuzz/corpus/$name/." "$corpus/"
  log=build-fuzz/logs/$name.log
  echo "fuzz: $name for ${seconds}s" >&2
  set +e
  nice -n 15 build-fuzz/fuzz/"$name" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$name-" "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  units=$(find "$corpus" -type f | wc -l)
  result=ok
  if [ "$rc" -ne 0 ]; then
    result="FINDING (exit $rc, see $log)"
    status=1
  fi
  rows+=("$(printf '%-20s %12s %8s %8s %8s  %s' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$units" "$result")")
done

printf '%-20s %12s %8s %8s %8s  %s\n' target executions edges features corpus result
printf '%s\n' "${rows[@]}"
exit "$status"
