#!/usr/bin/env bash
# Installs what is missing, builds Tessavo.exe and tessavo-cli.exe and runs the newest
# end-to-end job under Wine: the full scan of the Wine prefix, printed as a summary.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/scripts/wine-run.sh;$root/build/win" >/dev/null
cmake --build build/win -j "$(nproc)"
source scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start "$root/build/win"
echo "== tessavo-cli scan (the full scan of this Wine prefix; progress on standard error)"
wine build/win/tessavo-cli.exe scan
