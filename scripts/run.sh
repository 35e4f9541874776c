#!/usr/bin/env bash
# Installs what is missing, builds Tessavo.exe and tessavo-cli.exe, opens the main window
# under Wine and scans, then prints the full scan of the Wine prefix as a summary.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/wine-env.sh
build_win "$root" "$(nproc)"
cmake --build build/win --target tess-uidriver >/dev/null
# With a display the window opens there and the script waits until it is closed; without
# one it opens on a private Xvfb and its picture after the scan is build/screens/main.png.
[ -n "${DISPLAY:-}" ] && export TESS_KEEP_DISPLAY=1
trap wine_env_stop EXIT
wine_env_start "$root/build/win"
echo "== Tessavo.exe --scan (the main window, scanning with its progress screen)"
if [ -n "${TESS_KEEP_DISPLAY:-}" ]; then
  wine build/win/Tessavo.exe --scan
else
  driver() { wine build/win/tess-uidriver.exe "$@"; }
  wine build/win/Tessavo.exe --scan &
  app=$!
  if line=$(driver wait-window TessavoWindow --visible --timeout 30000); then
    main=${line%%$'\t'*}
    for _ in $(seq 300); do
      driver list "$main" | awk -F'\t' '$1 == 103 && $3 == "visible" {f=1} END {exit !f}' && break
      sleep 0.2
    done
    mkdir -p build/screens
    driver capture "$main" build/screens/main.png && echo "saved build/screens/main.png"
    driver close "$main" --timeout 5000 >/dev/null || true
  fi
  wait "$app" 2>/dev/null || true
fi
echo "== tessavo-cli scan (the full scan of this Wine prefix; progress on standard error)"
wine build/win/tessavo-cli.exe scan
