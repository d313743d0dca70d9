#!/usr/bin/env bash
# End-to-end tests of the wqxobj tool: the real program against its own
# simulator on loopback. Usage: cli_test.sh WQXOBJ [EMULATOR...]
# Every case states the command, the exit status it must give, and a text
# its output (stdout and stderr together) must contain.
set -uo pipefail
bin=("${@:2}" "$1")
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0 failed=0

# expect STATUS TEXT -- ARGS...   (stdin from $input when set)
expect() {
  local want=$1 text=$2; shift 3
  local out rc
  out=$(timeout 20 "${bin[@]}" "$@" < "${input:-/dev/null}" 2>&1)
  rc=$?
  if [ "$rc" -eq "$want" ] && [[ "$out" == *"$text"* ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: wqxobj $* -> status $rc (want $want), output:"; echo "$out" | head -5
    echo "  expected to contain: $text"
  fi
}

# A simulator on a free port, its address read from its first line.
"${bin[@]}" sim --port 0 > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "127.0.0.1:" "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
[ -n "$port" ] || { echo "simulator did not start:"; cat "$work/sim.out"; exit 1; }
srv=127.0.0.1:$port
# A port with nobody behind it: bind one, note it, let it go.
dead=127.0.0.1:9

expect 0 '"TAG_DEV_ID": 1001'       -- get --server "$srv" OBJ_DEVICE TAG_DEV_ID=1001
expect 0 '"Door switch"'            -- get --server "$srv" OBJ_PORT_DIN TAG_DEV_ID=1001
expect 0 '"TAG_DEV_ID": 1004'       -- index --server "$srv" OBJ_DEVICE
expect 0 '[]'                       -- get --server "$srv" OBJ_DEVICE TAG_DEV_ID=999
expect 2 "unknown object type"      -- get --server "$srv" OBJ_DEVIC TAG_DEV_ID=1
expect 2 "has no key TAG_NOPE"      -- get --server "$srv" OBJ_DEVICE TAG_NOPE=1
expect 2 "not a number"             -- get --server "$srv" OBJ_DEVICE TAG_DEV_ID=seven
expect 2 "is not TAG=VALUE"         -- get --server "$srv" OBJ_DEVICE 1001
expect 2 "--server HOST:PORT is required" -- get OBJ_DEVICE
expect 2 "--server takes HOST:PORT" -- get --server nowhere OBJ_DEVICE
expect 1 "cannot reach"             -- get --server no-such-host.invalid:4000 OBJ_DEVICE
expect 1 "no answer from"           -- get --server "$dead" --timeout 50 OBJ_DEVICE TAG_DEV_ID=1
expect 0 "usage: wqxobj get"        -- get --help
expect 2 "unknown command"          -- frobnicate
expect 0 "commands:"                -- --help

cat > "$work/site.json" <<'JSON'
[[{"objectType": "OBJ_DEVICE"}, {"objectValues": [{"TAG_DEV_ID": 77}, {"TAG_DEV_LABEL": "Set by the CLI test"}]}]]
JSON
echo '[[{"objectType": "OBJ_DEVICE"}, {"objectValues": [{"TAG_DEV_ID": "x"}]}]]' > "$work/bad.json"
echo 'not json' > "$work/notjson.json"

# listen sees the event that a set causes.
"${bin[@]}" listen --server "$srv" > "$work/listen.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "listening" "$work/listen.out" 2>/dev/null && break; sleep 0.05; done
expect 0 "sent 1 objects"           -- set --server "$srv" "$work/site.json"
for _ in $(seq 100); do grep -q "Set by the CLI test" "$work/listen.out" 2>/dev/null && break; sleep 0.05; done
if grep -q '"TAG_DEV_LABEL": "Set by the CLI test"' "$work/listen.out"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL: listen did not print the event:"; cat "$work/listen.out"
fi
expect 0 '"Set by the CLI test"'    -- get --server "$srv" OBJ_DEVICE TAG_DEV_ID=77
expect 1 "not a number"             -- set --server "$srv" "$work/bad.json"
expect 1 "malformed JSON"           -- set --server "$srv" "$work/notjson.json"
expect 1 "cannot read"              -- set --server "$srv" "$work/missing.json"
expect 1 "did not answer"           -- set --server "$dead" --timeout 50 "$work/site.json"

# An object larger than one datagram goes out in segments and comes back whole.
long=$(printf 'W%.0s' $(seq 300))
cat > "$work/bigsite.json" <<JSON
[[{"objectType": "OBJ_SITE_CFG"}, {"objectValues": [{"TAG_SITE_ID": "BIG-$long"},
  {"TAG_SITE_LABEL": "L-$long"}, {"TAG_SITE_NMS_ADDRESS": "N-$long"}, {"TAG_VERSION": 4}]}]]
JSON
expect 0 "sent 1 objects"           -- set --server "$srv" "$work/bigsite.json"
expect 0 "N-$long"                  -- get --server "$srv" OBJ_SITE_CFG "TAG_SITE_ID=BIG-$long"

# encode and decode are each other's inverse; bad input is refused.
"${bin[@]}" encode --hex --type 1 --seq 5 "$work/site.json" > "$work/site.hex"
input="$work/site.hex" expect 0 '"TAG_DEV_LABEL": "Set by the CLI test"' -- decode --hex
"${bin[@]}" encode "$work/site.json" > "$work/site.bin"
expect 0 '"TAG_DEV_ID": 77'         -- decode "$work/site.bin"
input="$work/site.hex" expect 0 '"TAG_DEV_ID": 77' -- decode --hex --pretty -
echo "00ff0102" > "$work/short.hex"
expect 1 "malformed datagram at byte 0" -- decode --hex "$work/short.hex"
echo "zz" > "$work/nothex.hex"
expect 1 "not hex"                  -- decode --hex "$work/nothex.hex"
# A datagram of the format before versions (type 0, last segment of 1, 1 tag).
echo "0008 00 81 0001 05000000" > "$work/unversioned.hex"
expect 1 "malformed datagram at byte 0" -- decode --hex "$work/unversioned.hex"

# A device larger than one datagram: its segments come back whole, in any
# order; without one of them nothing is printed.
label=$(printf 'L%.0s' $(seq 1000))
echo "[[{\"objectType\": \"OBJ_DEVICE\"}, {\"objectValues\": [{\"TAG_DEV_ID\": 78}, {\"TAG_DEV_LABEL\": \"$label\"}]}]]" > "$work/big.json"
"${bin[@]}" encode --hex --type 1 --seq 6 "$work/big.json" > "$work/big.hex"
if [ "$(wc -l < "$work/big.hex")" -eq 2 ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL: a 1000-byte label should travel as 2 datagrams:"; cat "$work/big.hex"
fi
tac "$work/big.hex" > "$work/big-reversed.hex"
head -1 "$work/big.hex" > "$work/big-first.hex"
input="$work/big.hex" expect 0 "\"TAG_DEV_LABEL\": \"$label\"" -- decode --hex
input="$work/big-reversed.hex" expect 0 "\"TAG_DEV_LABEL\": \"$label\"" -- decode --hex
expect 1 "1 message not whole (first: type 1 sequence 6, 1 of its 2 segments)" -- decode --hex "$work/big-first.hex"
echo "[[{\"objectType\": \"OBJ_DEVICE\"}, {\"objectValues\": [{\"TAG_DEV_LABEL\": \"$label$label\"}]}]]" > "$work/huge.json"
expect 1 "cannot be sent"           -- encode --hex "$work/huge.json"
expect 1 "not read whole"           -- encode "$work/bad.json"
expect 2 "--type takes 0 to 255"    -- encode --type 300 "$work/site.json"
expect 0 "4. event"                 -- demo

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
