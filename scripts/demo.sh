#!/usr/bin/env bash
# Sets up what is missing, builds morvik-inspect and the demo archive (not the
# desktop program or the tests), and inspects the archive, printing the result
# log. Each run works on a fresh copy of the archive, so it can be run again
# and again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --target morvik-inspect demo_archive
BUILD_DIR=${BUILD_DIR:-build}
export LC_ALL=C.UTF-8

demo_zip=$(ls "$BUILD_DIR"/demo/*.zip)
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/morvik-demo.XXXXXX")
cp "$demo_zip" "$run_dir/"
zip_copy="$run_dir/$(basename "$demo_zip")"

echo "== morvik-inspect $zip_copy"
status=0
"$BUILD_DIR/morvik-inspect" "$zip_copy" || status=$?
echo "== exit status $status (0 all valid, 1 some document failed, 2 stopped before validating)"
echo "== the demo has five documents; h1310000001202612010002.xml is invalid on purpose"
echo "== extracted into ${zip_copy%.zip}/"
# The demo holds one invalid document on purpose; anything but 0 or 1 is a fault.
[[ $status -le 1 ]]
