#!/usr/bin/env bash
# Line and branch coverage of the library (src/ and platform/) from the
# counts a `--coverage` build left after running the suite: a per-file table
# of each, then the totals. Usage: scripts/coverage-report.sh <build dir>
# It only reports: no figure makes it fail.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: coverage-report.sh <build dir>}
json="$dir/coverage.json"

# One pass over the counts; the tables are read from its result. Branches
# that only a thrown exception takes, and those gcc proves unreachable, are
# left out: they are the compiler's, not decisions in our code.
gcovr --root . --object-directory "$dir" --filter 'src/' --filter 'platform/' \
      --exclude-throw-branches --exclude-unreachable-branches \
      --json "$json" >/dev/null

echo "--- line coverage by file ---"
gcovr --add-tracefile "$json" --txt
echo "--- branch coverage by file ---"
gcovr --add-tracefile "$json" --txt --branches
echo "--- totals ---"
# The summaries go to stdout; the tables printed with them go to a scratch
# file in the build tree. Never /dev/null: gcovr replaces the file it
# writes, and would leave a plain file there, which breaks apt and much else.
scratch="$dir/coverage-summary.txt"
for part in src/ platform/; do
  echo "$part"
  gcovr --add-tracefile "$json" --filter "$part" --print-summary --txt "$scratch" | grep -E '^(lines|branches)'
done
echo "src/ and platform/"
gcovr --add-tracefile "$json" --print-summary --txt "$scratch"
