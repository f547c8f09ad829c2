#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tarnwick need, only those
# that are missing. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake make pkg-config binutils clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libavcodec-extra libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  ffmpeg
  qt6-base-dev qt6-qpa-plugins
  slurm-wlm munge
  librsvg2-bin desktop-file-utils appstream man-db file
  dbus-daemon
  time
  debootstrap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
