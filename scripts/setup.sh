#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those that
# are missing), then configures and builds. Safe to run again. Arguments go to
# `cmake --build`: `bash scripts/setup.sh --target morvik-inspect` builds that
# program alone (scripts/demo.sh does so); without them everything is built,
# the tests too.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache
  libxml2-dev libarchive-dev zlib1g-dev nlohmann-json3-dev
  qt6-base-dev libgl-dev
  googletest libgtest-dev
  libxml2-utils unzip zip
  qt6-translations-l10n
  fonts-noto-cjk xvfb xauth
  desktop-file-utils dpkg-dev file groff-base
  clang libclang-rt-14-dev libfuzzer-14-dev
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Run as root (apt-get needs it)." >&2; exit 1; }
    SUDO=sudo
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" "$@"
