#!/usr/bin/env bash
# The whole suite (wqx_tests and wqx_client_tests) under valgrind memcheck:
# fails on any memory error and on any definite or possible leak. Everything
# runs tens of times slower there, so the client tests get more patience
# (WQX_TEST_PATIENCE_MS, 60 s unless set).
#
# Usage: scripts/valgrind.sh [BUILD_DIR]   (default out/valgrind, configured
# and built here without sanitizers; JOBS sets the build parallelism)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-out/valgrind}
jobs=${JOBS:-$(nproc)}
scripts/deps.sh native valgrind

mkdir -p "$(dirname "$build")"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target wqx_tests wqx_client_tests

export WQX_TEST_PATIENCE_MS=${WQX_TEST_PATIENCE_MS:-60000}
rc=0
for suite in wqx_tests wqx_client_tests; do
  echo "=== $suite under valgrind"
  start=$(date +%s)
  valgrind --leak-check=full --errors-for-leak-kinds=definite,possible --error-exitcode=1 \
    --num-callers=30 --log-file="$build/$suite.valgrind.log" \
    "$build/tests/$suite" --gtest_brief=1 || rc=1
  grep -E "ERROR SUMMARY|definitely lost|possibly lost" "$build/$suite.valgrind.log" || true
  echo "($(( $(date +%s) - start )) s; full report in $build/$suite.valgrind.log)"
done
exit $rc
