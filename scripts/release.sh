#!/usr/bin/env bash
# Builds the release files with the project's own scripts and writes them, with their
# checksum list, into OUT (default dist/):
#   Tessavo.exe, Tessavo-Setup.exe, tessavo-cli.exe, sha256sums.txt
#   bash scripts/release.sh [--tag vX.Y.Z] [--from BUILD_DIR] [OUT]
# --tag   refuses a tag that is not the program's own version (a release whose program
#         reports an older version would be offered as an update forever).
# --from  packages an existing Windows build instead of building (the tests use it).
# Tessavo-Setup.exe is the copy of Tessavo.exe the build writes: a file name containing
# "setup" opens the setup window. tessavo-cli.exe goes out with every release: an update
# downloads it beside the program and checks it against sha256sums.txt like the program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tag= from= out=
while [ $# -gt 0 ]; do
  case $1 in
    --tag) tag=$2; shift 2 ;;
    --from) from=$2; shift 2 ;;
    -*) echo "release: unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift ;;
  esac
done
out=${out:-$root/dist}

version=$(sed -n 's/^project(Tessavo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
program_version=$(sed -n 's/.*kVersion = "\(.*\)";/\1/p' "$root/src/core/entry.hpp")
if [ "$version" != "$program_version" ]; then
  echo "release: CMakeLists.txt says $version but the program says $program_version" >&2
  exit 1
fi
if [ -n "$tag" ] && [ "${tag#v}" != "$version" ]; then
  echo "release: tag $tag does not match the program version $version" >&2
  exit 1
fi

if [ -z "$from" ]; then
  cd "$root"
  bash scripts/setup.sh
  source scripts/wine-env.sh
  build_win "$root" "${TESS_JOBS:-$(nproc)}" Tessavo tessavo-cli
  from=$root/build/win
fi

rm -rf "$out"
mkdir -p "$out"
cp "$from/Tessavo.exe" "$out/Tessavo.exe"
cp "$from/Tessavo-Setup.exe" "$out/Tessavo-Setup.exe"
cp "$from/tessavo-cli.exe" "$out/tessavo-cli.exe"
# sha256sum's own text format: "{64 hex}  {name}", one line each.
(cd "$out" && sha256sum Tessavo.exe Tessavo-Setup.exe tessavo-cli.exe > sha256sums.txt)
echo "release $version:"
(cd "$out" && ls -l Tessavo.exe Tessavo-Setup.exe tessavo-cli.exe sha256sums.txt && cat sha256sums.txt)
