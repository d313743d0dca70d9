#!/usr/bin/env bash
# Mutation testing, run by hand: plants each small fault listed in
# scripts/mutations.txt, one at a time, in a scratch copy of the tree, builds
# it and runs the test suite. A fault the suite does not notice (a survivor)
# marks behaviour no test pins down. A mutant that does not compile is "not
# viable" and counted apart; a list line whose original text is not found
# exactly once is a "bad line" and nothing is applied.
#
# Usage: scripts/mutate.sh [--list] [--only N]...
#   --list     print the numbered faults and exit
#   --only N   run fault N only (may be given more than once)
#   --check    check that every line applies (its text found once), build nothing
# Environment: JOBS (build parallelism, default 1), TEST_TIMEOUT (seconds a
# test may take, default 60), WQX_MUTATE_DIR (default /tmp/wqx-mutate).
#
# One Debug build directory serves every mutant, so each costs an
# incremental build of the touched file (and of the one restored after the
# previous mutant) plus the suite. The tree is copied with uncommitted
# changes, so a fault list can be tried before it is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list_file=$root/scripts/mutations.txt
work=${WQX_MUTATE_DIR:-/tmp/wqx-mutate}
src=$work/src
build=$work/build
logs=$work/logs
jobs=${JOBS:-1}
test_timeout=${TEST_TIMEOUT:-60}
# Tests left out of every mutant's run (a ctest -E pattern; empty for none).
# None is today: the whole suite takes about half a minute at -j1, the CLI
# test (about 9 s) the longest, and a mutant the suite catches usually stops
# it early (--stop-on-failure).
exclude=''

# ---- the fault list ----
# Fields are split at bars not preceded by a backslash; in the two texts \n
# stands for a line break and \| for a bar.
files=() origs=() repls=() whats=() lines=()
unescape() {  # unescape <var> <text>: \n -> line break, \x01 (was \|) -> |
  local s=${2//\\n/$'\n'}
  printf -v "$1" '%s' "${s//$'\x01'/|}"
}
n=0
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in ''|'#'*) continue ;; esac
  n=$((n + 1))
  IFS='|' read -r f o r w <<<"${line//\\|/$'\x01'}"
  files[n]=$f
  unescape 'origs[n]' "$o"
  unescape 'repls[n]' "$r"
  whats[n]=${w//$'\x01'/|}
  lines[n]=$line
done <"$list_file"
total=$n


# ---- the scratch tree ----
# Only files whose content differs are copied (with a new time), so the build
# directory stays incremental and never keeps an object made from a mutant.
sync_tree() {
  mkdir -p "$src"
  local f
  while IFS= read -r f; do
    [ -f "$f" ] || continue
    if ! cmp -s "$f" "$src/$f"; then
      mkdir -p "$src/$(dirname "$f")"
      cp "$f" "$src/$f"
    fi
  done < <(git ls-files --cached --others --exclude-standard)
}

current=""  # the file a mutant is planted in, to put back on any exit
restore() {
  [ -n "$current" ] && cp "$root/$current" "$src/$current"
  current=""
}
trap restore EXIT

# apply <N>: plants fault N; returns 3 for a bad line, with the reason in $why.
why=""
apply() {  # apply <N> [<tree>]: with a tree other than the scratch one, only checks
  local i=$1 tree=${2:-$src} content rest
  local path=$tree/${files[$1]}
  if [ -z "${files[i]}" ] || [ ! -f "$path" ] || [ -z "${origs[i]}" ]; then
    why="no such file, or no original text"; return 3
  fi
  IFS= read -r -d '' content <"$path" || true
  rest=${content#*"${origs[i]}"}
  if [ "$rest" = "$content" ]; then why="original text not found"; return 3; fi
  if [ "${rest#*"${origs[i]}"}" != "$rest" ]; then why="original text occurs more than once"; return 3; fi
  [ "$tree" = "$src" ] || return 0
  current=${files[i]}
  printf '%s' "${content/"${origs[i]}"/"${repls[i]}"}" >"$path"
}

only=()
while [ $# -gt 0 ]; do
  case "$1" in
    --list)
      for ((i = 1; i <= total; i++)); do printf '%3d  %-22s %s\n' "$i" "${files[i]}" "${whats[i]}"; done
      exit 0 ;;
    --only)
      [[ "${2:-}" =~ ^[0-9]+$ ]] && [ "$2" -ge 1 ] && [ "$2" -le "$total" ] ||
        { echo "mutate.sh: --only needs a number from 1 to $total" >&2; exit 2; }
      only+=("$2"); shift ;;
    --check)
      status=0
      for ((i = 1; i <= total; i++)); do
        apply "$i" "$root" || { printf 'bad line %d (%s): %s\n' "$i" "${files[i]}" "$why"; status=1; }
      done
      [ $status -eq 0 ] && echo "all $total lines apply"
      exit $status ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "mutate.sh: unknown argument '$1' (--list, --only N)" >&2; exit 2 ;;
  esac
  shift
done
[ ${#only[@]} -gt 0 ] || only=($(seq 1 "$total"))

run_tests() {  # run_tests <log>: the suite, stopping at the first failure
  local args=(--timeout "$test_timeout" --stop-on-failure --output-on-failure)
  [ -z "$exclude" ] || args+=(-E "$exclude")
  (cd "$build" && ctest "${args[@]}") >"$1" 2>&1
}

mkdir -p "$logs"
echo "mutate.sh: scratch tree $src, build $build, $total faults listed, ${#only[@]} to run"
echo "mutate.sh: tests excluded (ctest -E): ${exclude:-none}; per-test timeout ${test_timeout}s"
sync_tree
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWQX_BUILD_BENCH=OFF \
    -DWQX_BUILD_TOOLS=ON -DWQX_BUILD_TESTS=ON >"$logs/configure.log" 2>&1 ||
    { cat "$logs/configure.log"; exit 1; }
fi
start=$(date +%s)
cmake --build "$build" -j "$jobs" >"$logs/baseline-build.log" 2>&1 ||
  { tail -30 "$logs/baseline-build.log"; echo "mutate.sh: the unmutated tree does not build" >&2; exit 1; }
# Without a passing baseline every mutant would look caught.
run_tests "$logs/baseline-tests.log" ||
  { tail -30 "$logs/baseline-tests.log"; echo "mutate.sh: the unmutated suite fails" >&2; exit 1; }
echo "mutate.sh: baseline builds and passes ($(($(date +%s) - start)) s)"

caught=0 survived=0 unviable=0 bad=0
survivors=() unviables=() bads=()
for i in "${only[@]}"; do
  t0=$(date +%s)
  label=$(printf '%3d %s: %s' "$i" "${files[i]}" "${whats[i]}")
  if ! apply "$i"; then
    bad=$((bad + 1)); bads+=("$label ($why)")
    echo "BAD LINE  $label ($why)"; continue
  fi
  if ! cmake --build "$build" -j "$jobs" >"$logs/$i-build.log" 2>&1; then
    unviable=$((unviable + 1)); unviables+=("$label")
    result="NOT VIABLE"
  elif run_tests "$logs/$i-tests.log"; then
    survived=$((survived + 1)); survivors+=("$label")
    result="SURVIVED"
  else
    caught=$((caught + 1))
    first=$(grep -m1 -E '^\s+[0-9]+ - ' "$logs/$i-tests.log" | sed 's/^ *//' || true)
    result="caught"
  fi
  restore
  printf '%-10s %s (%d s)\n' "$result" "$label" "$(($(date +%s) - t0))"
  if [ "$result" = caught ] && [ -n "$first" ]; then echo "           first failure: $first"; fi
done

viable=$((caught + survived))
echo
echo "=== mutation run: caught $caught/$viable viable mutants" \
     "($unviable not viable, $bad bad lines; $(($(date +%s) - start)) s in all) ==="
echo "tests excluded: ${exclude:-none}"
if [ ${#survivors[@]} -gt 0 ]; then echo "survivors:"; printf '  %s\n' "${survivors[@]}"; fi
if [ ${#unviables[@]} -gt 0 ]; then echo "not viable:"; printf '  %s\n' "${unviables[@]}"; fi
if [ ${#bads[@]} -gt 0 ]; then echo "bad lines:"; printf '  %s\n' "${bads[@]}"; fi
