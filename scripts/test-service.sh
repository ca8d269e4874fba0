#!/usr/bin/env bash
# `zekalg serve` beyond ctest, over loopback only:
#  1. the service's tests again, each answer they get recorded, and every
#     answer checked against the OpenAPI document with npm's Ajv;
#  2. two instances behind Debian's haproxy, one stopped with SIGTERM and
#     started again in the middle of a stream of solves (tests/service/failover.mjs).
# ZEKALG and ZEKALG_CLI_TEST name the command and the tests' binary; when
# they are not given, the default preset is built.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=(haproxy curl)
command -v node >/dev/null || extra+=(nodejs)
command -v npm >/dev/null || extra+=(npm)
bash scripts/deps.sh "${extra[@]}"

if [ -z "${ZEKALG:-}" ] || [ -z "${ZEKALG_CLI_TEST:-}" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target zekalg_cli cli_test
  ZEKALG="${ZEKALG:-$PWD/build/default/zekalg}"
  ZEKALG_CLI_TEST="${ZEKALG_CLI_TEST:-$PWD/build/default/tests/cli/cli_test}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== every answer of the service's tests against /v1/openapi.json"
ZEKALG_SERVICE_RECORD="$work/answers.jsonl" "$ZEKALG_CLI_TEST" --gtest_filter='*Serve*' \
  --gtest_brief=1
(cd tests/service && npm ci --no-audit --no-fund --loglevel=error &&
  node validate-responses.mjs ../../cli/workbench/openapi.json "$work/answers.jsonl")

echo "== failover behind haproxy"
node tests/service/failover.mjs "$ZEKALG"
