#!/usr/bin/env bash
# The page's tests in a real browser: builds morvik-inspect and the demo
# archive (build/), the page (build-wasm/, scripts/web-build.sh), installs
# Debian's chromium and puppeteer-core (into a cache outside the clone, keyed
# by tests/web/package.json), then runs tests/web/web_test.mjs: the page's
# logs and JSON reports against morvik-inspect's, the requests it makes, the
# largest archive, screenshots. The screenshots go to build-wasm/shots/;
# `scripts/web-test.sh --pictures` also copies the page's picture to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for package in chromium python3 npm nodejs; do
  installed "$package" || command -v "$package" >/dev/null || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "web-test: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=1200 install -y -qq \
    --no-install-recommends "${missing[@]}" >&2
fi

BUILD_DIR=${BUILD_DIR:-build}
bash scripts/setup.sh --target morvik-inspect demo_archive >/dev/null
site=$(bash scripts/web-build.sh | tail -n 1)
build_wasm=$(dirname "$site")

# puppeteer-core only: it drives the system's chromium and downloads none.
key=$(sha256sum tests/web/package.json | cut -c1-16)
modules=${MORVIK_NODE_CACHE:-/var/cache/morvik-node}/$key
if [[ ! -f $modules/.complete ]]; then
  $SUDO mkdir -p "$modules"
  [[ -w $modules ]] || $SUDO chown "$(id -u):$(id -g)" "$modules"
  cp tests/web/package.json "$modules/"
  (cd "$modules" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --omit=dev --loglevel=error >&2)
  touch "$modules/.complete"
fi

realdata=${MORVIK_REALDATA:-$PWD/../shared/realdata/mhlw-v08-2024}
[[ -d $realdata ]] || realdata=/work/shared/realdata/mhlw-v08-2024
export MORVIK_NODE_MODULES=$modules/node_modules MORVIK_SITE=$site MORVIK_REALDATA=$realdata \
  MORVIK_INSPECT=$BUILD_DIR/morvik-inspect MORVIK_DEMO_ZIP=$(ls "$BUILD_DIR"/demo/*.zip) \
  MORVIK_SHOTS=$build_wasm/shots

# For bench/web_bench.sh: the same set-up, then the environment it needs.
if [[ ${1:-} == --setup-only ]]; then
  export -p | grep -E ' MORVIK_(NODE_MODULES|SITE|REALDATA|INSPECT|DEMO_ZIP|SHOTS)='
  exit 0
fi

archives=$(mktemp -d)
trap 'rm -rf "$archives"' EXIT
python3 tests/web/make_archives.py "$archives"

MORVIK_ARCHIVES=$archives \
  node tests/web/web_test.mjs

if [[ ${1:-} == --pictures ]]; then
  cp "$build_wasm/shots/web-page.png" docs/web-page.png
fi
