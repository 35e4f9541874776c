#!/usr/bin/env bash
# Benchmark of the developer-folder scan and the junk measurement under Wine, side by
# side with a plain single-threaded FindFirstFileW walk of the same trees and, as the
# floor, du -s natively. Prints figures; it passes or fails nothing.
#   bash scripts/bench-walk.sh [BUILD_DIR] [REPEAT]     (defaults: build/win, 3)
# The synthetic trees (about 212,000 files in 150 projects plus ordinary folders, and a
# 100,100-file temp folder) are made once in BUILD_DIR/bench-walk and reused.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build/win}" && cd "${1:-$root/build/win}" && pwd)
repeat=${2:-3}
tree=$build/bench-walk
cd "$root"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/scripts/wine-run.sh;$build" >/dev/null
fi
cmake --build "$build" --target tess_bench_walk >/dev/null

# n small files named PREFIX0..PREFIXn-1 in DIR, with one process per folder.
files() {
  local dir=$1 n=$2 prefix=$3 names=() i
  mkdir -p "$dir"
  for ((i = 0; i < n; i++)); do names+=("$dir/$prefix$i"); done
  echo "0123456789abcdef" | tee "${names[@]}" >/dev/null
}
# n folders DIR/PREFIX0.. with m files each.
folders() {
  local dir=$1 n=$2 prefix=$3 m=$4 i
  for ((i = 0; i < n; i++)); do files "$dir/$prefix$i" "$m" f; done
}

make_protos() {
  local p=$tree/proto
  rm -rf "$p"
  # JavaScript: 40 packages of 27 files.
  mkdir -p "$p/node"; echo x >"$p/node/package.json"
  folders "$p/node/src" 5 mod 20
  for ((i = 0; i < 40; i++)); do
    files "$p/node/node_modules/pkg$i" 2 f
    files "$p/node/node_modules/pkg$i/lib" 25 m
  done
  # Rust
  mkdir -p "$p/rust"; echo x >"$p/rust/Cargo.toml"
  folders "$p/rust/src" 5 mod 20
  files "$p/rust/target/debug/deps" 600 lib
  folders "$p/rust/target/debug/build" 20 crate 20
  folders "$p/rust/target/debug/incremental" 10 unit 30
  # Gradle
  mkdir -p "$p/gradle"; echo x >"$p/gradle/build.gradle"; echo x >"$p/gradle/settings.gradle"
  folders "$p/gradle/src/main" 5 pkg 20
  folders "$p/gradle/build/classes" 30 pkg 30
  folders "$p/gradle/build/tmp" 5 t 20
  files "$p/gradle/.gradle/8.0" 100 h
  # Python
  mkdir -p "$p/python"; echo x >"$p/python/requirements.txt"
  folders "$p/python/app" 5 mod 20
  mkdir -p "$p/python/venv"; echo x >"$p/python/venv/pyvenv.cfg"
  folders "$p/python/venv/Lib/site-packages" 40 pkg 30
  # .NET
  mkdir -p "$p/dotnet"; echo x >"$p/dotnet/App.csproj"
  folders "$p/dotnet/src" 5 ns 20
  files "$p/dotnet/bin/Debug/net8.0" 400 dll
  folders "$p/dotnet/obj" 20 o 40
  # Next.js
  mkdir -p "$p/next"; echo x >"$p/next/package.json"
  folders "$p/next/pages" 5 p 20
  folders "$p/next/.next/cache" 30 c 30
  files "$p/next/.next/server" 200 s
  for ((i = 0; i < 20; i++)); do
    files "$p/next/node_modules/pkg$i" 2 f
    files "$p/next/node_modules/pkg$i/lib" 25 m
  done
}

if [ ! -f "$tree/.complete-v1" ]; then
  echo "bench: making the trees in $tree (once)"
  rm -rf "$tree"
  make_protos
  mkdir -p "$tree/dev" "$tree/proto/tempgroup" "$tree/tmp/Temp"
  for kind in node rust gradle python dotnet next; do
    for ((i = 0; i < 20; i++)); do cp -r "$tree/proto/$kind" "$tree/dev/$kind-$i"; done
    # Some projects deeper down, as in a clients/company/project layout.
    for ((i = 0; i < 5; i++)); do
      mkdir -p "$tree/dev/clients/acme$i"
      cp -r "$tree/proto/$kind" "$tree/dev/clients/acme$i/$kind"
    done
  done
  folders "$tree/dev/Documents" 20 album 100  # ordinary folders
  files "$tree/proto/tempdir" 91 tmp
  for ((g = 0; g < 100; g++)); do cp -r "$tree/proto/tempdir" "$tree/proto/tempgroup/d$g"; done
  for ((g = 0; g < 11; g++)); do cp -r "$tree/proto/tempgroup" "$tree/tmp/Temp/g$g"; done
  touch "$tree/.complete-v1"
fi

dev_files=$(find "$tree/dev" -type f | wc -l)
temp_files=$(find "$tree/tmp/Temp" -type f | wc -l)

# du -s, natively: the best of REPEAT warm runs.
du_best() {
  local best= t0 t1 ms i
  du -s "$1" >/dev/null
  for ((i = 0; i < repeat; i++)); do
    t0=$(date +%s%N); du -s "$1" >/dev/null; t1=$(date +%s%N)
    ms=$(((t1 - t0) / 1000000))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  awk -v ms="$best" 'BEGIN { printf "%.3f", ms / 1000 }'
}
du_dev=$(du_best "$tree/dev")
du_temp=$(du_best "$tree/tmp/Temp")

winpath() { echo "Z:${1//\//\\}"; }
source scripts/wine-env.sh
wine_env_start "$build" >/dev/null
trap wine_env_stop EXIT
out=$(wine "$build/tess_bench_walk.exe" --dev "$(winpath "$tree/dev")" \
  --temp "$(winpath "$tree/tmp/Temp")" --repeat "$repeat" 2>&1 | tr -d '\r')
echo "$out" | grep '^INFO' | sed 's/^INFO /  /' || true

echo "$out" | awk -v du_dev="$du_dev" -v du_temp="$du_temp" -v nd="$dev_files" \
  -v nt="$temp_files" -v cpus="$(nproc)" '
  $1 == "RESULT" { t[$2] = $4 }
  function row(label, s, n, du, plain) {
    if (s == "") return
    printf "  %-40s %8.3f s %10.0f files/s %7.2fx du", label, s, n / s, s / du
    if (plain != "") printf " %7.2fx plain", s / plain
    printf "\n"
  }
  END {
    printf "Developer tree: %d files (%d cores)\n", nd, cpus
    row("du -s (native, the floor)", du_dev, nd, du_dev, "")
    row("plain FindFirstFileW, one thread", t["dev_plain"], nd, du_dev, "")
    row("FindFirstFileExW basic+large, one thread", t["dev_findex"], nd, du_dev, t["dev_plain"])
    row("scan_dev_junk (TESS_DEV_ROOTS)", t["dev_scan"], nd, du_dev, t["dev_plain"])
    printf "Temp folder: %d files\n", nt
    row("du -s (native, the floor)", du_temp, nt, du_temp, "")
    row("plain FindFirstFileW, one thread", t["temp_plain"], nt, du_temp, "")
    row("FindFirstFileExW basic+large, one thread", t["temp_findex"], nt, du_temp, t["temp_plain"])
    row("junk measurement (one category folder)", t["temp_measure"], nt, du_temp, t["temp_plain"])
  }'
