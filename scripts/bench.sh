#!/usr/bin/env bash
# Builds the benchmarks in release mode (with muparser, the compiled
# evaluator they compare with) and runs them; arguments go to the benchmark
# program, e.g. --benchmark_filter='Formula|MuParser'.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh libmuparser-dev
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DZEKALG_BUILD_BENCH=ON \
  -DZEKALG_BUILD_TESTS=OFF -DZEKALG_BUILD_CLI=OFF >/dev/null
cmake --build build/bench -j"$(nproc)" --target zekalg_bench
./build/bench/bench/zekalg_bench "$@"
