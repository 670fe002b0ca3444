#!/usr/bin/env bash
# Builds the program and opens it under Wine.
#   scripts/run.sh                 in a sandbox prefix inside the build tree,
#                                  seeded on first use with a few startup items
#   scripts/run.sh --prefix DIR    in the Wine prefix DIR (for instance ~/.wine)
# With no display it starts Xvfb, saves a picture of the window once the first
# list is complete, says where, and exits.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

prefix=""
if [ "${1:-}" = "--prefix" ]; then
  prefix=$(realpath -m "${2:?--prefix needs a folder}")
fi

bash scripts/install-packages
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target VellorinQuade vq_snapshot

build=$root/build/windows
if [ -z "$prefix" ]; then
  prefix=$build/sandbox
  scripts/wine-prefix "$prefix"
  scripts/seed-sandbox "$prefix"
fi
export WINEPREFIX=$prefix WINEDEBUG=-all

if [ -n "${DISPLAY:-}" ]; then
  echo "opening Vellorin Quade in $prefix"
  exec wine "$build/VellorinQuade.exe"
fi

# Wine sees the Unix root as drive Z:. (No wine tool may run before Xvfb: the
# prefix's desktop would come up without a display.)
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
mkdir -p "$build/artifacts"
picture=$build/artifacts/run-window.bmp
echo "no display: starting Xvfb for one picture of the window"
wineserver -k 2>/dev/null || true
wineserver -w
# Wine's own processes end before the display does.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c 'wine "$@"; status=$?; wineserver -w; exit $status' _ \
  "$build/tests/vq_snapshot.exe" "$(windows_path "$build/VellorinQuade.exe")" "$(windows_path "$picture")"
echo "picture of the window after its first list: $picture"
