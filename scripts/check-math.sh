#!/usr/bin/env bash
# Checks the engine's math functions against GNU MPFR's correctly rounded
# results (tests/math/math_oracle.cpp): COUNT arguments per function
# (10,000,000 by default), drawn from ordinary and hard regions, with SEED
# choosing the series. Installs libmpfr-dev when missing (scripts/deps.sh).
# Usage: scripts/check-math.sh [COUNT [SEED]]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build=build/math-check
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target math_oracle >"$build/build.log" 2>&1 ||
  { tail -n 40 "$build/build.log"; exit 1; }
start=$SECONDS
status=0
"$build/tests/math_oracle" "${1:-10000000}" "${2:-1}" || status=$?
echo "checked in $((SECONDS - start)) s"
exit $status
