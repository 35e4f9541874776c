#!/usr/bin/env bash
# The emulator CTest puts in front of every Windows program: wine-run.sh BUILD_DIR EXE ARGS...
# Under scripts/test.sh, CTest gives each Wine test one slot of a lane resource ("lanes", or
# "own_lanes" for a test that changes its whole lane), for example
# CTEST_RESOURCE_GROUP_0=lanes and CTEST_RESOURCE_GROUP_0_LANES=id:2,slots:1, and the
# program runs in that lane, which no other test uses while it runs (scripts/wine-env.sh).
# TESS_LANE=ID picks a lane by hand.
# Otherwise the program runs in the environment it was given, or the build's default lane.
build=$1; shift
lane=${TESS_LANE:-}
if [ -z "$lane" ] && [ "${CTEST_RESOURCE_GROUP_COUNT:-0}" -gt 0 ]; then
  # One group per test, with one resource type.
  type=${CTEST_RESOURCE_GROUP_0:-}
  var=CTEST_RESOURCE_GROUP_0_$(printf '%s' "$type" | tr '[:lower:]' '[:upper:]')
  spec=${!var:-}
  lane=${spec#id:}
  lane=${lane%%,*}
  if [ -z "$spec" ] || [ -z "$lane" ]; then
    echo "wine-run: CTest gave no lane (CTEST_RESOURCE_GROUP_0=${CTEST_RESOURCE_GROUP_0:-})" >&2
    exit 1
  fi
fi
if [ -n "$lane" ]; then
  if [ ! -f "$build/lanes/$lane/env" ]; then
    echo "wine-run: lane $lane was not started ($build/lanes/$lane/env is missing)" >&2
    exit 1
  fi
  . "$build/lanes/$lane/env"
fi
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export XDG_DATA_HOME=${XDG_DATA_HOME:-$build/xdg-data}
exec wine "$@"
