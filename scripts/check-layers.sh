#!/usr/bin/env bash
# Every include points down. The rooms of src/, lowest first; a room may include its
# own files and those of any room on a lower line, never one on its own line or above:
#
#   core                      handles, text, JSON, settings, paths, the log
#   sys                       processes, services, startup entries, files, hardware
#   model                     the actions, the journal, what is known about programs
#   scan changes              finding what to propose; applying it and undoing it
#   autopilot updates         unattended clean-ups and Focus mode; self-update
#   gui                       the painting kit and the window base
#   setup                     install, uninstall and the update window
#   ui tray                   the main window; the tray watch, quick panel and toasts
#   cli                       the console companion
#   app                       the two programs' entry points
#
# The engine (everything below gui) knows no window: it reports through callbacks.
set -euo pipefail
#   check-layers.sh [ROOT]   (default: this repository)
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

levels='core:0 sys:1 model:2 scan:3 changes:3 autopilot:4 updates:4 gui:5 setup:6 ui:7 tray:7 cli:8 app:9'
declare -A level
for pair in $levels; do level[${pair%%:*}]=${pair##*:}; done

bad=0
for room in src/*/; do
    room=$(basename "$room")
    if [[ -z ${level[$room]+x} ]]; then
        echo "src/$room: a room without a layer; add it to scripts/check-layers.sh"
        bad=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
        [[ $target == "$room" || -z ${level[$target]+x} ]] && continue
        if ((level[$target] >= level[$room])); then
            echo "$file:$line: $room includes $target, which is not below it: $text"
            bad=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "src/$room" || true)
done
if ((bad)); then
    echo "check-layers: includes must point down (see the rule at the top of this script)"
    exit 1
fi
echo "check-layers: every include points down"
