#!/usr/bin/env bash
# Builds, opens Tessavo.exe under a private Xvfb and Wine prefix with a throwaway data
# folder, and saves a picture of each step below into build/screens/ with the UI driver
# (build/win/tess-uidriver.exe). Arguments go to Tessavo.exe (for example --scan).
#   bash scripts/screens.sh [ARGS...]      TESS_SCREENS_NO_BUILD=1 reuses the last build
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/wine-env.sh
[ -n "${TESS_SCREENS_NO_BUILD:-}" ] || build_win "$root" "${TESS_JOBS:-2}"

# What to show, in order: "shot NAME" saves the main window's client area as NAME.png,
# "click ID" clicks a control (a page button 300-307, ...), "key KEY" types a key,
# "wait-control ID" waits until that control is visible, "wait-caption ID TEXT" until its
# caption reads TEXT, "select ROW" and "check ROW on|off" select or tick a list row,
# "sleep SECONDS" waits.
# Optimise runs as a test run (TESS_DRY_RUN): the pictures never change the prefix.
steps=(
  "shot main"                              # Home before any scan
  "click 210" "sleep 1" "shot home-scanning"  # the progress screen
  "wait-control 103" "shot home-proposal"
  "click 301" "shot page1-junk"
  "click 302" "sleep 2" "shot page2-developer-junk"
  "click 303" "shot page3-apps"
  "click 304" "shot page4-startup"
  "click 305" "shot page5-services"
  "click 306" "shot page6-autopilot-off"    # kept programs listed, Focus mode off
  "click 250" "sleep 1" "shot page6-autopilot-on"
  "click 205" "sleep 4" "shot page6-autopilot-on-tray-off"  # timer 2 has looked again
  "click 256" "shot page6-keep-list-cleared"
  "click 254" "sleep 0.3" "shot page6-focus-working"
  "wait-caption 254 Turn off Focus mode" "shot page6-focus-on"
  "click 254" "wait-caption 254 Turn on Focus mode" "click 250" "shot page6-focus-off"
  "click 307" "wait-enabled 200" "shot page7-history"  # each status, newest first
  "select 4" "shot page7-history-closed-program"     # the keep-running button
  "click 257" "shot page7-history-kept"
  "check 2 on" "shot page7-history-ticked"
  "click 300" "click 211" "sleep 0.7" "shot home-optimising"
  "wait-control 230" "shot home-done-measuring"
  "wait-enabled 200" "sleep 0.5" "shot home-done"
)

out="$root/build/screens"
rm -rf "$out"
mkdir -p "$out"
data=$(mktemp -d /tmp/tess-screens.XXXXXX)
cleanup() {
  cleanup_run 2>/dev/null || true
  wine_env_stop
  rm -rf "$data"
}
trap cleanup EXIT
unset TESS_KEEP_DISPLAY  # always a private display of a known size
wine_env_start "$root/build/win"

driver() { wine "$root/build/win/tess-uidriver.exe" "$@"; }

# Rows for the pages that an empty prefix leaves bare: two projects for Developer junk (one
# untouched for two months, so it is ticked) and a Run value for Start with Windows.
dev=$data/dev
mkdir -p "$dev/myapp/node_modules/left-pad" "$dev/engine/target/debug"
echo '{"name":"myapp"}' >"$dev/myapp/package.json"
head -c 300000 /dev/zero >"$dev/myapp/node_modules/left-pad/index.js"
echo '[package]' >"$dev/engine/Cargo.toml"
head -c 2000000 /dev/zero >"$dev/engine/target/debug/engine.rlib"
find "$dev/myapp" -exec touch -d '65 days ago' {} +
# Old files in the prefix's temp folder (Wine sets TEMP from the prefix, whatever the
# environment says), so the proposal has junk to clean; removed again at the end.
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)/tess-screens
mkdir -p "$temp"
head -c 3000000 /dev/zero >"$temp/cache.bin"
find "$temp" -exec touch -d '20 days ago' {} +
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg add "$run_key" /v "Screens Demo Helper" /d 'C:\Demo\helper.exe --background' /f >/dev/null 2>&1
cleanup_run() {
  wine reg delete "$run_key" /v "Screens Demo Helper" /f >/dev/null 2>&1 || true
  case ${temp:-} in */tess-screens) rm -rf "$temp" ;; esac
}

# History with every status (a program closed, a service change undone, a startup entry
# that can be undone, junk cleaned, a change that failed) and settings with two programs
# kept running and an earlier Autopilot run.
now=$(date +%s)
ft() { echo $(( (now - $1 + 11644473600) * 10000000 )); }
entry() {  # id, seconds ago, action, previous, ok, message, undone, undo_of
  printf '  {"id": %s, "time": %s, "action": %s, "previous": %s, "ok": %s, "message": "%s", ' \
    "$1" "$(ft "$2")" "$3" "$4" "$5" "$6"
  printf '"undone": %s, "undo_of": %s, "freed_bytes": 0}' "$7" "$8"
}
diagtrack='{"kind": "set_service_start", "name": "DiagTrack", "display": "Connected User Experiences and Telemetry", "start": 3, "stop": true}'
nothing='{"kind": "nothing"}'
{
  echo "["
  entry 1 9000 '{"kind": "kill_processes", "label": "2 Gradle daemons", "targets": [{"pid": 4242, "name": "java.exe", "created": 0}, {"pid": 4244, "name": "java.exe", "created": 0}]}' "$nothing" true "ended 2" false null; echo ","
  entry 2 8940 "$diagtrack" '{"kind": "service_start", "start": 2}' true "Automatic \u2192 Manual, stopped" true null; echo ","
  entry 3 8900 '{"kind": "set_startup_enabled", "location": "hkcu_run", "value_name": "Screens Demo Updater", "enabled": false}' '{"kind": "startup_approved", "bytes": null}' true "disabled" false null; echo ","
  entry 4 8880 '{"kind": "clean_junk", "id": "temp", "label": "Temporary files"}' "$nothing" true "removed 214 file(s), 96 MB; 3 in use were left alone" false null; echo ","
  entry 5 8860 '{"kind": "set_service_start", "name": "Spooler", "display": "Print Spooler", "start": 3, "stop": true}' "$nothing" false "access denied (needs admin)" false null; echo ","
  entry 6 600 "$diagtrack" "$nothing" true "Undo: restored to Automatic" false 2
  echo "]"
} >"$data/journal.json"
cat >"$data/settings.json" <<JSON
{
  "skip_version": null,
  "autopilot": {
    "enabled": false,
    "every_days": 7,
    "last_run": $((now - 2 * 86400)),
    "last_result": "Deleted 412 MB of junk files; closed Gradle daemon (1.3 GB)",
    "close_dev_servers": false
  },
  "keep_running": ["gradle daemon", "vite dev server"]
}
JSON

TESS_DEV_ROOTS="Z:${dev//\//\\}" TESS_DRY_RUN=1 TESS_NO_UPDATE_CHECK=1 \
TESS_DATA_DIR="Z:${data//\//\\}" wine "$root/build/win/Tessavo.exe" "$@" >"$out/tessavo.log" 2>&1 &
app=$!

# Up to 20 s for the main window, unless the program ends first.
main=""
for _ in $(seq 20); do
  if line=$(driver wait-window TessavoWindow --visible --timeout 1000 2>/dev/null); then
    main=${line%%$'\t'*}
    break
  fi
  kill -0 "$app" 2>/dev/null || break
done

if [ -n "$main" ]; then
  driver list "$main" >"$out/controls.txt"
  for step in "${steps[@]}"; do
    set -- $step
    case $1 in
      shot) driver capture "$main" "$out/$2.png" && echo "screens: $out/$2.png" ;;
      click) driver click "$main" "$2" ;;
      key) driver key "$main" "$2" ;;
      wait-control)
        for _ in $(seq 150); do
          driver list "$main" | awk -F'\t' -v id="$2" '$1 == id && $3 == "visible" {f=1} END {exit !f}' && break
          sleep 0.2
        done ;;
      wait-enabled)  # visible or not: enabled again once the window is no longer busy
        for _ in $(seq 300); do
          driver list "$main" | awk -F'\t' -v id="$2" '$1 == id && $4 == "enabled" {f=1} END {exit !f}' && break
          sleep 0.2
        done ;;
      wait-caption)
        id=$2; shift 2
        for _ in $(seq 100); do
          driver list "$main" | awk -F'\t' -v id="$id" -v want="$*" '$1 == id && $NF == want {f=1} END {exit !f}' && break
          sleep 0.2
        done ;;
      select) driver lv-select "$main" "$2" ;;
      check) driver lv-check "$main" "$2" "$3" ;;
      sleep) sleep "$2" ;;
      *) echo "screens: unknown step: $step" >&2; exit 2 ;;
    esac
  done
  driver close "$main" --timeout 5000 || true
else
  # No main window (yet): a picture of every visible window there is, by class.
  echo "screens: no TessavoWindow; capturing every visible window" >&2
  sleep 2
  n=0
  while IFS=$'\t' read -r handle _pid _rect class _title; do
    n=$((n + 1))
    driver capture "$handle" "$out/$n-$class.png" --whole && echo "screens: $out/$n-$class.png"
  done < <(driver windows)
  if [ "$n" = 0 ]; then
    echo "screens: no window to capture" >&2
    if command -v xwd >/dev/null && command -v convert >/dev/null; then
      xwd -root -silent | convert xwd:- "$out/screen.png" && echo "screens: $out/screen.png"
    fi
  fi
fi

# Every window at 96 DPI and again after WM_DPICHANGED to 144 (dpi96-*, dpi144-*), and the
# update window in each state, offered by a portable copy's start-up check against
# the tests' loopback HTTPS release server, and opened from the tray watch on screen with a
# download that fails its checksum (the tests that drive them save the pictures).
if [ -x "$(command -v ctest)" ] && [ -f "$root/build/win/CTestTestfile.cmake" ]; then
  TESS_SCREENS_DIR="Z:${out//\//\\}" ctest --test-dir "$root/build/win" --output-on-failure \
    -R '^(UpdateHttps\.MainWindowOffersAFoundUpdateAtStartUp|TrayUpdate\.WindowOpenedFromTheTrayIsOnScreenAndItsFailureReadable|Dpi\.EveryWindowTakesTheSuggestedRectangleAndScalesItsFontsAndLayout)$' \
    >"$out/update-window.log" 2>&1 ||
    echo "screens: no update window pictures (see $out/update-window.log)" >&2
  for f in "$out"/update-*.png "$out"/dpi*.png; do [ -f "$f" ] && echo "screens: $f"; done
fi

# The tray watch's toasts, one of each kind, a toast above the open quick panel, and the
# panel in each mode (the apply as a test run, so nothing on this machine changes).
TESS_DATA_DIR="Z:${data//\//\\}" wine "$root/build/win/tess-tray-shots.exe" "Z:${out//\//\\}" ||
  echo "screens: no tray pictures" >&2
