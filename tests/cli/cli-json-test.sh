#!/usr/bin/env bash
# Every --json output of the real tessavo-cli.exe, on real files and a real journal,
# validated against its schema in docs/schema/ by Debian's python3-jsonschema.
#   cli-json-test.sh SOURCE_DIR BUILD_DIR EMULATOR...
set -eu
root=$1 build=$2
shift 2
emulator=("$@")
dir=$build/cli-json-test
rm -rf "$dir"
mkdir -p "$dir/Temp" "$dir/Local" "$dir/Data" "$dir/out" "$dir/src/app/node_modules/left-pad" \
  "$dir/src/old/node_modules/x"
win() { printf 'Z:%s' "$1" | tr / '\\'; }

# Wine gives a program started from here the prefix's TEMP and LOCALAPPDATA, so cmd sets
# them; TESS_DATA_DIR passes through.
export TESS_DATA_DIR
TESS_DATA_DIR=$(win "$dir/Data")
cli() {  # cli OUT-FILE ARGS...: the exit code is the command's
  local name=$1
  shift
  "${emulator[@]}" cmd /c "set TEMP=$(win "$dir/Temp")&& set TMP=$(win "$dir/Temp")&& \
set LOCALAPPDATA=$(win "$dir/Local")&& $(win "$build/tessavo-cli.exe") $* < NUL \
> $(win "$dir/out/$name") 2> $(win "$dir/out/$name.err")"
}

old() { touch -d '40 days ago' "$@"; }
head -c 3000 /dev/zero > "$dir/Temp/old.tmp"
old "$dir/Temp/old.tmp"
echo '{}' > "$dir/src/app/package.json"
head -c 700 /dev/zero > "$dir/src/app/node_modules/left-pad/index.js"
echo '{}' > "$dir/src/old/package.json"
head -c 500 /dev/zero > "$dir/src/old/node_modules/x/index.js"
old "$dir/src/app/package.json" "$dir/src/app/node_modules/left-pad/index.js" \
  "$dir/src/old/package.json" "$dir/src/old/node_modules/x/index.js"

# A startup app the proposal offers to switch off, so the scan lists startup entries and
# suggestions with their actions (optimise only test-runs it).
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_name='TessJsonTest Discord'
"${emulator[@]}" reg add "$run_key" /v "$run_name" /t REG_SZ /f \
  /d '"C:\tess-json-test\Update.exe" --processStart Discord.exe' >/dev/null 2>&1
trap '"${emulator[@]}" reg delete "$run_key" /v "$run_name" /f >/dev/null 2>&1 || true' EXIT

# A journal with real entries of two kinds; then the temp file again for the scans.
cli clean.txt clean user_temp
cli dev-clean.txt dev-clean "$(win "$dir/src/old/node_modules")"
head -c 3000 /dev/zero > "$dir/Temp/old.tmp"
old "$dir/Temp/old.tmp"

cli junk.json junk --json
cli dev.json dev "$(win "$dir/src")" --json
cli history.json history --json
cli optimise.json optimise --dry-run --yes --json
cli scan.json scan --json

for f in junk dev history optimise scan; do
  [ -s "$dir/out/$f.json" ] || { echo "$f: no output"; cat "$dir/out/$f.json.err"; exit 1; }
done
grep -q '"kind": "clean_junk"' "$dir/out/history.json"
grep -q '"kind": "delete_dev_folder"' "$dir/out/history.json"
grep -q '"id": "user_temp"' "$dir/out/junk.json"
grep -q 'node_modules in app' "$dir/out/dev.json"
grep -q '"test_run": true' "$dir/out/optimise.json"
grep -q '"kind": "set_startup_enabled"' "$dir/out/optimise.json"
grep -q '"value_name": "TessJsonTest Discord"' "$dir/out/scan.json"
/usr/bin/python3 "$root/tests/cli/check-json-schema.py" "$root/docs/schema" \
  junk="$dir/out/junk.json" dev="$dir/out/dev.json" history="$dir/out/history.json" \
  optimise="$dir/out/optimise.json" scan="$dir/out/scan.json"
