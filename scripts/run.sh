#!/usr/bin/env bash
# Installs what is missing, builds Tessavo.exe and runs its main job under Wine.
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
echo "== Tessavo.exe apply-plan with a malformed plan (admin helper, expect exit 3)"
set +e
wine build/win/Tessavo.exe apply-plan zz
echo "exit code $?"
