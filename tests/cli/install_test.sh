#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: both programs, the desktop entry
# (validated when desktop-file-validate is there), the icons of the hicolor
# theme, well-formed compressed manual pages, the bash completion and each
# package's documentation folder (changelog.gz, machine-readable copyright).
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

for page in morvik-inspect Morvik; do
  man_page=$prefix/share/man/man1/$page.1.gz
  if [[ ! -f $man_page ]]; then
    fail "share/man/man1/$page.1.gz is not installed"
    continue
  fi
  source_text=$(gzip -dc "$man_page") || { fail "$page.1.gz is not gzip"; continue; }
  warnings=$(groff -man -Tutf8 -ww -z <<<"$source_text" 2>&1) || fail "groff cannot format $page(1)"
  [[ -z $warnings ]] || fail "$page(1) warnings: $warnings"
done
if command -v man >/dev/null && [[ -f $prefix/share/man/man1/morvik-inspect.1.gz ]]; then
  text=$(MANWIDTH=80 man -l "$prefix/share/man/man1/morvik-inspect.1.gz" 2>/dev/null) ||
    fail "man -l cannot show the manual page"
  for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" "UNZIP CODES"; do
    grep -q "^$section" <<<"$text" || fail "manual page has no $section section"
  done
  # Every unzip code a cause line can name is listed.
  for code in 3 9 10 11 12 13 50 51 81 82; do
    grep -qE "^ {7}$code\b" <<<"$text" || fail "UNZIP CODES does not list $code"
  done
fi

# Every option of the help is completed, and nothing else.
completion=$prefix/share/bash-completion/completions/morvik-inspect
if [[ -f $completion ]]; then
  help_options=$("$prefix/bin/morvik-inspect" --help | grep -oE '^  --[a-z-]+' | tr -d ' ' | sort -u)
  completed=$(bash -c "source '$completion'; COMP_WORDS=(morvik-inspect --); COMP_CWORD=1
    _morvik_inspect; printf '%s\n' \"\${COMPREPLY[@]}\"" | tr -d '=' | sort -u)
  [[ $help_options == "$completed" ]] ||
    fail "bash completion offers '$(tr '\n' ' ' <<<"$completed")', --help lists '$(tr '\n' ' ' <<<"$help_options")'"
else
  fail "share/bash-completion/completions/morvik-inspect is not installed"
fi

check_copyright() {
  local file=$1
  head -n1 "$file" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$file is not machine-readable"
  grep -q '^License: Expat$' "$file" || fail "$file names no Expat licence"
  grep -q 'Permission is hereby granted' "$file" || fail "$file lacks the licence text"
}
for package in morvik-inspect morvik; do
  doc=$prefix/share/doc/$package
  for file in README.md copyright changelog.gz; do
    [[ -s $doc/$file ]] || fail "share/doc/$package/$file is not installed"
  done
  [[ -f $doc/copyright ]] && check_copyright "$doc/copyright"
  if [[ -f $doc/changelog.gz ]]; then
    gzip -dc "$doc/changelog.gz" | head -n1 | grep -qE '^morvik \([0-9.]+\) ' ||
      fail "share/doc/$package/changelog.gz does not start as a Debian changelog"
  fi
done
for doc in json-report.md csv-report.md batch.md unzip-exit-codes.md; do
  [[ -s $prefix/share/doc/morvik-inspect/$doc ]] || fail "share/doc/morvik-inspect/$doc is not installed"
done

if ((failures)); then
  echo "$failures installed file(s) missing or wrong" >&2
  exit 1
fi
echo "installed layout checked: $(find "$prefix" -type f | wc -l) files"
