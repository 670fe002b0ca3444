#!/usr/bin/env bash
# Builds everything and runs every test: the logic natively (plain and with
# ASan/UBSan), the fuzz targets of its text routines for a few seconds each, then the Windows build's tests under Wine on a private Xvfb
# display (the logic again, the Windows layer, and the program end to end).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

bash scripts/install-packages

for preset in linux linux-asan windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

ctest --preset linux -j"$jobs"
ctest --preset linux-asan -j"$jobs"
bash scripts/fuzz.sh 10

prefix=$root/build/windows/wineprefix
scripts/wine-prefix "$prefix"
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows -j"$jobs"
echo "picture of the main window: $root/build/windows/artifacts/form1.bmp"
