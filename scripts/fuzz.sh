#!/usr/bin/env bash
# Builds the libFuzzer targets of the collectors' text routines and runs each
# for the given number of seconds (default 10). A crash leaves its input in
# build/linux-fuzz/artifacts/ and fails the run.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
seconds=${1:-10}
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j"$(nproc)"
mkdir -p build/linux-fuzz/artifacts
for target in build/linux-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  printf '%-28s ' "$(basename "$target")"
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build/linux-fuzz/artifacts/ 2>&1 |
    awk '/stat::number_of_executed_units/ {print $2 " inputs"} /ERROR|deadly signal/ {print; bad=1} END {exit bad}'
done
