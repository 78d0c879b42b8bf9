#!/usr/bin/env bash
# Installs what the browser build needs (Debian's emscripten and node-acorn),
# then builds zlib, libxml2 and libarchive for WebAssembly from Debian's own
# source packages -- the versions the native build links -- into a cache
# outside the clone, one folder per set of versions:
#
#   ${MORVIK_WASM_CACHE:-/var/cache/morvik-wasm}/<key>/{include,lib}
#
# A fresh clone on the same machine reuses it. Prints the folder on its last
# line. Nothing is downloaded at build time but Debian's source packages (no
# emscripten ports). Safe to run again.
#
#   scripts/wasm-deps.sh --cached   installs and builds nothing: prints the
#                                   folder and succeeds when it is there for
#                                   the versions installed, else fails
set -euo pipefail
cd "$(dirname "$0")/.."
CACHED_ONLY=0
[[ ${1:-} == --cached ]] && CACHED_ONLY=1

SUDO=""
if [[ $(id -u) -ne 0 ]] && ((!CACHED_ONLY)); then
  command -v sudo >/dev/null || { echo "Run as root (apt-get needs it)." >&2; exit 1; }
  SUDO=sudo
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The native build's libraries, whose versions are the ones to build.
NEEDED=(emscripten node-acorn dpkg-dev zlib1g-dev libxml2-dev libarchive-dev)
missing=()
for package in "${NEEDED[@]}"; do installed "$package" || missing+=("$package"); done
if ((${#missing[@]} && CACHED_ONLY)); then
  exit 1
fi
if ((${#missing[@]})); then
  echo "wasm-deps: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=1200 install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# emscripten's JavaScript optimizer finds acorn there.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

source_version() { dpkg-query -W -f='${source:Version}' "$1"; }
ZLIB_VERSION=$(source_version zlib1g-dev)
XML2_VERSION=$(source_version libxml2-dev)
ARCHIVE_VERSION=$(source_version libarchive-dev)
EMSCRIPTEN_VERSION=$(dpkg-query -W -f='${Version}' emscripten)
# The key names every input of the build, this script's settings included.
key_text="zlib=$ZLIB_VERSION libxml2=$XML2_VERSION libarchive=$ARCHIVE_VERSION emscripten=$EMSCRIPTEN_VERSION recipe=$(sha256sum "$0" | cut -c1-12)"
KEY=$(printf '%s' "$key_text" | tr -c 'A-Za-z0-9.+=~-' '_' | sha256sum | cut -c1-16)
CACHE=${MORVIK_WASM_CACHE:-/var/cache/morvik-wasm}
PREFIX=$CACHE/$KEY

if [[ -f $PREFIX/.complete ]]; then
  echo "$PREFIX"
  exit 0
fi
((CACHED_ONLY)) && exit 1

$SUDO mkdir -p "$CACHE"
[[ -w $CACHE ]] || $SUDO chown "$(id -u):$(id -g)" "$CACHE"

# Source packages need a deb-src entry; add one for the mirror the system
# already uses when there is none.
if ! apt-get source --print-uris -qq "zlib=$ZLIB_VERSION" >/dev/null 2>&1; then
  echo "wasm-deps: adding deb-src entries for the configured Debian mirror" >&2
  # deb822 files: the same entries as source entries.
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file && $file != */morvik-deb-src.sources ]] || continue
    sed 's/^Types:.*/Types: deb-src/' "$file"
    echo
  done | $SUDO tee /etc/apt/sources.list.d/morvik-deb-src.sources >/dev/null
  # One-line files: each deb line as a deb-src line.
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] || continue
    sed -n 's/^deb \(.*\)/deb-src \1/p' "$file"
  done | $SUDO tee /etc/apt/sources.list.d/morvik-deb-src.list >/dev/null
  $SUDO apt-get update -qq
fi

WORK=$(mktemp -d "$CACHE/.build-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
STAGE=$WORK/prefix
mkdir -p "$STAGE"
cd "$WORK"
apt-get source -qq --only-source "zlib=$ZLIB_VERSION" "libxml2=$XML2_VERSION" \
  "libarchive=$ARCHIVE_VERSION" >&2

JOBS=${WASM_DEPS_JOBS:-2}
export CFLAGS="-O2"

# zlib: the static library alone.
(
  cd zlib-*/
  emconfigure ./configure --static --prefix="$STAGE"
  emmake make -j"$JOBS" libz.a
  emmake make install-libs install-headers 2>/dev/null || {
    mkdir -p "$STAGE/lib" "$STAGE/include"
    cp libz.a "$STAGE/lib/"; cp zlib.h zconf.h "$STAGE/include/"
  }
) >&2

# libxml2: parser, tree, reader and XML Schemas; no Python, ICU, LZMA,
# HTTP, FTP or threads (the page validates on one thread); iconv is the C
# library's, for documents in other encodings.
(
  cd libxml2-*/
  # Debian's patches change Makefile.am for a test program and the HTML
  # documents only: the generated Makefile.in stands, without automake.
  find . \( -name Makefile.am -o -name configure.ac -o -name '*.m4' \) -exec touch -d 2000-01-01 {} +
  # Its config.sub predates WebAssembly: a 32-bit cross build to configure.
  emconfigure ./configure --host=i686-pc-linux-gnu --build=x86_64-pc-linux-gnu --prefix="$STAGE" \
    --enable-static --disable-shared --without-python --without-icu --without-lzma \
    --without-http --without-ftp --without-threads --without-debug --without-catalog \
    --without-modules --with-zlib="$STAGE"
  emmake make -j"$JOBS" libxml2.la
  emmake make install-libLTLIBRARIES install-data-am 2>/dev/null || true
  emmake make -C include install
  mkdir -p "$STAGE/lib"
  cp .libs/libxml2.a "$STAGE/lib/"
) >&2

# libarchive: the library alone, zip with zlib; no crypto, no other
# compressors, no command-line tools.
(
  cd libarchive-*/
  mkdir build-wasm && cd build-wasm
  # Makefiles, not Ninja: libarchive 3.6 always declares its shared library
  # too, which emscripten names like the static one; Ninja refuses two rules
  # for one file, make builds the one target asked for.
  emcmake cmake .. -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$STAGE" \
    -DBUILD_SHARED_LIBS=OFF -DENABLE_TEST=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF \
    -DENABLE_CAT=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF \
    -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LZMA=OFF \
    -DENABLE_ZSTD=OFF -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF \
    -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF -DENABLE_CNG=OFF -DENABLE_XATTR=OFF \
    -DENABLE_ACL=OFF -DENABLE_ICONV=ON -DENABLE_INSTALL=ON \
    -DZLIB_INCLUDE_DIR="$STAGE/include" -DZLIB_LIBRARY="$STAGE/lib/libz.a"
  emmake make -j"$JOBS" archive_static
  mkdir -p "$STAGE/lib" "$STAGE/include"
  cp libarchive/libarchive.a "$STAGE/lib/"
  cp ../libarchive/archive.h ../libarchive/archive_entry.h "$STAGE/include/"
) >&2

echo "$key_text" >"$STAGE/VERSIONS"
rm -rf "$PREFIX"
mv "$STAGE" "$PREFIX"
touch "$PREFIX/.complete"
echo "$PREFIX"
