#!/usr/bin/env bash
# Builds the engine and the zekalg command and runs them on the shipped examples.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
# Only what the main job needs: the library, the command and the example
# host (the test suite is built by scripts/test.sh), and the tools' library,
# so that `cmake --install build/default` finds everything it installs.
cmake --build --preset default -j"$(nproc)" --target zekalg zekalg_cli example_host \
  zekalg_tools_shared
./build/default/example_host examples/sum_of_two.alg sum a b
# The zekalg command on the shipped examples: one variant of each, a sample
# with its summary, and the author's check.
zekalg=./build/default/zekalg
for example in examples/right_triangle.alg examples/quadratic.alg examples/discount.alg \
               examples/unit_conversion.alg; do
  echo "== zekalg solve $example --seed 2026"
  "$zekalg" solve "$example" --seed 2026
done
echo "== zekalg sample examples/right_triangle.alg -n 12 --seed 1"
"$zekalg" sample examples/right_triangle.alg -n 12 --seed 1
echo "== zekalg check examples/quadratic.alg"
"$zekalg" check examples/quadratic.alg
