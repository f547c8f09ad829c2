#!/usr/bin/env bash
# Builds the Debian package of the build into a temporary folder and checks its control data
# and contents: the media libraries it loads at run time must be among its dependencies,
# since no linker sees them.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" > "$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$out" -maxdepth 1 -name 'tarnwick_*.deb' | head -n 1)
[ -n "$deb" ] || fail "no tarnwick_*.deb was made"

depends=$(dpkg-deb -f "$deb" Depends)
# The packages holding the libraries of the major versions the build was compiled against,
# as this system's package database knows them (libavcodec-extra61 owns libavcodec.so.61 when
# installed instead of libavcodec61).
needed=(libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins)
for library in avcodec avformat avutil swscale swresample; do
  major=$(pkg-config --modversion "lib$library" | cut -d. -f1)
  owner=$(dpkg -S "lib$library.so.$major" 2> /dev/null | grep -v -- -dev | head -n 1 | cut -d: -f1)
  [ -n "$owner" ] || fail "no package holds lib$library.so.$major"
  # with the least version: an older minor version is refused at load
  needed+=("$owner (>= ")
done
for package in "${needed[@]}"; do
  [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tarnwick ] || fail "the package is not named tarnwick"

contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/tarnwick ./usr/bin/tarnwick-cli ./usr/share/tarnwick/help.html \
  ./usr/share/applications/example.brimvale.Tarnwick.desktop \
  ./usr/share/metainfo/example.brimvale.Tarnwick.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/example.brimvale.Tarnwick.svg \
  ./usr/share/man/man1/tarnwick-cli.1.gz; do
  grep -q " $file\$" <<< "$contents" || fail "the package lacks $file"
done
# Every dependency can be met from the system's archive (a simulation; nothing is installed).
if command -v apt-get > /dev/null; then
  apt-get install -s -q "$deb" > "$out/apt.log" 2>&1 || { cat "$out/apt.log" >&2; fail "apt cannot install it"; }
fi
echo "$(basename "$deb"): $depends"
