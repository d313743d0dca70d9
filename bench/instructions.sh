#!/usr/bin/env bash
# Instructions per object of one benchmark body, counted by callgrind: a
# figure that other load on the machine does not move, for before/after
# comparisons. Build with -g for the per-function breakdown it writes.
#
# Usage: bench/instructions.sh BUILD_DIR BODY RECORDS N [TOP]
#   BODY     oursEncode oursDecode tlvEncode tlvDecode msgpackEncode
#            msgpackDecode oursJsonEncode oursJsonDecode janssonEncode
#            janssonDecode
#   RECORDS  device or mixed;  N  1, 100 or 1000;  TOP  functions to list (0)
set -euo pipefail
build=$1 body=$2 records=$3 n=$4 top=${5:-0}
declare -A filter=(
  [oursEncode]=msg/ours/encode [oursDecode]=msg/ours/decode
  [tlvEncode]=msg/tlv/encode [tlvDecode]=msg/tlv/decode
  [msgpackEncode]=msg/msgpack/encode [msgpackDecode]=msg/msgpack/decode
  [oursJsonEncode]=json/ours/encode [oursJsonDecode]=json/ours/decode
  [janssonEncode]=json/jansson/encode [janssonDecode]=json/jansson/decode)
[ -n "${filter[$body]:-}" ] || { echo "unknown body $body" >&2; exit 2; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out" \
  --toggle-collect="*::timed(*" \
  "$build/bench/wqx_bench_formats" --benchmark_filter="^${filter[$body]}/$records/$n\$" \
  --benchmark_min_time=0.3 >/dev/null 2>&1
total=$(callgrind_annotate "$out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
calls=$(callgrind_annotate --inclusive=yes --tree=caller "$out" 2>/dev/null |
  grep -B1 -E "^ *[0-9,]+ \([0-9. ]+%\)  \*  .*::timed\(" | head -1 |
  sed -E 's/.*\(([0-9,]+)x\).*/\1/' | tr -d ,)
echo "$body $records/$n: $((total / calls / n)) instructions per object ($calls calls)"
if [ "$top" -gt 0 ]; then
  callgrind_annotate "$out" 2>/dev/null | sed -n '/file:function/,$p' | sed -n "3,$((top + 2))p"
fi
