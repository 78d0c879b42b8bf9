#!/usr/bin/env bash
# Writes a picture of the main window after a run on the demo archive, by
# default docs/morvik-main-window.png. Runs the desktop program's window on a
# virtual X screen (Xvfb) at 96 dpi, so it needs no desktop; Japanese text is
# drawn with the installed Noto CJK fonts. Works on a fresh copy of the demo
# archive and with settings in a throw-away folder, so it can be run again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
out=${1:-docs/morvik-main-window.png}
mkdir -p "$(dirname "$out")"

demo_zip=$(ls "$BUILD_DIR"/demo/*.zip)
work=$(mktemp -d "${TMPDIR:-/tmp}/morvik-screenshot.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/demo" "$work/config" "$work/bin"
cp "$demo_zip" "$work/demo/"
# The window is driven by the screenshot test's tool mode. Under the name
# Morvik it shows that name in the status bar, as the program does.
cp "$BUILD_DIR/tests/screenshot_test" "$work/bin/Morvik"

export LC_ALL=C.UTF-8 XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$work/bin/Morvik" --screenshot "$out" "$work/demo/$(basename "$demo_zip")"
echo "wrote $out"
