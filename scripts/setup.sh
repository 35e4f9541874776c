#!/usr/bin/env bash
# Installs what the build and the tests need from Debian packages. Idempotent; quiet
# when everything is already there.
set -eu
pkgs=(cmake ninja-build g++ clang g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 xvfb x11-apps imagemagick
      nlohmann-json3-dev googletest libclang-rt-14-dev clang-format librsvg2-bin icoutils
      python3 python3-jsonschema python3-yaml openssl osslsigncode yamllint)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
