#!/usr/bin/env bash
# Sets up what is missing, builds morvik-inspect and the demo archive (not the
# desktop program or the tests), and inspects the archive, printing the result
# log. Each run works on a fresh copy of the archive in a temporary folder,
# removed at the end, so it can be run again and again.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
export LC_ALL=C.UTF-8

# The package installation and the build say a lot; one line here, the rest
# in a log file that is shown only when something fails.
mkdir -p "$BUILD_DIR"
setup_log=$BUILD_DIR/setup.log
echo "== installing missing packages and building morvik-inspect (the first time takes a few minutes; details in $setup_log)"
if ! bash scripts/setup.sh --target morvik-inspect demo_archive >"$setup_log" 2>&1; then
  tail -n 40 "$setup_log" >&2
  echo "== setup failed; the whole log is $setup_log" >&2
  exit 1
fi

demo_zip=$(ls "$BUILD_DIR"/demo/*.zip)
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/morvik-demo.XXXXXX")
trap 'rm -rf "$run_dir"' EXIT
cp "$demo_zip" "$run_dir/"
zip_copy="$run_dir/$(basename "$demo_zip")"

echo "== morvik-inspect $zip_copy"
status=0
"$BUILD_DIR/morvik-inspect" "$zip_copy" || status=$?
echo "== exit status $status (0 all valid, 1 some document failed, 2 stopped before validating)"
echo "== the demo has five documents; h1310000001202612010002.xml is invalid on purpose"
echo "== the temporary copy and its extraction folder are removed now"
# The demo holds one invalid document on purpose; anything but 0 or 1 is a fault.
[[ $status -le 1 ]]
