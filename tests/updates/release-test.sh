#!/usr/bin/env bash
# scripts/release.sh packages a build; its sha256sums.txt must verify with sha256sum -c,
# its signature (by the build's test key, build/test-keys) with openssl, and both must be
# accepted by the program's own checksum reader and CNG signature check (run under Wine).
#   release-test.sh SOURCE_DIR BUILD_DIR TEST-PROGRAM-COMMAND...
set -eu
root=$1 build=$2
shift 2
out=$build/release-test
key=$build/test-keys/test-key.pem
TESS_SIGNING_KEY=$key bash "$root/scripts/release.sh" --from "$build" "$out" >/dev/null
(cd "$out" && sha256sum --strict -c sha256sums.txt)
[ "$(wc -l < "$out/sha256sums.txt")" -eq 3 ]
openssl ec -in "$key" -pubout 2>/dev/null > "$out.pub"
openssl dgst -sha256 -verify "$out.pub" -signature "$out/sha256sums.txt.sig" "$out/sha256sums.txt"
"$@" --child verify_release_folder "$(printf 'Z:%s' "$out" | tr / '\\')"
# Signed after its list changed: the program's own check refuses it.
echo "# changed" >> "$out/sha256sums.txt"
if "$@" --child verify_release_folder "$(printf 'Z:%s' "$out" | tr / '\\')" 2>/dev/null; then
  echo "a list changed after signing was accepted"; exit 1
fi
# Without a key the list goes out unsigned, and the script says so.
bash "$root/scripts/release.sh" --from "$build" "$out.unsigned" 2>&1 >/dev/null |
  grep -q "not signed"
[ ! -e "$out.unsigned/sha256sums.txt.sig" ]
if bash "$root/scripts/release.sh" --from "$build" --tag v0.0.0-not-ours "$out.bad" 2>/dev/null; then
  echo "release.sh accepted a tag that is not the program's version"; exit 1
fi
echo "release files verified"
