#!/usr/bin/env bash
# Every C and C++ file git tracks is as clang-format (the tree's
# .clang-format) writes it; fails naming the files that are not.
# `bash scripts/check-format.sh --fix` formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || bash scripts/deps.sh clang-format
mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if ((${#unformatted[@]})); then
  printf '%s: not as clang-format writes it\n' "${unformatted[@]}" >&2
  echo "bash scripts/check-format.sh --fix formats them" >&2
  exit 1
fi
echo "format: ${#files[@]} files as clang-format writes them"
