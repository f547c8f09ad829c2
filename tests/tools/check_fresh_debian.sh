#!/usr/bin/env bash
# The Debian package on a fresh Debian 12 or 13 (a minbase chroot): apt installs it with all it
# needs, both programs start, tarnwick-cli converts a clip, the window starts on the offscreen
# platform, and the menu entry and icons are where a desktop looks. By hand, as root: it needs
# debootstrap and the network, and takes minutes.
#   tests/tools/check_fresh_debian.sh BUILD_DIR [CHROOT_DIR] [MIRROR] [RELEASE]
# RELEASE (bookworm, the default, or trixie) must be the one the package was built on.
# BUILD_DIR holds tarnwick_*.deb (make package). The chroot is made when CHROOT_DIR lacks one
# and kept afterwards, so that a second run is quick; remove it with rm -rf.
set -euo pipefail
build=$(realpath "$1")
root=${2:-/tmp/deb12}
mirror=${3:-http://deb.debian.org/debian}
release=${4:-bookworm}
fail() { echo "check_fresh_debian: $*" >&2; exit 1; }
step() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || fail "run as root (debootstrap and chroot)"
command -v debootstrap > /dev/null || fail "debootstrap is missing: apt-get install debootstrap"
deb=$(find "$build" -maxdepth 1 -name 'tarnwick_*.deb' | sort | tail -n 1)
[ -n "$deb" ] || fail "no tarnwick_*.deb in $build: make package"

if [ ! -x "$root/usr/bin/apt-get" ]; then
  step "debootstrap --variant=minbase $release $root $mirror"
  debootstrap --variant=minbase "$release" "$root" "$mirror" > "$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; fail "debootstrap failed"; }
fi
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -q > /dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$(basename "$deb")" \
  > "$root/tmp/apt-install.log" 2>&1 || { tail -n 30 "$root/tmp/apt-install.log" >&2; fail "apt cannot install it"; }
grep -E '^(Need to get|After this operation|The following NEW packages)' "$root/tmp/apt-install.log" || true

step "tarnwick-cli --version"
in_root tarnwick-cli --version
step "tarnwick-cli formats | head -n 5"
in_root tarnwick-cli formats | head -n 5

step "tarnwick-cli convert (a clip made outside with ffmpeg)"
clip=$(mktemp -d)
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi \
  -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a aac -shortest "$clip/fresh clip.mov"
rm -rf "$root/tmp/convert" && mkdir -p "$root/tmp/convert/out"
cp "$clip/fresh clip.mov" "$root/tmp/convert/"
rm -rf "$clip"
in_root tarnwick-cli convert 'AVI - XviD Video (*.avi)' "/tmp/convert/fresh clip.mov" \
  --output /tmp/convert/out
out="$root/tmp/convert/out/fresh clip.avi"
[ -s "$out" ] || fail "no converted file"
ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$out"

step "the window starts (offscreen platform)"
set +e
in_root env QT_QPA_PLATFORM=offscreen timeout 5 tarnwick > "$root/tmp/window.log" 2>&1
started=$?
set -e
# Still running when the timeout ended it: the window came up and waited for the user.
[ "$started" -eq 124 ] || { cat "$root/tmp/window.log" >&2; fail "tarnwick ended with $started"; }
echo "tarnwick ran until stopped"

# On an X display too when the host has Xvfb: a desktop loads the xcb platform plugin and
# the libraries it needs, which the offscreen run does not.
if command -v Xvfb > /dev/null; then
  step "the window starts on an X display (host's Xvfb)"
  display=:$((90 + RANDOM % 9))
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb=$!
  mkdir -p "$root/tmp/.X11-unix"
  for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  set +e
  in_root env DISPLAY="$display" timeout 5 tarnwick > "$root/tmp/window-x.log" 2>&1
  started=$?
  set -e
  umount "$root/tmp/.X11-unix"
  kill "$xvfb"
  [ "$started" -eq 124 ] || { cat "$root/tmp/window-x.log" >&2; fail "tarnwick on X ended with $started"; }
  echo "tarnwick ran on $display until stopped"
fi

step "menu entry and icons"
desktop=/usr/share/applications/example.brimvale.Tarnwick.desktop
[ -f "$root$desktop" ] || fail "no $desktop"
grep -E '^(Exec|Icon|MimeType)=' "$root$desktop" | cut -c1-100
for size in scalable 16x16 48x48 256x256; do
  icon=$(find "$root/usr/share/icons/hicolor/$size/apps" -name 'example.brimvale.Tarnwick.*')
  [ -n "$icon" ] || fail "no $size icon"
  echo "${icon#"$root"}"
done
if [ -x "$root/usr/bin/desktop-file-validate" ]; then
  in_root desktop-file-validate "$desktop" && echo "desktop-file-validate: no error"
else
  desktop-file-validate "$root$desktop" && echo "desktop-file-validate (host's): no error"
fi
echo "check_fresh_debian: all good"
