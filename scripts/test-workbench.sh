#!/usr/bin/env bash
# The workbench of `zekalg serve` in a real browser: Debian's headless
# Chromium, driven by npm's playwright-core (no browser is downloaded). Builds
# the command, starts `zekalg serve` on a free loopback port and runs
# tests/workbench/workbench.test.mjs with node's test runner.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=(chromium)
command -v node >/dev/null || extra+=(nodejs)
command -v npm >/dev/null || extra+=(npm)
bash scripts/deps.sh "${extra[@]}"

cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zekalg_cli

cd tests/workbench
npm ci --no-audit --no-fund --loglevel=error
ZEKALG="$PWD/../../build/default/zekalg" CHROMIUM="$(command -v chromium)" npm test
