#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite (headless);
# then, when clang++ is there, runs every fuzz target for 30 seconds
# (FUZZ_SECONDS) from the seeds and the corpus kept in build-fuzz/.
#
#   scripts/test.sh              the suite in build/, the web page's tests
#                                (scripts/web-test.sh, building its WebAssembly
#                                libraries once when they are not cached),
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

# The web page in headless chromium: its WebAssembly build and its tests
# (scripts/web-test.sh; installs chromium and puppeteer-core when missing).
# zlib, libxml2 and libarchive built for WebAssembly are cached outside the
# clone, keyed by their versions (scripts/wasm-deps.sh), so a fresh clone on
# the same machine reuses them and the web tests add a few minutes; a machine
# without the cache builds it first (about 10 minutes of CPU on 2 cores; 29
# minutes of wall time on a machine busy with other work).
# MORVIK_WEB_TESTS=cached runs them only when the cache is there;
# MORVIK_WEB_TESTS=0 leaves them out.
web_tests=${MORVIK_WEB_TESTS:-1}
if [[ $web_tests == 1 ]] ||
  { [[ $web_tests == cached ]] && bash scripts/wasm-deps.sh --cached >/dev/null; }; then
  bash scripts/web-test.sh
elif [[ $web_tests == cached ]]; then
  echo "test.sh: the web page's tests were NOT run: zlib, libxml2 and libarchive for"
  echo "test.sh: WebAssembly are not built for the installed versions. Build them once"
  echo "test.sh: with 'bash scripts/wasm-deps.sh', or run 'bash scripts/test.sh'."
else
  echo "test.sh: the web page's tests were not run (MORVIK_WEB_TESTS=$web_tests)"
fi

if command -v clang++ >/dev/null; then
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
else
  echo "test.sh: clang++ is missing, fuzz targets not run"
fi
