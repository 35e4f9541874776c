#!/usr/bin/env bash
# The build's release-signing test keys (ECDSA P-256), made once per build folder:
#   test-keys.sh OUT
# OUT/test-key.pem signs what the tests serve (release-test.sh hands it to release.sh);
# OUT/other-key.pem is a key nobody trusts. OUT/test_keys.hpp gives both to the test
# programs as CNG key bytes, and OUT/test_release_key.cpp makes the test key the one a
# test program (and Tessavo-testkey.exe) trusts.
set -eu
out=$1
mkdir -p "$out"
for name in test other; do
  [ -s "$out/$name-key.pem" ] ||
    openssl ecparam -name prime256v1 -genkey -noout -out "$out/$name-key.pem"
done
# C initialiser of bytes read from stdin.
bytes() { od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/\([0-9a-f][0-9a-f]\)/0x\1,/g'; }
public() { openssl ec -in "$1" -pubout -outform DER 2>/dev/null | tail -c 64 | bytes; }
# An ECPrivateKey of P-256 in DER holds the private scalar at bytes 8-39.
private() { openssl ec -in "$1" -outform DER 2>/dev/null | head -c 39 | tail -c 32 | bytes; }
{
  echo '// Made by tests/updates/test-keys.sh.'
  echo '#pragma once'
  echo 'namespace tess::test {'
  for name in test other; do
    echo "// X, Y and d: BCRYPT_ECCPRIVATE_BLOB's data."
    echo "inline constexpr unsigned char k_${name}_private_key[96] = {$(public "$out/$name-key.pem") $(private "$out/$name-key.pem")};"
    echo "inline constexpr unsigned char k_${name}_public_key[64] = {$(public "$out/$name-key.pem")};"
  done
  echo '}  // namespace tess::test'
} > "$out/test_keys.hpp"
{
  echo '// Made by tests/updates/test-keys.sh: test programs trust the test key.'
  echo '#include "updates/update.hpp"'
  echo 'namespace tess::updates {'
  echo 'const PublicKey& trusted_release_key() {'
  echo "    static const PublicKey key = {$(public "$out/test-key.pem")};"
  echo '    return key;'
  echo '}'
  echo '}  // namespace tess::updates'
} > "$out/test_release_key.cpp"
