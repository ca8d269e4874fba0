#!/usr/bin/env bash
# One sample through every front end: the command, the service, the Python
# package and the JavaScript package give the same rows for
# `sample FILE -n 50 --seed 1` (with and without --base) on every example
# (tests/frontends/same_rows.mjs); and the service and both packages the
# same grade documents, byte for byte, for every example question
# (tests/frontends/same_grade.mjs). Runs after scripts/test-python.sh and
# scripts/test-wasm.sh, whose builds it uses: build/default/zekalg,
# build/python-venv and build/wasm/package.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v node >/dev/null || bash scripts/deps.sh nodejs
ZEKALG="${ZEKALG:-$PWD/build/default/zekalg}" PYTHON="${PYTHON:-$PWD/build/python-venv/bin/python}" \
  ZEKALG_JS_PACKAGE="${ZEKALG_JS_PACKAGE:-$PWD/build/wasm/package}" \
  node --test --test-reporter=spec tests/frontends/same_rows.mjs tests/frontends/same_grade.mjs
