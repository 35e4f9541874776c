#!/usr/bin/env bash
# scripts/release.sh packages a build; its sha256sums.txt must verify with sha256sum -c
# and be accepted by the program's own checksum reader (run under Wine).
#   release-test.sh SOURCE_DIR BUILD_DIR TEST-PROGRAM-COMMAND...
set -eu
root=$1 build=$2
shift 2
out=$build/release-test
bash "$root/scripts/release.sh" --from "$build" "$out" >/dev/null
(cd "$out" && sha256sum --strict -c sha256sums.txt)
[ "$(wc -l < "$out/sha256sums.txt")" -eq 3 ]
"$@" --child verify_release_folder "$(printf 'Z:%s' "$out" | tr / '\\')"
if bash "$root/scripts/release.sh" --from "$build" --tag v0.0.0-not-ours "$out.bad" 2>/dev/null; then
  echo "release.sh accepted a tag that is not the program's version"; exit 1
fi
echo "release files verified"
