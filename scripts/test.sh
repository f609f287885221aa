#!/usr/bin/env bash
# Installs what is missing, builds everything with address and undefined-behaviour sanitizers
# (clang, so that the fuzz targets build too) and runs every test under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
wordpop_install_packages
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DWORDPOP_SANITIZE=ON -DWORDPOP_FUZZ=ON -DWORDPOP_TESTS=ON
cmake --build build-test
cd build-test
exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "$@"
