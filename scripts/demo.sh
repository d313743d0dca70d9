#!/usr/bin/env bash
# The main job: installs what is missing, builds the library and the wqxobj
# tool, and runs `wqxobj demo` (extra arguments go to it, e.g. --pretty).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh native
cmake -S . -B out/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build out/native -j "${JOBS:-$(nproc)}" --target wqxobj-cli >/dev/null
exec out/native/tools/wqxobj demo "$@"
