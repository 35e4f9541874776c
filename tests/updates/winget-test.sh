#!/usr/bin/env bash
# The winget manifest set scripts/release.sh writes: well-formed, schema 1.6 or later,
# its checksum that of the built Tessavo-Setup.exe, and its silent switches accepted by
# that very file under Wine (a silent install into a test root, then the quiet uninstall).
#   winget-test.sh SOURCE_DIR BUILD_DIR EMULATOR...
set -eu
root=$1 build=$2
shift 2
emulator=("$@")
out=$build/winget-test
bash "$root/scripts/release.sh" --from "$build" "$out" >/dev/null
version=$(sed -n 's/.*kVersion = "\(.*\)";/\1/p' "$root/src/core/entry.hpp")
sha=$(sha256sum "$build/Tessavo-Setup.exe" | cut -d' ' -f1)
grep -qx "$sha  Tessavo-Setup.exe" "$out/sha256sums.txt"

# Prints the two switches, one a line, once everything else checks out.
switches=$(/usr/bin/python3 - "$out" "$version" "$sha" <<'PY'
import sys, yaml
out, version, sha = sys.argv[1:]
ident = "Corvath.Tessavo"
docs = {}
for kind, name in (("version", ident), ("installer", ident + ".installer"),
                   ("defaultLocale", ident + ".locale.en-US")):
    with open(f"{out}/{name}.yaml", encoding="utf-8") as f:
        d = yaml.safe_load(f)
    assert d["ManifestType"] == kind, (name, d["ManifestType"])
    assert tuple(map(int, d["ManifestVersion"].split("."))) >= (1, 6, 0), d["ManifestVersion"]
    assert d["PackageIdentifier"] == ident and d["PackageVersion"] == version, name
    docs[kind] = d
assert docs["version"]["DefaultLocale"] == docs["defaultLocale"]["PackageLocale"] == "en-US"
for key in ("Publisher", "PackageName", "License", "ShortDescription"):
    assert docs["defaultLocale"].get(key), key
i = docs["installer"]
assert i["InstallerType"] == "exe" and i["Scope"] == "user", i
[inst] = i["Installers"]
assert inst["Architecture"] == "x64", inst
assert inst["InstallerSha256"] == sha.upper(), (inst["InstallerSha256"], sha)
url = f"https://github.com/Corvath/tessavo/releases/download/v{version}/Tessavo-Setup.exe"
assert inst["InstallerUrl"] == url, inst["InstallerUrl"]
assert i["ProductCode"] == "Tessavo"
print(i["InstallerSwitches"]["Silent"])
print(i["InstallerSwitches"]["SilentWithProgress"])
PY
)

# Each switch as winget passes it, to the release's Tessavo-Setup.exe, in a test root.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
test_root=$build/winget-test/tess-install-test
export TESS_INSTALL_ROOT TESS_DATA_DIR
TESS_INSTALL_ROOT=$(win "$test_root")
TESS_DATA_DIR=$(win "$build/winget-test/data")
installed=$test_root/Programs/Tessavo/Tessavo.exe
while IFS= read -r switch; do
  rm -rf "$test_root"
  # shellcheck disable=SC2086 # the switches are words, as winget splits them
  # A switch the setup does not take as silent would open its window and wait.
  if ! timeout 120 "${emulator[@]}" "$out/Tessavo-Setup.exe" $switch; then
    echo "Tessavo-Setup.exe $switch failed"
    exit 1
  fi
  [ "$(sha256sum < "$installed" | cut -d' ' -f1)" = "$sha" ]
  [ -f "$test_root/StartMenu/Tessavo.lnk" ]
  timeout 120 "${emulator[@]}" "$installed" --uninstall --quiet
  for i in $(seq 50); do [ -e "$installed" ] && sleep 0.2; done
  [ ! -e "$installed" ]
done <<< "$switches"
echo "winget manifest verified: $switches" | tr '\n' ' '
echo
