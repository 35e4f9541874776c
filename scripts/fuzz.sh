#!/usr/bin/env bash
# Builds the libFuzzer targets natively with clang (ASan + UBSan) and runs each for
# SECONDS (default 25), starting from its committed seeds.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. bash scripts/fuzz.sh 600 settings
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
secs=${1:-25}
shift || true
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESS_FUZZ=ON -DTESS_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
if ! cmake --build build/fuzz -j "${TESS_JOBS:-$(nproc)}" >build/fuzz/build.log 2>&1; then
  echo "fuzz: the fuzz targets did not build:"; grep -E 'error|Error' build/fuzz/build.log | head -20
  exit 1
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do n=$(basename "$f" _fuzz.cpp); targets+=("$n"); done
fi
passed=0; failed=0
for t in "${targets[@]}"; do
  work=build/fuzz/corpus-$t
  mkdir -p "$work" "fuzz/corpus/$t"
  echo "== fuzz $t for ${secs}s"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     "build/fuzz/fuzz_$t" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/$t-" "$work" "fuzz/corpus/$t" \
       > "build/fuzz/$t.log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build/fuzz/$t.log" | tr '\n' ' '
    grep -E 'cov: [0-9]+' "build/fuzz/$t.log" | tail -1
  else
    failed=$((failed + 1))
    echo "fuzz $t FAILED:"; tail -40 "build/fuzz/$t.log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
