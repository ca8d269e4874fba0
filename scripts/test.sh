#!/usr/bin/env bash
# Builds everything and runs every test (with the default preset, the
# Windows DLL under Wine as well).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
preset="${1:-default}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset"
# The 32-bit Windows DLL, cross-built and tested under Wine.
if [ "$preset" = default ]; then bash scripts/test-windows.sh; fi
