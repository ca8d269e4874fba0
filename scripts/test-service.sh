#!/usr/bin/env bash
# `zekalg serve` beyond ctest, over loopback only:
#  1. the OpenAPI document linted with npm's @redocly/cli and its
#     recommended rules (tests/service/lint/redocly.yaml): no error and no
#     warning;
#  2. the service's tests again, each answer they get recorded, and every
#     answer checked against the OpenAPI document with npm's Ajv;
#  3. two instances behind Debian's haproxy, one stopped with SIGTERM and
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

echo "== /v1/openapi.json linted with Redocly's recommended rules"
# @redocly/cli 2 needs Node.js 20.19 or later (Debian 12's own is 18).
node -e 'const [major, minor] = process.versions.node.split(".").map(Number);
  if (major < 20 || (major === 20 && minor < 19)) {
    console.error(`@redocly/cli needs Node.js 20.19 or later, not ${process.version}`);
    process.exit(1);
  }'
(cd tests/service/lint && npm ci --no-audit --no-fund --loglevel=error)
if ! (cd tests/service/lint && REDOCLY_TELEMETRY=off REDOCLY_SUPPRESS_UPDATE_NOTICE=true \
        npx --no-install redocly lint --config redocly.yaml --format=json \
        ../../../cli/workbench/openapi.json 2>"$work/redocly.log") >"$work/lint.json"; then
  cat "$work/redocly.log" "$work/lint.json" >&2
  exit 1
fi
node -e '
  const report = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
  for (const p of report.problems) {
    console.error(`${p.severity} ${p.ruleId}: ${p.message} (${p.location[0]?.pointer})`);
  }
  const { errors, warnings } = report.totals;
  console.log(`redocly ${report.version}: ${errors} errors, ${warnings} warnings`);
  process.exit(errors + warnings === 0 ? 0 : 1);' "$work/lint.json"

echo "== every answer of the service's tests against /v1/openapi.json"
ZEKALG_SERVICE_RECORD="$work/answers.jsonl" "$ZEKALG_CLI_TEST" --gtest_filter='*Serve*' \
  --gtest_brief=1
(cd tests/service && npm ci --no-audit --no-fund --loglevel=error &&
  node validate-responses.mjs ../../cli/workbench/openapi.json "$work/answers.jsonl")

echo "== failover behind haproxy"
node tests/service/failover.mjs "$ZEKALG"
