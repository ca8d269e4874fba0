#!/usr/bin/env bash
# The engine for JavaScript: builds the WebAssembly module and its package
# (scripts/build-wasm.sh) and runs js/test with node's test runner: the
# conformance cases and the package's own cases through Environment, the
# tools, the seed promise over random programs, the package as `npm pack`
# in js/ gives it installed into a fresh project (the READMEs' JavaScript
# examples run there, the types checked with npm's typescript), the random
# series byte for byte against the native library
# (ZEKALG_NATIVE_BUILD, default build/default; built in build/wasm-native
# when missing), the package in headless Chromium (Debian's, driven by
# npm's playwright-core), and there the workbench as static files
# (build/wasm/site) from a plain file server, with no zekalg process.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=(chromium)
command -v node >/dev/null || extra+=(nodejs)
command -v npm >/dev/null || extra+=(npm)
bash scripts/deps.sh "${extra[@]}"
bash scripts/build-wasm.sh

native="$(realpath -m "${ZEKALG_NATIVE_BUILD:-build/default}")"
if [ ! -x "$native/tests/differential_host" ] || [ ! -e "$native/libzekalg.so" ]; then
  native="$PWD/build/wasm-native"
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEKALG_BUILD_CLI=OFF >/dev/null
  cmake --build "$native" -j"$(nproc)" --target zekalg differential_host
fi

cd js/test
npm ci --no-audit --no-fund --loglevel=error
ZEKALG_NATIVE_BUILD="$native" CHROMIUM="$(command -v chromium)" \
  node --test --test-reporter=spec ./*.test.mjs
