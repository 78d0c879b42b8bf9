#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite (headless).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2
