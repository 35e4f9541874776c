#!/usr/bin/env bash
# Benchmark of the main window under Wine: the time from process start to the end of the
# first WM_PAINT, side by side with a bare Win32 window program built beside it (its start
# to its first paint), and to the moment the window is fully interactive (every control
# created, the page's list filled), one full repaint of the window at 1140 x 780 on each page, and the
# time to fill the Apps page with 2,000 process groups, the Developer junk page with
# 5,000 folders and History with 10,000 journal entries beside a bare list view given the
# same rows.
# Prints figures (medians); it passes or fails nothing. Goals: the first paint within 1.3 x
# the bare window's, fully interactive within 2 x the bare window's first paint, a full repaint within one 60 Hz frame (16 ms), a page fill under 100 ms (History
# with 10,000 entries under 200 ms).
#   bash scripts/bench-window.sh [BUILD_DIR] [REPEAT]     (defaults: build/win, 10)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build/win}" && cd "${1:-$root/build/win}" && pwd)
repeat=${2:-10}
cd "$root"
source scripts/wine-env.sh
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/scripts/wine-run.sh;$build" >/dev/null
fi
cmake --build "$build" --target Tessavo tess_bench_window tess-uidriver >/dev/null
data=$(mktemp -d /tmp/tess-bench-window.XXXXXX)
trap 'wine_env_stop; rm -rf "$data"' EXIT
wine_env_start "$build"
export TESS_DATA_DIR="Z:${data//\//\\}" TESS_OFFSCREEN=1 TESS_NO_UPDATE_CHECK=1

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

bare=() app=() ready=()
for _ in $(seq "$repeat"); do
  bare+=("$(wine "$build/tess_bench_window.exe" bare | tr -d '\r')")
  log=$data/trace.txt
  TESS_TRACE=1 wine "$build/Tessavo.exe" 2>"$log" &
  pid=$!
  for _ in $(seq 200); do grep -q "^interactive" "$log" 2>/dev/null && break; sleep 0.05; done
  app+=("$(sed -n 's/^first paint: \([0-9.]*\) ms.*/\1/p' "$log" | head -1)")
  ready+=("$(sed -n 's/^interactive: \([0-9.]*\) ms.*/\1/p' "$log" | head -1)")
  if w=$(wine "$build/tess-uidriver.exe" wait-window TessavoWindow --timeout 5000 2>/dev/null); then
    wine "$build/tess-uidriver.exe" close "${w%%$'\t'*}" --timeout 5000 >/dev/null 2>&1 || true
  fi
  wait "$pid" 2>/dev/null || true
done
b=$(printf '%s\n' "${bare[@]}" | median)
a=$(printf '%s\n' "${app[@]}" | median)
r=$(printf '%s\n' "${ready[@]}" | median)
echo "== from process start (median of $repeat, ms; bare = a bare Win32 window's first paint)"
printf '%-24s %10s %10s %8s\n' "" "bare" "Tessavo" "ratio"
awk -v a="$a" -v r="$r" -v b="$b" 'BEGIN {
  printf "%-24s %10s %10s %8.2f   (goal <= 1.30)\n", "first paint", b, a, (b > 0 ? a / b : 0)
  printf "%-24s %10s %10s %8.2f   (goal < 2.00)\n", "fully interactive", b, r, (b > 0 ? r / b : 0) }'
echo "== one full repaint at 1140 x 780 (median of 20, ms; goal <= 16)"
printf '%-24s %10s %14s\n' "" "whole" "window alone"
wine "$build/tess_bench_window.exe" repaint 20 | tr -d '\r' |
  awk -F'\t' '{printf "%-24s %10s %14s\n", $1, $2, $3}'
echo "== filling a page (median of 5, ms; goal < 100, History < 200)"
printf '%-30s %10s %18s\n' "" "fill_page" "bare list view"
wine "$build/tess_bench_window.exe" fill 5 | tr -d '\r' |
  awk -F'\t' '{printf "%-30s %10s %18s\n", $1, $2, $3}'
