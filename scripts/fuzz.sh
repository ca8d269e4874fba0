#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS on its corpus, which
# starts as a copy of fuzz/corpus/TARGET and grows in build/fuzz/corpus/TARGET
# from run to run. An input that crashes, leaks, times out or runs out of
# memory is kept in build/fuzz/artifacts/TARGET/; then the script fails.
# Usage: scripts/fuzz.sh [seconds-per-target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

# clang and its runtimes (libFuzzer's among them).
bash scripts/deps.sh clang libclang-rt-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

out=build/fuzz
failed=0
for target in fuzz_algorithm fuzz_request fuzz_base fuzz_plans; do
  corpus="$out/corpus/$target"
  artifacts="$out/artifacts/$target"
  log="$out/logs/$target.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "== $target: ${seconds}s, corpus $corpus"
  status=0
  # The time limit catches hangs. A request may legitimately run each solve
  # the targets make of it up to the work limit: about half a second
  # natively, up to twenty seconds under the sanitizers (a recursive function
  # whose expansions keep a conditional, for one); the limit leaves room for
  # the few solves of such a request.
  nice -n 19 "$out/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=300 \
    -rss_limit_mb=2048 -dict=fuzz/zekalg.dict -artifact_prefix="$artifacts/" \
    -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
  grep -aE '^#[0-9]+[[:space:]]+DONE|^stat::(average_exec_per_sec|peak_rss_mb)' "$log" || true
  grep -aoE 'Test unit written to [^ ]*slow-unit-[^ ]+' "$log" | sed 's/^Test unit written to /slow input (not a failure): /' || true
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "$target failed (exit $status); the end of $log:"
    tail -n 40 "$log"
    for file in $(grep -aoE 'Test unit written to [^ ]+' "$log" | grep -v slow-unit- | sed 's/^Test unit written to //'); do
      echo "input kept in $file (rerun: $out/fuzz/$target $file)"
    done
  fi
done
exit "$failed"
