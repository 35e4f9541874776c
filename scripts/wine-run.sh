#!/usr/bin/env bash
# The emulator CTest puts in front of every Windows program: wine-run.sh BUILD_DIR EXE ARGS...
# scripts/wine-env.sh normally sets the prefix, display and XDG_DATA_HOME for the
# whole run; a test started on its own still gets the build's private prefix.
build=$1; shift
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export XDG_DATA_HOME=${XDG_DATA_HOME:-$build/xdg-data}
exec wine "$@"
