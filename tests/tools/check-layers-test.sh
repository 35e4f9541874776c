#!/usr/bin/env bash
# check-layers.sh passes on this tree, and fails on a tree with one include that points
# up, one between two rooms of the same line, and on a room it does not know.
set -u
script=$1/scripts/check-layers.sh
bash "$script" "$1" >/dev/null || { echo "FAIL: the tree itself breaks the layer rule"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
expect_failure() {  # NAME FILE INCLUDE
    rm -rf "$tmp/src"
    mkdir -p "$(dirname "$tmp/src/$2")" "$tmp/src/core"
    printf '#include <vector>\n#include "core/text.hpp"\n#include "%s"\n' "$3" >"$tmp/src/$2"
    if out=$(bash "$script" "$tmp"); then
        echo "FAIL ($1): accepted $2 including $3"; fails=1
    elif ! grep -q "$2:3:" <<<"$out"; then
        echo "FAIL ($1): no line for $2: $out"; fails=1
    fi
}
expect_failure up scan/scan_win.cpp ui/ui_messages.hpp
expect_failure same-line scan/analyze.hpp changes/actions.hpp
expect_failure same-line-windows tray/panel_win.cpp ui/home_text.hpp
expect_failure engine-to-window changes/apply_win.cpp tray/panel_messages.hpp

rm -rf "$tmp/src"; mkdir -p "$tmp/src/widgets"; echo '#include "core/text.hpp"' >"$tmp/src/widgets/a.cpp"
bash "$script" "$tmp" >/dev/null && { echo "FAIL: accepted a room without a layer"; fails=1; }

rm -rf "$tmp/src"; mkdir -p "$tmp/src/ui"; printf '#include "ui/a.hpp"\n#include "gui/paint.hpp"\n#include "core/win.hpp"\n' >"$tmp/src/ui/b.cpp"
bash "$script" "$tmp" >/dev/null || { echo "FAIL: refused includes that point down"; fails=1; }
exit $fails
