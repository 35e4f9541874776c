#!/usr/bin/env bash
# Installs what is missing, builds Tessavo.exe and tessavo-cli.exe and runs the newest
# end-to-end job under Wine: the full scan of the Wine prefix, printed as a summary.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/wine-env.sh
build_win "$root" "$(nproc)"
trap wine_env_stop EXIT
wine_env_start "$root/build/win"
echo "== tessavo-cli scan (the full scan of this Wine prefix; progress on standard error)"
wine build/win/tessavo-cli.exe scan
