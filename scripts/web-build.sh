#!/usr/bin/env bash
# Builds the web page: the inspection core compiled to WebAssembly in
# build-wasm/ (BUILD_WASM_DIR) against the libraries scripts/wasm-deps.sh
# builds and caches. The page is then build-wasm/web/: open index.html from
# disk or serve the folder with any static server.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=$(bash scripts/wasm-deps.sh | tail -n 1)
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
build=${BUILD_WASM_DIR:-build-wasm}
emcmake cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_WASM=ON \
  -DMORVIK_WASM_DEPS="$deps" >/dev/null
cmake --build "$build" -j2
echo "$PWD/$build/web"
