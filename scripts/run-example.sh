#!/usr/bin/env bash
# Builds the engine and runs the main job on a shipped example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
./build/default/example_host examples/sum_of_two.alg sum a b
