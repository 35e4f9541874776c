#!/bin/sh
# Wine cannot make links from inside a Windows program, so the tests' links are made
# here, on the Linux side, before the Windows tests run. Every link points at a decoy
# whose survival the tests check; the fixture is rebuilt for every run.
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/memvane-link" "$out/decoy-memvane"
echo keep > "$out/decoy-memvane/keep.txt"
ln -s "$out/decoy-memvane" "$out/memvane-link/Memvane"
