#!/usr/bin/env bash
# Builds the release files with the project's own scripts and writes them, with their
# checksum list, into OUT (default dist/):
#   Tessavo.exe, Tessavo-Setup.exe, tessavo-cli.exe, sha256sums.txt, sha256sums.txt.sig
#   bash scripts/release.sh [--tag vX.Y.Z] [--from BUILD_DIR] [OUT]
# TESS_SIGNING_KEY names the PEM file of the ECDSA P-256 key whose public half the program
# carries (src/updates/release_key.hpp): sha256sums.txt.sig is its signature of
# sha256sums.txt (SHA-256, DER). Without it the files are unsigned, and no copy of
# Tessavo installs them as an update.
# TESS_CODESIGN_PFX (a PKCS#12 file) and TESS_CODESIGN_PASSWORD Authenticode-sign the
# programs with osslsigncode before their checksums are taken, timestamped by
# TESS_CODESIGN_TIMESTAMP (default DigiCert's; empty: none); without a certificate that
# step is skipped, and said so.
# --tag   refuses a tag that is not the program's own version (a release whose program
#         reports an older version would be offered as an update forever).
# --from  packages an existing Windows build instead of building (the tests use it).
# Tessavo-Setup.exe is the copy of Tessavo.exe the build writes: a file name containing
# "setup" opens the setup window. tessavo-cli.exe goes out with every release: an update
# downloads it beside the program and checks it against sha256sums.txt like the program.
# The programs go out stripped; their debug information (Tessavo.exe.debug,
# tessavo-cli.exe.debug, which the build splits off) stays beside them in OUT for crash
# analysis, outside sha256sums.txt and never published as a download.
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
for exe in Tessavo.exe tessavo-cli.exe; do
  if x86_64-w64-mingw32-objdump -h "$out/$exe" | grep -q ' \.debug_'; then
    echo "release: $exe carries debug sections (not a Release build?)" >&2
    exit 1
  fi
  if [ -f "$from/$exe.debug" ]; then
    cp "$from/$exe.debug" "$out/$exe.debug"
  else
    echo "release: no $exe.debug beside the build, so crashes cannot be read" >&2
  fi
done
if [ -n "${TESS_CODESIGN_PFX:-}" ]; then
  for exe in Tessavo.exe tessavo-cli.exe; do
    timestamp=${TESS_CODESIGN_TIMESTAMP-http://timestamp.digicert.com}
    osslsigncode sign -pkcs12 "$TESS_CODESIGN_PFX" -pass "${TESS_CODESIGN_PASSWORD:-}" \
      -h sha256 -n Tessavo ${timestamp:+-t "$timestamp"} \
      -in "$out/$exe" -out "$out/$exe.signed" >/dev/null
    mv "$out/$exe.signed" "$out/$exe"
  done
  cp "$out/Tessavo.exe" "$out/Tessavo-Setup.exe"
  echo "release: programs Authenticode-signed"
else
  echo "release: no code-signing certificate (TESS_CODESIGN_PFX), so the programs are not Authenticode-signed"
fi
# sha256sum's own text format: "{64 hex}  {name}", one line each.
(cd "$out" && sha256sum Tessavo.exe Tessavo-Setup.exe tessavo-cli.exe > sha256sums.txt)
signed=
if [ -n "${TESS_SIGNING_KEY:-}" ]; then
  openssl dgst -sha256 -sign "$TESS_SIGNING_KEY" -out "$out/sha256sums.txt.sig" "$out/sha256sums.txt"
  signed=sha256sums.txt.sig
else
  echo "release: no signing key (TESS_SIGNING_KEY), so sha256sums.txt is not signed" >&2
fi
echo "release $version:"
(cd "$out" && ls -l Tessavo.exe Tessavo-Setup.exe tessavo-cli.exe sha256sums.txt $signed && cat sha256sums.txt)

# The winget manifest set (Corvath.Tessavo.yaml, .installer.yaml, .locale.en-US.yaml:
# version, installer and defaultLocale, schema 1.6.0) beside the assets: Tessavo-Setup.exe
# from this release's download URL, installed per user with the silent switches. The
# ProductCode is the uninstall entry's key name, by which winget finds the installed copy.
winget_id=Corvath.Tessavo
winget_schema=1.6.0
setup_url=https://github.com/Corvath/tessavo/releases/download/v$version/Tessavo-Setup.exe
setup_sha=$(sha256sum "$out/Tessavo-Setup.exe" | cut -d' ' -f1 | tr a-f A-F)
cat > "$out/$winget_id.yaml" <<MANIFEST
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.version.$winget_schema.schema.json
PackageIdentifier: $winget_id
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: $winget_schema
MANIFEST
cat > "$out/$winget_id.installer.yaml" <<MANIFEST
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.installer.$winget_schema.schema.json
PackageIdentifier: $winget_id
PackageVersion: $version
InstallerType: exe
Scope: user
InstallModes:
  - silent
  - silentWithProgress
InstallerSwitches:
  Silent: "--install --quiet"
  SilentWithProgress: "--install --quiet"
UpgradeBehavior: install
ProductCode: Tessavo
AppsAndFeaturesEntries:
  - DisplayName: Tessavo
    Publisher: Tessavo
    DisplayVersion: $version
    ProductCode: Tessavo
Installers:
  - Architecture: x64
    InstallerUrl: $setup_url
    InstallerSha256: $setup_sha
ManifestType: installer
ManifestVersion: $winget_schema
MANIFEST
cat > "$out/$winget_id.locale.en-US.yaml" <<MANIFEST
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.defaultLocale.$winget_schema.schema.json
PackageIdentifier: $winget_id
PackageVersion: $version
PackageLocale: en-US
Publisher: Tessavo
PublisherUrl: https://github.com/Corvath
PackageName: Tessavo
PackageUrl: https://github.com/Corvath/tessavo
License: Proprietary
ShortDescription: Make your PC faster in one click
Description: >-
  A one-click PC optimiser for 64-bit Windows: it closes idle programs, cleans junk,
  switches unneeded startup apps off and sets unneeded services to start only when
  needed, and every change can be undone.
Tags:
  - optimizer
  - cleanup
  - startup
ManifestType: defaultLocale
ManifestVersion: $winget_schema
MANIFEST
echo "winget manifest: $winget_id.yaml, $winget_id.installer.yaml, $winget_id.locale.en-US.yaml"
