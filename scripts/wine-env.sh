# Sourced by the scripts that build and run Windows programs. build_win ROOT JOBS [TARGET...]
# configures and builds the MinGW-w64 tree in ROOT/build/win (all of it, or the targets).
#
# Wine worlds. A lane is one Wine prefix, one wineserver, one private Xvfb display and one
# Recycle Bin (the host's XDG trash, in a folder of its own). Programs in two lanes share
# nothing of Windows: no HKCU, no named objects, no desktop, no foreground window. Every
# prefix is a copy of one prefix booted once per build folder (BUILD/wine-template), which is
# far quicker than booting each.
#   wine_env_start BUILD       the build's default lane (BUILD/wineprefix), exported into
#                              this shell: what a program or test started by hand runs in
#   wine_lanes_start BUILD N   N fresh lanes BUILD/lanes/1..N for CTest and one more,
#                              BUILD/lanes/own, for a test that changes its whole lane; each
#                              has an env file that scripts/wine-run.sh reads. Writes the
#                              resource spec file BUILD/lanes/resources.json (one slot per
#                              lane) and exports TESS_LANES, the lanes' names
#   wine_env_stop              stops every lane this shell started
# A lane that cannot be made (no display, a prefix that cannot be copied) fails at once with
# one line naming it.

_wine_common_env() {
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
}

# Starts a private Xvfb on the first free display and sets TESS_DISPLAY to its number; fails
# when none comes up. A display another process takes at the same moment is passed over.
_wine_start_xvfb() {
  local n pid
  for n in $(seq 91 250); do
    if [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; then continue; fi
    Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 50); do
      [ -e /tmp/.X11-unix/X$n ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -e /tmp/.X11-unix/X$n ] && kill -0 "$pid" 2>/dev/null; then
      TESS_XVFB_PIDS="${TESS_XVFB_PIDS:-} $pid"
      TESS_DISPLAY=$n
      return 0
    fi
    kill "$pid" 2>/dev/null || true
  done
  return 1
}

# BUILD/wine-template: booted once (a fresh prefix set to Windows 10), never run afterwards.
_wine_template() {
  local template=$1/wine-template
  [ -f "$template/system.reg" ] && [ -f "$template/.booted" ] && return 0
  echo "wine: creating a prefix in $template"
  rm -rf "$template"
  _wine_start_xvfb || { echo "wine: no Xvfb display could be started to boot $template" >&2; return 1; }
  local xvfb=${TESS_XVFB_PIDS##* }
  (
    _wine_common_env
    export WINEPREFIX=$template DISPLAY=:$TESS_DISPLAY
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 || true
    wineserver -w
  )
  kill "$xvfb" 2>/dev/null || true
  TESS_XVFB_PIDS=${TESS_XVFB_PIDS% "$xvfb"}
  [ -f "$template/system.reg" ] || { echo "wine: booting the prefix $template failed" >&2; return 1; }
  touch "$template/.booted"
}

# _wine_lane NAME DIR PREFIX BUILD: starts the lane's display, wineserver and desktop process
# and writes DIR/env. The prefix must exist.
_wine_lane() {
  local name=$1 dir=$2 prefix=$3 build=$4
  _wine_start_xvfb || { echo "wine lane $name: no Xvfb display could be started" >&2; return 1; }
  mkdir -p "$dir/xdg-data"
  rm -rf "${dir:?}/xdg-data/"*
  cat > "$dir/env" <<EOF
export WINEPREFIX='$prefix'
export DISPLAY=:$TESS_DISPLAY
export XDG_DATA_HOME='$dir/xdg-data'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
EOF
  TESS_LANE_PREFIXES="${TESS_LANE_PREFIXES:-} $prefix"
  (
    . "$dir/env"
    # A server left from an earlier run of this prefix would refuse -p.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true
    # The first window in a prefix starts its desktop process (explorer.exe), which keeps
    # the standard error of the program that started it for the whole run, so CTest would
    # wait for that test until the end. Start it here instead, through the UI driver.
    if [ -f "$build/tess-uidriver.exe" ]; then
      wine "$build/tess-uidriver.exe" windows >/dev/null 2>&1 || true
    fi
  ) || { echo "wine lane $name: its wineserver could not be started" >&2; return 1; }
}

wine_env_start() {
  local build=$1
  _wine_template "$build" || return 1
  if [ ! -f "$build/wineprefix/system.reg" ]; then
    rm -rf "$build/wineprefix"
    cp -a "$build/wine-template" "$build/wineprefix" ||
      { echo "wine lane default: could not copy the prefix to $build/wineprefix" >&2; return 1; }
  fi
  if [ -n "${TESS_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
    # Run on the caller's display (scripts/run.sh with a desktop): no Xvfb of its own.
    _wine_common_env
    export WINEPREFIX="$build/wineprefix" XDG_DATA_HOME="$build/xdg-data"
    rm -rf "$XDG_DATA_HOME"; mkdir -p "$XDG_DATA_HOME"
    TESS_LANE_PREFIXES="${TESS_LANE_PREFIXES:-} $WINEPREFIX"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true
    [ -f "$build/tess-uidriver.exe" ] && { wine "$build/tess-uidriver.exe" windows >/dev/null 2>&1 || true; }
    return 0
  fi
  mkdir -p "$build/default-lane"
  _wine_lane default "$build/default-lane" "$build/wineprefix" "$build" || return 1
  . "$build/default-lane/env"
}

wine_lanes_start() {
  local build=$1 count=$2 lane slots=""
  _wine_template "$build" || return 1
  rm -rf "$build/lanes"
  mkdir -p "$build/lanes"
  TESS_LANES=""
  # Lane "own" is for the one test that changes its whole lane (the system DPI).
  for lane in $(seq 1 "$count") own; do
    mkdir -p "$build/lanes/$lane"
    cp -a "$build/wine-template" "$build/lanes/$lane/wineprefix" ||
      { echo "wine lane $lane: could not copy the prefix to $build/lanes/$lane/wineprefix" >&2; return 1; }
    _wine_lane "$lane" "$build/lanes/$lane" "$build/lanes/$lane/wineprefix" "$build" || return 1
    TESS_LANES="$TESS_LANES${TESS_LANES:+ }$lane"
    [ "$lane" = own ] || slots="$slots${slots:+, }{\"id\": \"$lane\", \"slots\": 1}"
  done
  export TESS_LANES
  printf '{"version": {"major": 1, "minor": 0},\n "local": [{"lanes": [%s],\n            "own_lanes": [{"id": "own", "slots": 1}]}]}\n' \
    "$slots" > "$build/lanes/resources.json"
}

wine_env_stop() {
  local p pid
  for p in ${TESS_LANE_PREFIXES:-}; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
  for pid in ${TESS_XVFB_PIDS:-}; do kill "$pid" 2>/dev/null || true; done
  TESS_LANE_PREFIXES="" TESS_XVFB_PIDS=""
}

build_win() {
  local root=$1 jobs=$2
  shift 2
  cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/scripts/wine-run.sh;$root/build/win" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$root/build/win" -j "$jobs" --target "$@"
  else
    cmake --build "$root/build/win" -j "$jobs"
  fi
}
