#!/usr/bin/env bash
# End-to-end tests of the wqxobj tool: the real program against its own
# simulator on loopback. Usage: cli_test.sh WQXOBJ [EMULATOR...]
# Every case states the command, the exit status it must give, and a text
# its output (stdout and stderr together) must contain. A case may set
# limit=SECONDS (default 20) to also check that an option asking for a short
# wait took effect: without it the command would take seconds.
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
  out=$(timeout "${limit:-20}" "${bin[@]}" "$@" < "${input:-/dev/null}" 2>&1)
  rc=$?
  if [ "$rc" -eq "$want" ] && [[ "$out" == *"$text"* ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: wqxobj $* -> status $rc (want $want), output:"; echo "$out" | head -5
    echo "  expected to contain: $text"
  fi
}

# expect_without STATUS TEXT -- ARGS...: as expect, but TEXT must not appear.
expect_without() {
  local want=$1 text=$2; shift 3
  local out rc
  out=$(timeout "${limit:-20}" "${bin[@]}" "$@" < "${input:-/dev/null}" 2>&1)
  rc=$?
  if [ "$rc" -eq "$want" ] && [[ "$out" != *"$text"* ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: wqxobj $* -> status $rc (want $want), output:"; echo "$out" | head -5
    echo "  expected not to contain: $text"
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
limit=3 expect 1 "no whole reply from $dead after 3 transmissions" -- get --server "$dead" --timeout 50 OBJ_DEVICE TAG_DEV_ID=1
expect 0 "usage: wqxobj get"        -- get --help
expect 2 "unknown command"          -- frobnicate
expect 0 "commands:"                -- --help
expect 0 "usage: wqxobj decode"     -- --help-all
expect 0 "wire format version 2"    -- --version
expect 0 "(libwqxobj) "             -- --version
# Options after the operands count as options.
expect 0 '  [{"objectType": "OBJ_DEVICE"}' -- get --server "$srv" OBJ_DEVICE TAG_DEV_ID=1001 --pretty
expect 0 '"TAG_DEV_ID": 1001'       -- get OBJ_DEVICE --server "$srv" TAG_DEV_ID=1001
# Subcommands that print no JSON documents refuse --pretty instead of ignoring it.
expect 2 "--pretty does not apply"  -- sim --pretty
expect 2 "--pretty does not apply"  -- encode --pretty
expect 2 "--pretty does not apply"  -- set --server "$srv" --pretty

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
limit=3 expect 1 "did not answer"           -- set --server "$dead" --timeout 50 "$work/site.json"

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
expect 1 "malformed datagram at line 1" -- decode --hex "$work/short.hex"
echo "zz" > "$work/nothex.hex"
expect 1 "line 1 is not hex"        -- decode --hex "$work/nothex.hex"
# A datagram of the format before versions (type 0, last segment of 1, 1 tag).
echo "0008 00 81 0001 05000000" > "$work/unversioned.hex"
expect 1 "malformed datagram at line 1" -- decode --hex "$work/unversioned.hex"
# --hex reads one datagram a line: a bad line is named, the lines after it still read.
{ echo; cat "$work/short.hex" "$work/site.hex"; } > "$work/mixed.hex"
expect 1 "malformed datagram at line 2" -- decode --hex "$work/mixed.hex"
expect 1 '"TAG_DEV_ID": 77'         -- decode --hex "$work/mixed.hex"
expect 1 "malformed datagram at byte 0 (the rest is not read)" -- decode <(printf '\x00\xff\x01')

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
# The entry of an unknown type is named by its place, whatever follows it.
echo '[[{"objectType":"OBJ_NOPE"},{"objectValues":[]}],[{"objectType":"OBJ_DEVICE"},{"objectValues":[]}]]' > "$work/unknown1.json"
echo '[[{"objectType":"OBJ_DEVICE"},{"objectValues":[]}],[{"objectType":"OBJ_NOPE"},{"objectValues":[]}]]' > "$work/unknown2.json"
expect 1 "entry 1 has an unknown objectType" -- encode "$work/unknown1.json"
expect 1 "entry 2 has an unknown objectType" -- encode "$work/unknown2.json"
expect 2 "--type takes 0 to 255"    -- encode --type 300 "$work/site.json"
expect 2 "--seq takes 0 to 127"     -- encode --seq 128 "$work/site.json"
expect 2 "--seq takes 0 to 127"     -- encode --seq -1 "$work/site.json"
echo '[]' > "$work/empty.json"
expect 0 "000902027f00000001"       -- encode --hex --type 2 --seq 127 "$work/empty.json"
expect 2 "unknown option"           -- get --bogus --server "$srv" OBJ_DEVICE
# Captures written byte by byte, as a capture tool would, from datagrams the
# tool itself encodes: no root and no tcpdump needed. Hex text is built up
# and turned into bytes at the end.
num() {  # num BYTES ORDER VALUE: VALUE as hex in BYTES bytes, le or be
  local h; h=$(printf "%0$(($1 * 2))x" "$3")
  [ "$2" = be ] && { echo "$h"; return; }
  local out="" i; for ((i = ${#h} - 2; i >= 0; i -= 2)); do out+=${h:i:2}; done; echo "$out"
}
frame() {  # frame LINK SPORT DPORT HEX [FRAG]: a UDP datagram on a link, as hex
  local udp ip n=$((${#4} / 2)) flags=4000
  [ -n "${5:-}" ] && flags=$5
  udp=$(num 2 be "$2")$(num 2 be "$3")$(num 2 be $((n + 8)))0000$4
  case "$1" in
    eth) ip=4500$(num 2 be $((n + 28)))0000${flags}40110000 ; ip+=7f0000017f000001
         echo "0000000000010000000000020800$ip$udp" ;;
    null) echo "$(num 4 "$order" 2)4500$(num 2 be $((n + 28)))0000${flags}401100007f0000017f000001$udp" ;;
    sll6) echo "000003040006000000000000000086dd60000000$(num 2 be $((n + 8)))1140$(printf '0%.0s' {1..31})1$(printf '0%.0s' {1..31})1$udp" ;;
  esac
}
capture() {  # capture FILE ORDER LINKTYPE FRAME...: a pcap file
  local file=$1 hex; order=$2
  hex=$(num 4 "$order" $((0xa1b2c3d4)))$(num 2 "$order" 2)$(num 2 "$order" 4)$(num 4 "$order" 0)
  hex+=$(num 4 "$order" 0)$(num 4 "$order" 65535)$(num 4 "$order" "$3")
  shift 3
  local t=1700000000 f
  for f in "$@"; do
    hex+=$(num 4 "$order" $t)$(num 4 "$order" 250)$(num 4 "$order" $((${#f} / 2)))$(num 4 "$order" $((${#f} / 2)))$f
    t=$((t + 1))
  done
  printf "$(sed 's/../\\x&/g' <<<"$hex")" > "$file"
}
echo '[[{"objectType": "OBJ_DEVICE"}, {"objectValues": [{"TAG_DEV_ID": 78}]}]]' > "$work/key.json"
req=$("${bin[@]}" encode --hex --type 1 --seq 6 "$work/key.json")
seg0=$(sed -n 1p "$work/big.hex") seg1=$(sed -n 2p "$work/big.hex")
other=$("${bin[@]}" encode --hex --type 0 --seq 1 "$work/site.json")
order=le
capture "$work/eth.pcap" le 1 "$(frame eth 50000 4000 "$req")" "$(frame eth 4000 50000 "$seg1")" \
  "$(frame eth 50000 4000 00ff0102)" "$(frame eth 5353 5000 "$other")" \
  "$(frame eth 4000 50000 "$seg0")" "$(frame eth 50000 4000 "$req" 2001)"
expect 1 '2023-11-14T22:13:20.000250Z to server type 1 seq 6 [[{"objectType": "OBJ_DEVICE"}, {"objectValues": [{"TAG_DEV_ID": 78}' -- decode --pcap "$work/eth.pcap"
expect 1 "2023-11-14T22:13:24.000250Z from server type 1 seq 6 [[{\"objectType\": \"OBJ_DEVICE\"}, {\"objectValues\": [{\"TAG_DEV_ID\": 78}, {\"TAG_DEV_LABEL\": \"$label\"" -- decode --pcap "$work/eth.pcap"
expect 1 "packet 3: malformed datagram (to server, 4 bytes)" -- decode --pcap "$work/eth.pcap"
expect 1 "packet 6: IP fragment skipped" -- decode --pcap "$work/eth.pcap"
expect_without 1 "Set by the CLI test" -- decode --pcap "$work/eth.pcap"
expect 0 'to server type 0 seq 1 [[{"objectType": "OBJ_DEVICE"}, {"objectValues": [{"TAG_DEV_ID": 77}, {"TAG_DEV_LABEL": "Set by the CLI test"}' -- decode --pcap --port 5000 "$work/eth.pcap"
input="$work/eth.pcap" expect 1 '  [{"objectType": "OBJ_DEVICE"}' -- decode --pcap - --pretty
# Big-endian file, Linux cooked link, IPv6: all good, so status 0.
capture "$work/sll6.pcap" be 113 "$(frame sll6 4000 50000 "$seg0")" "$(frame sll6 50000 4000 "$req")" \
  "$(frame sll6 4000 50000 "$seg1")"
expect 0 "from server type 1 seq 6 [[{\"objectType\": \"OBJ_DEVICE\"}, {\"objectValues\": [{\"TAG_DEV_ID\": 78}, {\"TAG_DEV_LABEL\": \"$label\"" -- decode --pcap "$work/sll6.pcap"
expect 0 "to server type 1 seq 6"   -- decode --pcap "$work/sll6.pcap"
# Loopback (BSD null) link; a reply missing a segment is reported at the end.
order=le
capture "$work/null.pcap" le 0 "$(frame null 50000 4000 "$req")" "$(frame null 4000 50000 "$seg1")"
expect 1 "1 message not whole (first: from server type 1 sequence 6, 1 of its 2 segments)" -- decode --pcap "$work/null.pcap"
expect 1 '2023-11-14T22:13:20.000250Z to server' -- decode --pcap "$work/null.pcap"
# A capture cut off in its last packet: what came before is still printed.
head -c -5 "$work/sll6.pcap" > "$work/cut.pcap"
expect 1 "the capture is damaged after packet 2" -- decode --pcap "$work/cut.pcap"
expect 1 "to server"                -- decode --pcap "$work/cut.pcap"
expect 1 "cannot read the capture"  -- decode --pcap "$work/site.json"
expect 2 "--hex or --pcap"          -- decode --pcap --hex "$work/eth.pcap"

expect 0 "4. event"                 -- demo

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
