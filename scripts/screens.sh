#!/usr/bin/env bash
# Builds, opens Tessavo.exe under a private Xvfb and Wine prefix with a throwaway data
# folder, and saves a picture of each step below into build/screens/ with the UI driver
# (build/win/tess-uidriver.exe). Arguments go to Tessavo.exe (for example --scan).
# Then the setup window in each state (setup-fresh, -installing, -installed, -repair,
# -update, -failed), installing under a test root in the throwaway prefix.
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
  "shot main"
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
      wait-control) driver wait-control "$main" "$2" --timeout 30000 >/dev/null ;;
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

# ---- the setup window --------------------------------------------------------------------
setup_root='C:\users\root\Temp\tess-install-test-screens'
setup_entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessavo-Test'
setup_shot() {  # NAME: opens the setup window, captures it (not for -), leaves its handle in $setup
  local name=$1
  TESS_INSTALL_ROOT="$setup_root" wine "$root/build/win/Tessavo-Setup.exe" >/dev/null 2>&1 &
  line=$(driver wait-window TessavoSetup --visible --timeout 20000)
  setup=${line%%$'\t'*}
  [ "$name" = - ] || { driver capture "$setup" "$out/setup-$name.png" && echo "screens: $out/setup-$name.png"; }
}
setup_close() { driver click "$setup" 111 >/dev/null 2>&1 || true; sleep 1; }
wine reg delete "$setup_entry" /f >/dev/null 2>&1 || true
wine cmd /c rmdir /s /q "$setup_root" >/dev/null 2>&1 || true

setup_shot fresh
# An uninstall waiting for its answer holds the install's turn: the window stays in
# "Installing…" until it is answered.
TESS_INSTALL_ROOT="$setup_root" wine "$root/build/win/Tessavo.exe" --uninstall >/dev/null 2>&1 &
driver msgbox-text --timeout 20000 >/dev/null
driver click "$setup" 110
driver wait-control "$setup" 110 --disabled --timeout 10000 >/dev/null
driver capture "$setup" "$out/setup-installing.png" && echo "screens: $out/setup-installing.png"
driver msgbox-answer no
driver wait-control "$setup" 101 --hidden --timeout 30000 >/dev/null
driver capture "$setup" "$out/setup-installed.png" && echo "screens: $out/setup-installed.png"
setup_close
setup_shot repair
setup_close
wine reg add "$setup_entry" /v DisplayVersion /d 0.4.0 /f >/dev/null 2>&1
setup_shot update
setup_close
# A file where the install folder's parent goes: the install fails.
setup_root='C:\users\root\Temp\tess-install-test-screens-failed'
wine cmd /c "mkdir $setup_root && echo x> $setup_root\Programs" >/dev/null 2>&1 || true
setup_shot -
driver click "$setup" 110
driver wait-control "$setup" 110 --enabled --timeout 30000 >/dev/null
driver capture "$setup" "$out/setup-failed.png" && echo "screens: $out/setup-failed.png"
setup_close
wine cmd /c rmdir /s /q "$setup_root" >/dev/null 2>&1 || true
setup_root='C:\users\root\Temp\tess-install-test-screens'
TESS_INSTALL_ROOT="$setup_root" wine "$root/build/win/Tessavo.exe" --uninstall --quiet >/dev/null 2>&1 || true
wine reg delete "$setup_entry" /f >/dev/null 2>&1 || true
