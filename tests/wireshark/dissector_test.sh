#!/usr/bin/env bash
# The Wireshark dissector against the library: make_pcap writes the datagrams
# the library made and what the library reads in each; text2pcap wraps them
# in UDP over IPv4 to the simulator's port 4000; tshark
# reads the capture with the generated dissector; every frame must show the
# same header, tags, values, object groups and errors.
#
# Usage: dissector_test.sh MAKE_PCAP WQXOBJ.LUA WORKDIR
# Exits 77 (CTest's skip code) when tshark is not installed.
set -euo pipefail
make_pcap=$1 lua=$2 work=$3

if ! command -v tshark >/dev/null 2>&1 || ! command -v text2pcap >/dev/null 2>&1; then
  echo "SKIPPED: tshark or text2pcap not installed"
  exit 77
fi
mkdir -p "$work"
"$make_pcap" "$work/wqx.dump" "$work/expected.txt"
text2pcap -q -4 127.0.0.1,127.0.0.1 -u 50000,4000 "$work/wqx.dump" "$work/wqx.pcap"

# tshark 4.0 runs Lua scripts as root too (it only warns), so nothing special
# is needed here; its warning goes to stderr, kept for a failure report.
tshark -X "lua_script:$lua" -r "$work/wqx.pcap" -T fields -E separator=/t -E occurrence=a \
  -E aggregator='|' -e frame.number -e wqxobj.type -e wqxobj.seq -e wqxobj.index -e wqxobj.total \
  -e wqxobj.tag.summary -e wqxobj.object -e wqxobj.error -e wqxobj.ping \
  >"$work/actual.txt" 2>"$work/tshark.err" || { cat "$work/tshark.err"; exit 1; }
# A script that fails to load is only reported on stderr.
if grep -qi "lua" "$work/tshark.err"; then
  cat "$work/tshark.err"; exit 1
fi

awk -F'\t' '
  NR == FNR { want[$1] = $0; next }
  {
    got[$1] = 1
    if (!($1 in want)) { print "frame " $1 ": not expected"; bad = 1; next }
    n = split(want[$1], w, "\t")
    for (i = 2; i <= 9; i++) {
      e = (i <= n) ? w[i] : ""
      if (i == 7) gsub(",", "|", e)   # tshark joins the classes with "|" too
      if (e != "*" && e != $i) { printf "frame %s column %d:\n  want %s\n  got  %s\n", $1, i, e, $i; bad = 1 }
    }
  }
  END {
    for (f in want) if (!(f in got)) { print "frame " f ": not dissected"; bad = 1 }
    exit bad
  }' "$work/expected.txt" "$work/actual.txt"
echo "dissector agrees with the library on $(wc -l <"$work/expected.txt") frames"
