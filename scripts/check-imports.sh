#!/usr/bin/env bash
# Fails when an executable imports a DLL that a clean Windows 10/11 x64 does not have
# (a MinGW runtime DLL, say, because static linking slipped).
set -eu
exe=$1
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
 oleacc.dll comctl32.dll comdlg32.dll uxtheme.dll dwmapi.dll gdiplus.dll wininet.dll bcrypt.dll
 powrprof.dll iphlpapi.dll ntdll.dll shlwapi.dll version.dll msvcrt.dll ws2_32.dll crypt32.dll
 secur32.dll userenv.dll "
allowed=" $(echo $allowed) "
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no imports found in $exe" >&2; exit 1; }
bad=0
for d in $dlls; do
  case "$allowed" in *" $d "*) ;; api-ms-win-*) ;; *) echo "unexpected import: $d"; bad=1 ;; esac
done
echo "imports: $(echo $dlls)"
exit $bad
