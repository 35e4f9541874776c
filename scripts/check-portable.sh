#!/usr/bin/env bash
# Fails when a portable file (a source or header that is not *_win.*, nor the Win32 kit
# core/win.hpp) pulls in
# <windows.h>, directly or through a project header: decisions must build and be tested
# without Windows. Each file is preprocessed with the Windows compiler and the Windows
# build's definitions, and its list of included files is searched.
#   check-portable.sh COMPILER JSON_INCLUDE_DIR [FILE...]   (default: every portable file)
set -eu
cxx=$1 json=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ $# -eq 0 ]; then
  set -- $(find src -name '*.cpp' -o -name '*.hpp' | grep -v -e '_win\.[ch]pp$' -e '^src/core/win\.hpp$' | sort) \
         $(find tests -name '*_test.cpp' | sort)
fi
check() {
  # A header is included from a one-line source, so "#pragma once" stays in a header.
  local deps
  deps=$(printf '#include "%s"\n' "$root/$1" |
    "$cxx" -std=c++20 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
      -D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -I"$root/src" -I"$root/tests" -isystem "$json" -isystem /usr/src/googletest/googletest/include \
      -x c++ -M -MT x - 2>&1) || { echo "$1: does not preprocess"; echo "$deps" | head -5; return 1; }
  if echo "$deps" | tr ' ' '\n' | grep -qi '/windows\.h$'; then
    echo "$1: includes <windows.h>"
    return 1
  fi
}
export -f check
export cxx json root
printf '%s\n' "$@" | xargs -P 2 -I{} bash -c 'check "$1"' _ {} || {
  echo "portable files must not include <windows.h>: move Win32 declarations to a *_win.hpp"
  exit 1
}
echo "portable files without <windows.h>: $#"
