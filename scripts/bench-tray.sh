#!/usr/bin/env bash
# Benchmark of the tray watch under Wine, side by side with a bare Win32 program (hidden
# window, notification icon, timer at the same period): memory after 200 ticks, growth up
# to the last tick (GDI and USER objects, handles) and CPU time per tick. Prints figures;
# it passes or fails nothing. With the defaults it runs for about 100 seconds.
#   bash scripts/bench-tray.sh [TICK_MS] [TICKS]     (defaults: 50, 2000)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/wine-env.sh
build=$root/build/win
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/scripts/wine-run.sh;$build" >/dev/null
fi
cmake --build "$build" -j "${TESS_JOBS:-2}" --target Tessavo tess_bench_tray tess_bench_bare >/dev/null
trap wine_env_stop EXIT
wine_env_start "$build"
wine "$build/tess_bench_tray.exe" "${1:-50}" "${2:-2000}"
