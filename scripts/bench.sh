#!/usr/bin/env bash
# Builds the benchmarks with optimisation and runs them (never part of the test command).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
wordpop_install_packages
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWORDPOP_TESTS=OFF -DWORDPOP_BENCH=ON
cmake --build build-bench
for b in build-bench/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  xvfb-run -a "$b" "$@"
done
echo "== dict_process.sh"
bash bench/dict_process.sh build-bench
