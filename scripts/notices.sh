#!/bin/sh
# Writes THIRD-PARTY-NOTICES.txt (UTF-8, CRLF) for the open-source code linked into
# Tessavo.exe, copied from the licence files the Debian packages ship:
#   notices.sh OUT JSON_VERSION MINGW_VERSION GCC_VERSION
# nlohmann/json (header-only), the MinGW-w64 runtime and winpthreads (static CRT and
# threads), and GCC's libstdc++/libgcc (static, under the GCC Runtime Library Exception).
set -eu
out=$1 json_version=$2 mingw_version=$3 gcc_version=$4
json_doc=/usr/share/doc/nlohmann-json3-dev/copyright
mingw_doc=/usr/share/doc/mingw-w64-x86-64-dev/copyright
gcc_doc=/usr/share/doc/gcc-mingw-w64-base/copyright
gpl3=/usr/share/common-licenses/GPL-3
for f in "$json_doc" "$mingw_doc" "$gcc_doc" "$gpl3"; do
  [ -r "$f" ] || { echo "notices: missing $f" >&2; exit 1; }
done

# Paragraphs of a machine-readable Debian copyright file whose first Files pattern
# matches $1 (an awk regular expression) and does not match $2, followed by the
# stand-alone License paragraphs they name; continuation lines lose their leading
# space and a lone "." becomes an empty line.
dep5() {
  awk -v want="$1" -v skip="$2" '
    BEGIN { RS = ""; FS = "\n" }
    {
      split($1, head, /: */)
      if (head[1] == "Files") {
        pattern = substr($1, index($1, ":") + 2)
        sub(/^ +/, "", pattern)
        if (pattern ~ want && (skip == "" || pattern !~ skip)) {
          kept[++n] = $0
          for (i = 1; i <= NF; i++)
            if ($i ~ /^License: /) {
              names = substr($i, 10)
              gsub(/ (and|or) /, " ", names)
              split(names, list, / +/)
              for (k in list) used[list[k]] = 1
            }
        }
      } else if (head[1] == "License") {
        name = substr($1, 10)
        sub(/ +$/, "", name)
        licence[name] = $0
        order[++m] = name
      }
    }
    END {
      for (i = 1; i <= m; i++)
        if (order[i] in used) kept[++n] = licence[order[i]]
      for (i = 1; i <= n; i++) {
        if (i > 1) print ""
        c = split(kept[i], lines, "\n")
        for (j = 1; j <= c; j++) {
          line = lines[j]
          if (line ~ /^[ \t]/) { sub(/^ /, "", line); if (line ~ /^ *\.$/) line = "" }
          print line
        }
      }
    }' "$3"
}

bar=$(printf '=%.0s' $(seq 72))
section() { printf '%s\n%s\n%s\n' "$bar" "$1" "$bar"; }

{
  echo "Tessavo includes the following open-source components."
  echo "Each is used under the license reproduced in its section."
  echo
  section "nlohmann/json $json_version"
  dep5 '^(\*|include/)' '' "$json_doc"
  echo
  section "MinGW-w64 runtime and winpthreads $mingw_version"
  dep5 '^(\*$|mingw-w64-crt/|mingw-w64-libraries/winpthreads/)' \
       '^(mingw-w64-crt/profile/|mingw-w64-libraries/winpthreads/tests_pthread/)' "$mingw_doc"
  echo
  section "GCC runtime libraries (libstdc++, libgcc) $gcc_version"
  echo "These libraries are licensed under the GNU General Public License, version 3,"
  echo "with the GCC Runtime Library Exception, version 3.1; both texts follow."
  echo
  awk '/^GCC RUNTIME LIBRARY EXCEPTION$/ { on = 1 } on { print } on && /^requirements of the license of GCC\.$/ { exit }' "$gcc_doc"
  echo
  cat "$gpl3"
} | sed -e 's/\r$//' -e 's/$/\r/' > "$out.tmp"
mv "$out.tmp" "$out"
