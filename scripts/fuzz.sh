#!/usr/bin/env bash
# Runs every libFuzzer target of a WQX_FUZZ build for a bounded time, each on
# a scratch copy of its committed corpus. Fails on any crash, leak, timeout
# or out-of-memory; the input that caused it is left in out/fuzz-findings/.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 seconds=$2
findings=out/fuzz-findings
mkdir -p "$findings"
rc=0
for bin in "$build"/fuzz/wqx_fuzz_*; do
  name=${bin##*/wqx_fuzz_}
  work=$(mktemp -d)
  cp fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "--- fuzzing $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -dict=fuzz/corpus/wqx.dict -artifact_prefix="$findings/$name-" \
        -print_final_stats=1 "$work" >"$findings/$name.log" 2>&1; then
    echo "fuzz target $name failed:"; tail -40 "$findings/$name.log"; rc=1
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec)|DONE" "$findings/$name.log" || true
  rm -rf "$work"
done
exit $rc
