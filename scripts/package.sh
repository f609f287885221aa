#!/usr/bin/env bash
# Builds the Debian package wordpop_<version>_<arch>.deb into build-release/:
# a release build installed into /usr, packed by CPack.
#   bash scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/common.sh
wordpop_install_packages
[ -f /work/ccache.env ] && . /work/ccache.env
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DWORDPOP_TESTS=OFF "${launcher[@]}"
cmake --build build-release -j"$(nproc)"
cd build-release
cpack -G DEB
ls -l ./*.deb
