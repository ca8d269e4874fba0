#!/usr/bin/env bash
# Runs one series of random cases through the library with plans and again
# with the rewriting alone (ZEKALG_REFERENCE_EVALUATOR=plans: its one-pass
# readers on, which count work as plans count it), and compares the outputs
# byte for byte.
# Usage: plans_vs_rewriting.sh DIFFERENTIAL_HOST LIBRARY OUTPUT_DIR
set -euo pipefail
host="$1" library="$2" out="$3"
cases="${ZEKALG_DIFFERENTIAL_CASES:-4000}"
seed="${ZEKALG_DIFFERENTIAL_SEED:-$(( $(date +%s) % 100000 ))}"
mkdir -p "$out"
echo "series $seed, $cases cases"
ZEKALG_REFERENCE_EVALUATOR=0 "$host" run "$library" "$seed" 0 "$cases" "$out/plans.txt"
ZEKALG_REFERENCE_EVALUATOR=plans "$host" run "$library" "$seed" 0 "$cases" "$out/rewriting.txt"
"$host" compare "$out/plans.txt" "$out/rewriting.txt"
