#!/usr/bin/env bash
# Packs the build folder with CPack into a folder of its own, emptied first, for the package
# tests to share: one wordpop_<version>_<arch>.deb.
#   package_build.sh <build folder> <package folder>
set -uo pipefail
build=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out/cpack" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"; echo "cpack failed"; exit 1; }
debs=("$out"/cpack/wordpop_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { cat "$out/cpack.log"; echo "expected one wordpop_*.deb, got: ${debs[*]}"; exit 1; }
mv "${debs[0]}" "$out/"
rm -rf "$out/cpack"
ls -l "$out"/wordpop_*.deb
