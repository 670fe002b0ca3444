#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-packages
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target VellorinQuade startup_bench list_fill_bench collectors_bench delete_bench console_bench
prefix=$root/build/windows/wineprefix
scripts/wine-prefix "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  'wine "$1/bench/startup_bench.exe" 20; wine "$1/bench/list_fill_bench.exe" 500;
   wine "$1/bench/collectors_bench.exe" 5; wine "$1/bench/delete_bench.exe" 7;
   wine "$1/bench/console_bench.exe" 5; wineserver -w' _ "$root/build/windows"
ls -l build/windows/VellorinQuade.exe
