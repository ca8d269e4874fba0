#!/usr/bin/env bash
# Builds everything and runs every test (with the default preset, the
# Windows DLL under Wine as well).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check-layers.sh
bash scripts/check-format.sh
preset="${1:-default}"
cmake --preset "$preset" >/dev/null

# ThreadSanitizer's runtime places its shadow memory at fixed addresses; on
# kernels that randomise mmap addresses with more bits than it knows, its
# programs stop at start-up ("unexpected memory mapping"). The build runs
# test programs too (to list their tests), so then both run with address
# space randomisation off.
run=()
if [ "$preset" = tsan ]; then
  probe_dir="$(mktemp -d)"
  trap 'rm -rf "$probe_dir"' EXIT
  compiler="$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/tsan/CMakeCache.txt)"
  echo 'int main() { return 0; }' >"$probe_dir/probe.cpp"
  "${compiler:-c++}" -fsanitize=thread "$probe_dir/probe.cpp" -o "$probe_dir/probe"
  if ! "$probe_dir/probe" >/dev/null 2>&1; then
    if setarch "$(uname -m)" -R "$probe_dir/probe" >/dev/null 2>&1; then
      echo "tsan: running with address space randomisation off (setarch -R)"
      run=(setarch "$(uname -m)" -R)
    else
      echo "tsan: ThreadSanitizer programs cannot run here:" >&2
      "$probe_dir/probe" || true
      exit 1
    fi
  fi
fi

${run[@]+"${run[@]}"} cmake --build --preset "$preset" -j"$(nproc)"
${run[@]+"${run[@]}"} ctest --preset "$preset"
# The random series through every build that ships (the native library with
# the C library's FMA paths off, the 32-bit and 64-bit Windows DLLs under
# Wine, Linux aarch64 under qemu), each byte for byte the native one's; the Python
# package, installed into a fresh virtual environment and tested there; the
# WebAssembly package in Node and headless Chromium (with the workbench as
# static files); one sample through the command, the service, Python and
# JavaScript, row for row; the
# workbench of `zekalg serve` in headless Chromium; the service's answers
# against its OpenAPI document, and two instances behind haproxy.
if [ "$preset" = default ]; then
  bash scripts/test-platforms.sh
  bash scripts/test-python.sh
  bash scripts/test-wasm.sh
  bash scripts/test-frontends.sh
  bash scripts/test-workbench.sh
  ZEKALG="$PWD/build/default/zekalg" ZEKALG_CLI_TEST="$PWD/build/default/tests/cli/cli_test" \
    bash scripts/test-service.sh
fi
