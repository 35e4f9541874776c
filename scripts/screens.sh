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
# "wait-control ID" waits until that control is visible, "sleep SECONDS" waits.
steps=(
  "shot main"                              # Home before any scan
  "click 210" "sleep 1" "shot home-scanning"  # the progress screen
  "wait-control 103" "shot home-proposal"
  "click 301" "shot page1-junk"
  "click 302" "shot page2-developer-junk"
  "click 303" "shot page3-apps"
  "click 304" "shot page4-startup"
  "click 305" "shot page5-services"
  "click 306" "shot page6-autopilot"
  "click 307" "shot page7-history"
)

out="$root/build/screens"
rm -rf "$out"
mkdir -p "$out"
data=$(mktemp -d /tmp/tess-screens.XXXXXX)
cleanup() {
  wine_env_stop
  rm -rf "$data"
}
trap cleanup EXIT
unset TESS_KEEP_DISPLAY  # always a private display of a known size
wine_env_start "$root/build/win"

driver() { wine "$root/build/win/tess-uidriver.exe" "$@"; }
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
