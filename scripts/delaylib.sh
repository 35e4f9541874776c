#!/bin/sh
# Makes a delay-load import library for a system DLL from MinGW's import library:
#   delaylib.sh NM DLLTOOL IMPORT_LIB DLL_NAME OUTPUT
# The .def lists every name the import library exports, so no call of ours is left out.
set -eu
nm=$1 dlltool=$2 implib=$3 dll=$4 out=$5
def=$out.def
{
  echo "LIBRARY $dll"
  echo EXPORTS
  "$nm" "$implib" 2>/dev/null | sed -n 's/.* I __imp_//p' | sort -u
} > "$def"
[ "$(wc -l < "$def")" -gt 2 ] || { echo "no exports found in $implib" >&2; exit 1; }
"$dlltool" --input-def "$def" --dllname "$dll" --output-delaylib "$out"
