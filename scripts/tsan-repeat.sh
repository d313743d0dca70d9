#!/usr/bin/env bash
# The client tests under ThreadSanitizer, many times in a row: a race or a
# lock-order inversion that shows once in a hundred runs still fails this.
#
# Usage: scripts/tsan-repeat.sh [REPEATS] [BUILD_DIR]   (default 100 and
# out/tsan; JOBS sets the build parallelism)
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-100}
build=${2:-out/tsan}
jobs=${JOBS:-$(nproc)}
scripts/deps.sh native

mkdir -p "$(dirname "$build")"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWQX_SANITIZE=thread \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target wqx_client_tests

start=$(date +%s)
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  "$build/tests/wqx_client_tests" --gtest_repeat="$repeats" --gtest_break_on_failure --gtest_brief=1
echo "=== $repeats runs of wqx_client_tests passed under TSan in $(( $(date +%s) - start )) s"
