#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: both programs, the desktop entry
# (validated when desktop-file-validate is there), the icons of the hicolor
# theme, a well-formed manual page and the documentation.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/morvik-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

for program in Morvik morvik-inspect; do
  [[ -x $prefix/bin/$program ]] || fail "bin/$program is not installed"
done
version=$("$prefix/bin/morvik-inspect" --version) || fail "morvik-inspect --version failed"
[[ $version == "morvik-inspect "* ]] || fail "morvik-inspect --version printed '$version'"
desktop_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/Morvik" --version) ||
  fail "Morvik --version failed"
[[ $desktop_version == "Morvik ${version#morvik-inspect }" ]] || fail "Morvik --version printed '$desktop_version'"

desktop=$prefix/share/applications/morvik.desktop
if [[ -f $desktop ]]; then
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "morvik.desktop does not validate"
  else
    echo "note: desktop-file-validate is not installed; entry checked by its keys only"
  fi
  grep -qx 'Exec=Morvik %f' "$desktop" || fail "morvik.desktop: Exec is not 'Morvik %f'"
  grep -qx 'MimeType=application/zip;' "$desktop" || fail "morvik.desktop: no application/zip"
  grep -qx 'Icon=morvik' "$desktop" || fail "morvik.desktop: Icon is not morvik"
  grep -q '^Name\[ja\]=' "$desktop" || fail "morvik.desktop: no Japanese name"
  grep -q '^Comment\[ja\]=' "$desktop" || fail "morvik.desktop: no Japanese comment"
else
  fail "share/applications/morvik.desktop is not installed"
fi

for size in 16 32 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/morvik.png
  if [[ ! -f $icon ]]; then
    fail "icon ${size}x${size} is not installed"
    continue
  fi
  # A PNG whose header gives the size its folder names.
  read -r width height < <(od -An -tu1 -j16 -N8 "$icon" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [[ $width == "$size" && $height == "$size" ]] || fail "icon ${size}x${size} is ${width}x${height}"
done

man_page=$prefix/share/man/man1/morvik-inspect.1
if [[ -f $man_page ]]; then
  warnings=$(groff -man -Tutf8 -ww -z "$man_page" 2>&1) || fail "groff cannot format the manual page"
  [[ -z $warnings ]] || fail "manual page warnings: $warnings"
  if command -v man >/dev/null; then
    text=$(MANWIDTH=80 man -l "$man_page" 2>/dev/null) || fail "man -l cannot show the manual page"
    for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" "UNZIP CODES"; do
      grep -q "^$section" <<<"$text" || fail "manual page has no $section section"
    done
  fi
else
  fail "share/man/man1/morvik-inspect.1 is not installed"
fi

for doc in README.md LICENSE copyright json-report.md unzip-exit-codes.md; do
  [[ -s $prefix/share/doc/morvik/$doc ]] || fail "share/doc/morvik/$doc is not installed"
done
grep -q 'MIT License' "$prefix/share/doc/morvik/LICENSE" || fail "LICENSE is not the MIT licence"

if ((failures)); then
  echo "$failures installed file(s) missing or wrong" >&2
  exit 1
fi
echo "installed layout checked: $(find "$prefix" -type f | wc -l) files"
