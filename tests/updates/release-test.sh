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
# The programs go out stripped and small; their debug information stays beside them, named
# by the program, outside the checksum list.
objdump=x86_64-w64-mingw32-objdump
for exe in Tessavo.exe tessavo-cli.exe; do
  if $objdump -h "$out/$exe" | grep -q ' \.debug_'; then echo "$exe carries debug sections"; exit 1; fi
  if ! $objdump -h "$out/$exe.debug" | grep -q ' \.debug_info'; then
    echo "no debug information in $exe.debug beside the release"; exit 1
  fi
  x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$out.link" "$out/$exe" "$out.copy"
  grep -qaF "$exe.debug" "$out.link" || { echo "$exe does not name $exe.debug"; exit 1; }
done
size=$(stat -c %s "$out/Tessavo.exe")
[ "$size" -lt 2500000 ] || { echo "Tessavo.exe is $size bytes, not under 2.5 MB"; exit 1; }
if grep -q '\.debug' "$out/sha256sums.txt"; then echo "a debug file is in sha256sums.txt"; exit 1; fi
# A build with debug sections in the program is refused, not released.
debug_build=$out.debug-build
rm -rf "$debug_build" && mkdir -p "$debug_build"
cp "$build/Tessavo-Setup.exe" "$build/tessavo-cli.exe" "$debug_build/"
x86_64-w64-mingw32-objcopy --add-section .debug_info="$out/sha256sums.txt" \
  "$build/Tessavo.exe" "$debug_build/Tessavo.exe" 2>/dev/null
if bash "$root/scripts/release.sh" --from "$debug_build" "$out.refused" 2>/dev/null; then
  echo "release.sh released a program with debug sections"; exit 1
fi
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
# With a code-signing certificate (here a self-signed one, no timestamp) the programs go
# out Authenticode-signed, and the list holds the signed files' checksums.
if command -v osslsigncode >/dev/null; then
  cert=$out.codesign
  rm -rf "$cert" && mkdir -p "$cert"
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Tessavo-test -days 1 \
    -addext extendedKeyUsage=codeSigning -keyout "$cert/key.pem" -out "$cert/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -passout pass:test \
    -out "$cert/cert.pfx"
  TESS_CODESIGN_PFX=$cert/cert.pfx TESS_CODESIGN_PASSWORD=test TESS_CODESIGN_TIMESTAMP= \
    TESS_SIGNING_KEY=$key bash "$root/scripts/release.sh" --from "$build" "$out.authenticode" |
    grep -q "Authenticode-signed"
  for exe in Tessavo.exe Tessavo-Setup.exe tessavo-cli.exe; do
    osslsigncode extract-signature -in "$out.authenticode/$exe" -out "$cert/$exe.sig" >/dev/null
  done
  (cd "$out.authenticode" && sha256sum --strict -c sha256sums.txt >/dev/null)
  if cmp -s "$out.authenticode/Tessavo.exe" "$build/Tessavo.exe"; then
    echo "the released program is not the signed one"; exit 1
  fi
fi
# Without a certificate that step is skipped, and said so.
TESS_SIGNING_KEY=$key bash "$root/scripts/release.sh" --from "$build" "$out" |
  grep -q "not Authenticode-signed"
if bash "$root/scripts/release.sh" --from "$build" --tag v0.0.0-not-ours "$out.bad" 2>/dev/null; then
  echo "release.sh accepted a tag that is not the program's version"; exit 1
fi
echo "release files verified"
