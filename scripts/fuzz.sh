#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ (FUZZ_BUILD_DIR) and runs each one for SECONDS (default 60),
# starting from its seeds and from the corpus that earlier runs kept.
#
#   scripts/fuzz.sh [SECONDS]
#
# Adding a target takes two lines:
#   1. fuzz/NAME.cpp defining LLVMFuzzerTestOneInput (fuzz/unzip_fuzz.cpp is
#      one to copy);
#   2. morvik_fuzz_target(NAME NAME.cpp) in fuzz/CMakeLists.txt.
# Seeds are optional: files in fuzz/seeds/NAME/ are used as they are, and
# fuzz_seeds (fuzz/fuzz_seeds.cpp) may write generated ones to
# build-fuzz/seeds/NAME/.
#
# What each target found is kept in build-fuzz/findings/NAME/ (replay one with
# build-fuzz/fuzz/NAME FILE); the script exits non-zero when any target
# found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVIK_FUZZ=ON >/dev/null
fi
cmake --build "$build" --target fuzz_targets

"$build/fuzz/fuzz_seeds" "$build/seeds"
real=../shared/realdata/mhlw-v08-2024/5521111111_00280081_202405271_1.zip
if [[ -f $real ]]; then
  cp "$real" "$build/seeds/unzip_fuzz/real.zip"
fi

# The targets work in files: in memory where the system offers it, removed
# at the end whatever happens.
scratch=$(mktemp -d "$([[ -d /dev/shm ]] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/morvik-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch

failed=()
while read -r target; do
  [[ -n $target ]] || continue
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  inputs=("$corpus")
  for seeds in "fuzz/seeds/$target" "$build/seeds/$target"; do
    if [[ -d $seeds ]]; then
      inputs+=("$seeds")
    fi
  done
  echo "== $target: ${seconds}s"
  # -timeout: an input that takes this long is a finding (a hang).
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" \
      >"$build/$target.log" 2>&1; then
    failed+=("$target")
  fi
  grep -E "^(#[0-9]+.*DONE|stat::)|ERROR|Done [0-9]+ runs" "$build/$target.log" || true
done <"$build/fuzz/targets.txt"

if ((${#failed[@]})); then
  echo "fuzz.sh: findings in ${failed[*]} (see $build/findings/ and $build/*.log)" >&2
  exit 1
fi
