#!/usr/bin/env bash
# Builds the engine for JavaScript: the WebAssembly module and the npm
# package around it (js/), into build/wasm, with Debian's Emscripten
# (installed when missing, with Node.js and npm). The package folder is
# build/wasm/package, which the tests load; `npm pack` in js/ runs this
# script, copies the module's files in and gives the tarball (nothing is
# published). build/wasm/site is the workbench of `zekalg serve` as static
# files that any file server can serve: with no service behind them, the
# module answers its requests in the browser.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=()
command -v emcc >/dev/null || extra+=(emscripten)
command -v node >/dev/null || extra+=(nodejs)
command -v npm >/dev/null || extra+=(npm)
bash scripts/deps.sh ${extra[@]+"${extra[@]}"}

# One build of build/wasm at a time: `npm pack` in js/ and the test scripts
# run this too, and two builds in one folder race on its files.
mkdir -p build
exec 9>build/wasm.lock
flock 9

# Emscripten's optimiser runs on this Node.js, which does not look where
# Debian keeps the Node modules Emscripten needs (acorn).
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"

emcmake cmake -S js -B build/wasm -Wno-dev >/dev/null
cmake --build build/wasm -j"$(nproc)"
