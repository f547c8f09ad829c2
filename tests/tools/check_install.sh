#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop reads from it: every
# file in its place, the menu entry and the metainfo valid, the man pages clean, the installed
# programs running from there.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null

id=example.brimvale.Tarnwick
expected=(
  bin/tarnwick bin/tarnwick-cli share/tarnwick/help.html
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$id.svg"
  share/man/man1/tarnwick.1.gz share/man/man1/tarnwick-cli.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file was not installed"
done
for program in tarnwick tarnwick-cli; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done
for size in 16 48 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "$size x $size" ||
    fail "the ${size}x${size} icon has another size"
done

desktop-file-validate "$prefix/share/applications/$id.desktop" ||
  fail "desktop-file-validate refused the menu entry"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli refused the metainfo"
grep -q '^Exec=tarnwick %F$' "$prefix/share/applications/$id.desktop" ||
  fail "the menu entry does not pass the files it opens"

for page in tarnwick tarnwick-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

"$prefix/bin/tarnwick-cli" --help > /dev/null || fail "the installed tarnwick-cli does not start"
"$prefix/bin/tarnwick-cli" formats | grep -q 'MP4' || fail "the installed tarnwick-cli lists no formats"
echo "installed and valid under $prefix"
