#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: natively under
# AddressSanitizer and UBSan, then the Windows build under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
jobs=${TESS_JOBS:-$(nproc)}

echo "== layers: every include points down"
bash scripts/check-layers.sh

echo "== native build (ASan + UBSan)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESS_SANITIZE=ON >/dev/null
cmake --build build/native -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/native -j "$jobs" --output-on-failure

echo "== fuzzing every parser of untrusted input (${TESS_FUZZ_SECONDS:-20} s each)"
bash scripts/fuzz.sh "${TESS_FUZZ_SECONDS:-20}"

echo "== Windows build (MinGW-w64), tests under Wine"
source scripts/wine-env.sh
build_win "$root" "$jobs"
echo "== portable files: no <windows.h>, directly or through a project header"
bash scripts/check-portable.sh x86_64-w64-mingw32-g++-posix "$root/build/win/json-include"
trap wine_env_stop EXIT
# One Wine lane per parallel test (see scripts/wine-env.sh): tests that run at the same time
# never share a prefix, a wineserver, a display or a Recycle Bin. Most Windows tests spend
# their time waiting for a window or a process, so twice as many run as there are cores.
lanes=${TESS_WINE_JOBS:-$((2 * jobs))}
start=$(date +%s)
wine_lanes_start "$root/build/win" "$lanes"
echo "wine: $lanes lanes and lane own ready in $(( $(date +%s) - start )) s"
# The test lists are read in the first lane, before any test runs there.
. "$root/build/win/lanes/1/env"
# A test program that Wine fails to start at all (seen once in a fresh prefix) exits at
# once without a line of output; only such a test gets one more try, said here. A test
# that printed anything and failed has failed.
results="$root/build/win/Testing/results.xml"
spec="$root/build/win/lanes/resources.json"
if ! ctest --test-dir build/win -j "$lanes" --resource-spec-file "$spec" --output-on-failure \
     --output-junit "$results"; then
  failed=$(sed 's/^[0-9]*://' build/win/Testing/Temporary/LastTestsFailed.log | sort)
  silent=$(awk '/<testcase /{ name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
                              fail = /status="fail"/ }
                fail && /<system-out><\/system-out>/ { print name }' "$results" | sort)
  if [ -z "$failed" ] || [ "$failed" != "$silent" ]; then
    echo "failed with output (not retried): $(comm -23 <(echo "$failed") <(echo "$silent") | xargs)"
    exit 1
  fi
  for t in $silent; do echo "== retrying $t once: Wine started it without any output"; done
  ctest --test-dir build/win --resource-spec-file "$spec" --output-on-failure \
    -R "^($(echo "$silent" | sed 's/[][\.*^$+?(){}|/]/\\&/g' | paste -sd '|'))\$"
fi
