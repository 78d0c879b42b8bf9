#!/usr/bin/env bash
# The page's benchmark, on demand: builds what scripts/web-test.sh builds,
# makes an archive of N real-shaped documents with inspect_bench, and runs
# bench/web_bench.mjs on it and on the demo archive.
#   bash bench/web_bench.sh [N] [ROUNDS]      (default 1000 and 5)
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-1000}
export ROUNDS=${2:-5}
eval "$(bash scripts/web-test.sh --setup-only)"
cmake --build "${BUILD_DIR:-build}" -j2 --target inspect_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zip=$work/5521111111_00280081_202405271_1.zip
MORVIK_REALDATA=$MORVIK_REALDATA "${BUILD_DIR:-build}"/bench/inspect_bench make "$n" "$zip"
OUT=${OUT:-bench/results/web_bench.md} node bench/web_bench.mjs "demo archive::$MORVIK_DEMO_ZIP" "$n real-shaped documents::$zip"
