#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite (headless);
# then, when clang++ is there, runs every fuzz target for 30 seconds
# (FUZZ_SECONDS) from the seeds and the corpus kept in build-fuzz/.
#
#   scripts/test.sh              the suite in build/, the web page's tests
#                                (scripts/web-test.sh, with MORVIK_WEB_TESTS=1),
#                                then the fuzz targets
#   scripts/test.sh --sanitize   the suite built with AddressSanitizer and
#                                UBSan in build-sanitize/ (SANITIZE_BUILD_DIR)
#   scripts/test.sh --tsan       the suite built with ThreadSanitizer in
#                                build-tsan/ (TSAN_BUILD_DIR); the validation
#                                threads share compiled schemas and a pool
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --sanitize ]]; then
  bash scripts/setup.sh --target help >/dev/null
  build=${SANITIZE_BUILD_DIR:-build-sanitize}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIK_SANITIZE=ON >/dev/null
  cmake --build "$build"
  export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
  # Leaks are reported too; UBSan stops at its first finding.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
  ctest --test-dir "$build" --output-on-failure -j2
  exit
fi

if [[ ${1:-} == --tsan ]]; then
  bash scripts/setup.sh --target help >/dev/null
  build=${TSAN_BUILD_DIR:-build-tsan}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIK_TSAN=ON >/dev/null
  cmake --build "$build"
  export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
  # Every run validates on several threads, also on a machine with one core.
  export MORVIK_WORKERS=4
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/tests/tsan.supp"
  ctest --test-dir "$build" --output-on-failure -j2
  exit
fi

bash scripts/setup.sh
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2

# The web page in headless chromium (installs emscripten and chromium; the
# WebAssembly libraries are cached outside the clone), with MORVIK_WEB_TESTS=1
# until its first whole run has passed on the CI machine.
if [[ ${MORVIK_WEB_TESTS:-0} == 1 ]]; then
  bash scripts/web-test.sh
fi

if command -v clang++ >/dev/null; then
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
else
  echo "test.sh: clang++ is missing, fuzz targets not run"
fi
