#!/usr/bin/env bash
# The whole test run: installs what is missing, then builds and runs the
# suite natively, again counting line and branch coverage, under valgrind
# memcheck, under ASan+UBSan, the client tests under TSan, the armhf cross
# build under qemu-arm, and the fuzz targets.
#
# Usage: scripts/test.sh [native] [coverage] [valgrind] [asan] [tsan] [armhf] [fuzz]   (default: all)
# Build trees go to out/<stage>; JOBS sets the build parallelism;
# FUZZ_SECONDS (default 30) how long the fuzz stage runs each target.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native coverage valgrind asan tsan armhf fuzz)

needs=(native)
for s in "${stages[@]}"; do
  [ "$s" = armhf ] && needs+=(cross)
  [ "$s" = fuzz ] && needs+=(fuzz)
  [ "$s" = valgrind ] && needs+=(valgrind)
  [ "$s" = coverage ] && needs+=(coverage)
done
scripts/deps.sh "${needs[@]}"

build() {  # build <dir> <cmake args...>
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

run_ctest() {  # run_ctest <dir> [ctest args...]
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300 "$@")
}

mkdir -p out
for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  case "$stage" in
    native)
      build out/native -DWQX_BUILD_BENCH=ON
      run_ctest out/native
      scripts/check-install.sh out/native
      (cd out/native && cpack -G DEB >/dev/null && ls ./*.deb) ;;
    coverage)
      # Reports only: no coverage figure fails the run, but a failed build or
      # test does (set -e). Counts left by an earlier run would be added to
      # this one's, so they go first; the bench is not part of the suite.
      build out/coverage -DCMAKE_BUILD_TYPE=Debug -DWQX_COVERAGE=ON -DWQX_BUILD_BENCH=OFF
      find out/coverage -name '*.gcda' -delete
      run_ctest out/coverage
      scripts/coverage-report.sh out/coverage ;;
    valgrind)
      scripts/valgrind.sh out/native ;;
    asan)
      build out/asan -DWQX_SANITIZE=address,undefined
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_ctest out/asan ;;
    tsan)
      build out/tsan -DWQX_SANITIZE=thread
      TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest out/tsan -L client ;;
    armhf)
      build out/armhf -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake"
      run_ctest out/armhf
      (cd out/armhf && cpack -G DEB >/dev/null && ls ./*.deb) ;;
    fuzz)
      CC=clang CXX=clang++ build out/fuzz -DWQX_FUZZ=ON -DWQX_BUILD_TOOLS=OFF -DWQX_BUILD_TESTS=OFF
      scripts/fuzz.sh out/fuzz "${FUZZ_SECONDS:-30}" ;;
    *) echo "test.sh: unknown stage '$stage' (native, coverage, valgrind, asan, tsan, armhf, fuzz)" >&2; exit 2 ;;
  esac
done
echo "=== all stages passed: ${stages[*]} ==="
