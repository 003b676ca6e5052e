#!/usr/bin/env bash
# Makes the release files in build/package/:
#   crestsplit-<version>.tar.gz   the Octave package (pkg install)
#   crestsplit/                   the MATLAB folder: help, Contents.m, buildModules,
#                                 sources, and the modules built here for Linux and
#                                 Windows; zipped as crestsplit-<version>-matlab.zip
# Usage: bash scripts/package.sh [octave|matlab|all]   (default: all)
# The version comes from VERSION, the license from LICENSE; the error
# identifiers from the release build's list, which this builds if needed
# (and, for the MATLAB folder, the release and windows modules).
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case $what in octave | matlab | all) ;; *) echo "usage: $0 [octave|matlab|all]" >&2; exit 2 ;; esac

version=$(tr -d ' \n' <VERSION)
name=crestsplit-$version
out=$PWD/build/package
jobs=$(nproc)
stamp=$(git log -1 --format=%cs 2>/dev/null || date -u +%F)
modules=$(awk '!/^#/ && NF == 4 { print $1 }' modules.txt)

build() {  # build <preset> <targets...>
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$jobs" --target "$@" >/dev/null
}

# The sources a module build needs (no reference loops: the modules never
# include them), with the module list, under $1.
copy_sources() {
  local folder file
  mkdir -p "$1"
  cp modules.txt "$1/"
  for folder in modules mex contract common gini $(awk '!/^#/ && NF == 4 { print $2 }' modules.txt | sort -u); do
    mkdir -p "$1/$folder"
    for file in "$folder"/*.cpp "$folder"/*.h "$folder"/*.map; do
      [[ -e $file && $(basename "$file") != reference.h ]] && cp "$file" "$1/$folder/"
    done
  done
  return 0
}

# "name - summary" of each module, from the H1 lines of the help files.
summaries() {
  local m
  for m in $modules; do
    printf '%s\t%s\n' "$m" "$(head -1 "matlab/help/$m.m" | sed 's/^%[A-Z]*  //')"
  done
}

octave_package() {
  local stage dir
  stage=$(mktemp -d)
  dir=$stage/$name
  mkdir -p "$dir/inst"
  cat >"$dir/DESCRIPTION" <<DESC
Name: crestsplit
Version: $version
Date: $stamp
Author: the crestsplit developers
Maintainer: the crestsplit developers
Title: Edge thinning and decision-tree split searches
Description: Three MEX modules, bit-identical for any number of threads:
 crestThin thins an edge map by non-maximum suppression along each pixel's
 orientation and fades its border; splitScan and splitScanBinned find the
 best class-weighted Gini split of every real-valued or 8-bit binned feature
 of a decision-tree node.
Depends: octave (>= 7.0.0)
License: BSD-3-Clause
DESC
  cp LICENSE "$dir/COPYING"
  cp package/NEWS "$dir/NEWS"
  {
    echo "crestsplit >> Edge thinning and decision-tree split searches"
    echo "Modules"
    summaries | cut -f1 | sed 's/^/ /'
  } >"$dir/INDEX"
  for m in $modules; do cp "matlab/help/$m.m" "$dir/inst/"; done
  cp build/release/identifiers.txt "$dir/inst/"
  copy_sources "$dir/src"
  cp package/Makefile "$dir/src/"
  mkdir -p "$out"
  tar -C "$stage" --owner=0 --group=0 -czf "$out/$name.tar.gz" "$name"
  rm -rf "$stage"
  echo "$out/$name.tar.gz"
}

# Named crestsplit, so that `help crestsplit` shows its Contents.m.
matlab_folder() {
  local dir=$out/crestsplit zip=$out/$name-matlab.zip m ext
  rm -rf "$dir" "$zip"
  mkdir -p "$dir"
  {
    echo "% crestsplit: edge thinning and decision-tree split searches (MEX modules)"
    echo "% Version $version $(date -u -d "$stamp" +%d-%b-%Y)"
    echo "%"
    echo "% Modules"
    summaries | awk -F'\t' '{ printf "%%   %-16s - %s\n", $1, $2 }'
    echo "%"
    echo "% Building"
    printf '%%   %-16s - %s\n' buildModules "$(grep -m1 '^%' matlab/buildModules.m | sed 's/^%[A-Z]*  //')"
  } >"$dir/Contents.m"
  for m in $modules; do cp "matlab/help/$m.m" "$dir/"; done
  cp matlab/buildModules.m LICENSE "$dir/"
  copy_sources "$dir/src"
  # The README's calls, with the links into the repository made local.
  {
    cat <<'HEAD'
# crestsplit for MATLAB

Add this folder to the path (`addpath` it, and `savepath` to keep it); `help crestsplit`
and `help crestThin` then work. The modules are built for 64-bit Linux (`.mexa64`)
and Windows (`.mexw64`, with the OpenMP runtime DLLs beside them). On macOS, or to
build them again with your own compiler, run `buildModules` in this folder
(`mex -setup C++` first): it builds from `src/` into this folder.

HEAD
    sed -n '/^## Calls/,/^## Python/p' README.md | sed '$d' | sed -E 's#\]\(matlab/help/([A-Za-z]+\.m)\)#](\1)#g'
  } >"$dir/README.md"
  for m in $modules; do
    for ext in mexa64:release mexw64:windows; do
      cp "build/${ext#*:}/mex/$m.${ext%%:*}" "$dir/"
    done
  done
  cp build/windows/mex/*.dll "$dir/"
  (cd "$out" && cmake -E tar cf "$zip" --format=zip crestsplit)
  echo "$zip"
}

if [[ $what == matlab || $what == all ]]; then
  build release $modules identifiers
  build windows $modules
else
  build release identifiers
fi
[[ $what == matlab ]] || octave_package
[[ $what == octave ]] || matlab_folder
