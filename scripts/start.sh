#!/usr/bin/env bash
# Installs what is missing, builds Wordpop and starts it on its bundled data.
# The build folder is a portable program folder: settings and dictionaries stay in it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
wordpop_install_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWORDPOP_TESTS=OFF
cmake --build build
exec ./build/wordpop "$@"
