#!/usr/bin/env bash
# Runs the C-API benchmarks (complete variants, single formulas, muparser
# beside them) against the library of an earlier commit and against this
# tree's, built the same way on this machine, one after the other in one
# run, so that every ratio is measured side by side.
# Usage: scripts/bench-compare.sh REV [benchmark arguments...]
#   e.g. scripts/bench-compare.sh a4d85e4 --benchmark_filter='threads:1|Formula'
set -euo pipefail
cd "$(dirname "$0")/.."
rev="${1:?usage: scripts/bench-compare.sh REV [benchmark arguments...]}"
shift
bash scripts/deps.sh libmuparser-dev
root="$PWD"
out="$root/build/bench-compare"
mkdir -p "$out"

# The library of REV, from a worktree of its own.
if [ ! -d "$out/src-$rev" ]; then git worktree add -f "$out/src-$rev" "$rev" >/dev/null; fi
build_library() {  # SOURCE BUILD
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DZEKALG_BUILD_TESTS=OFF \
    -DZEKALG_BUILD_CLI=OFF >/dev/null
  cmake --build "$2" -j"$(nproc)" --target zekalg >/dev/null
}
build_library "$out/src-$rev" "$out/lib-$rev"
build_library "$root" "$out/lib-now"

# The same benchmark sources linked to each library.
flags=(-std=c++20 -O2 -I"$root/include" -DZEKALG_HAVE_MUPARSER
  -DZEKALG_EXAMPLES_DIR="\"$root/examples\"" -DZEKALG_BENCH_ALGORITHMS_DIR="\"$root/bench/algorithms\"")
for side in "$rev" now; do
  g++ "${flags[@]}" "$root/bench/variants_bench.cpp" "$root/bench/formulas_bench.cpp" \
    -o "$out/bench-$side" -L"$out/lib-$side" -Wl,-rpath,"$out/lib-$side" -lzekalg \
    $(pkg-config --cflags --libs muparser) -lbenchmark_main -lbenchmark -lpthread
done
for side in "$rev" now; do
  echo "== $side"
  "$out/bench-$side" "$@"
done
