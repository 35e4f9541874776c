# Sourced by the scripts that build and run Windows programs. build_win ROOT JOBS [TARGET...]
# configures and builds the MinGW-w64 tree in ROOT/build/win (all of it, or the targets).
# Then: a private Wine prefix inside the
# build folder, a persistent wineserver for the run, a private Xvfb display, and
# the Recycle Bin (the host's XDG trash) in a temporary folder.
#   wine_env_start BUILD_DIR   /   wine_env_stop
wine_env_start() {
  local build=$1
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  export XDG_DATA_HOME="$build/xdg-data"
  rm -rf "$XDG_DATA_HOME"; mkdir -p "$XDG_DATA_HOME"
  if [ -z "${TESS_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 91 160); do
      if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then break; fi
    done
    Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    TESS_XVFB_PID=$!
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    export DISPLAY=:$n
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating a private prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 || true
    wineserver -w
  fi
  # A server left from an earlier run of this prefix would refuse -p.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 || true
  # The first window in a prefix starts its desktop process (explorer.exe), which keeps the
  # standard error of the program that started it for the whole run, so CTest would wait
  # for that test until the end. Start it here instead, through the UI driver when built.
  if [ -f "$build/tess-uidriver.exe" ]; then
    wine "$build/tess-uidriver.exe" windows >/dev/null 2>&1 || true
  fi
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  if [ -n "${TESS_XVFB_PID:-}" ]; then kill "$TESS_XVFB_PID" 2>/dev/null || true; fi
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
