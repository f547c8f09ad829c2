#!/usr/bin/env bash
# Runs `make test` on the other Debian release (Debian 13 "trixie" from a Debian 12 machine,
# Debian 12 "bookworm" from a Debian 13 one) in a minbase chroot made with debootstrap from
# Debian's packages. The chroot and its build folder are kept between runs under
# TARNWICK_CHROOT_CACHE (default /var/cache/tarnwick), outside the clone; on reuse its packages
# are upgraded and only what changed is rebuilt. Needs root; without it, it says so and skips.
#   scripts/other_release.sh [RELEASE] [test|build]
# RELEASE is a Debian code name (trixie, bookworm, sid); `build` stops after the build.
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case "${1:-}" in
  "") [ "$host" = trixie ] && release=bookworm || release=trixie ;;
  *) release=$1 ;;
esac
what=${2:-test}
mirror=${TARNWICK_MIRROR:-http://deb.debian.org/debian}
cache=${TARNWICK_CHROOT_CACHE:-/var/cache/tarnwick}
root=$cache/$release
jobs=${JOBS:-$(nproc)}
say() { echo "other_release($release): $*"; }
fail() { echo "other_release($release): $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  say "skipped: needs root (debootstrap, chroot and mounts); run it as root to test on $release"
  exit 0
fi
command -v debootstrap > /dev/null ||
  fail "debootstrap is missing: apt-get install debootstrap (scripts/install-deps.sh does)"
[ -e "/usr/share/debootstrap/scripts/$release" ] ||
  fail "this debootstrap does not know $release: upgrade debootstrap"
# apt and debootstrap fail late and vaguely without the network; say it at once.
mirror_host=${mirror#*://}
mirror_host=${mirror_host%%/*}
mirror_port=80
[[ $mirror == https:* ]] && mirror_port=443
timeout 20 bash -c "exec 3<> /dev/tcp/$mirror_host/$mirror_port" 2> /dev/null ||
  fail "cannot reach $mirror_host: the network is missing (or set TARNWICK_MIRROR)"

declare -A took
timed() {
  local part=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  took[$part]=$((SECONDS - start))
  say "$part took ${took[$part]} s"
  [ "$status" -eq 0 ] || say "$part failed (status $status)"
  return "$status"
}

mkdir -p "$cache"
# The marker is written last: a debootstrap stopped half-way is started again from nothing.
if [ ! -e "$root/.tarnwick-base" ]; then
  rm -rf "$root"
  say "debootstrap --variant=minbase $release $root $mirror (log: $root.debootstrap.log)"
  bootstrap() {
    debootstrap --variant=minbase "$release" "$root" "$mirror" > "$root.debootstrap.log" 2>&1 ||
      { tail -n 20 "$root.debootstrap.log" >&2; fail "debootstrap failed"; }
  }
  timed debootstrap bootstrap
  touch "$root/.tarnwick-base"
else
  took[debootstrap]=0
  say "reusing $root"
fi

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2> /dev/null || umount -R -l "${mounted[i]}" || true
  done
}
trap unmount_all EXIT
mount_in() {
  local target=$root$1
  shift
  mkdir -p "$target"
  mountpoint -q "$target" && return
  mount "$@" "$target"
  mounted+=("$target")
}
# /run and /dev/shm of its own, so that the daemons the tests start (munge, slurm, dbus) do not
# meet the host's sockets.
mount_in /proc -t proc proc
mount_in /sys -t sysfs sysfs
# slurmd sets up its cgroup plugin at start even with proctrack/linuxproc: the host's
# hierarchy, all of it (a hybrid one is a tmpfs of mounts), seen but not propagated back.
if mountpoint -q /sys/fs/cgroup; then
  mount_in /sys/fs/cgroup --rbind /sys/fs/cgroup
  mount --make-rslave "$root/sys/fs/cgroup"
fi
mount_in /dev --bind /dev
mount_in /dev/pts -t devpts devpts -o newinstance,ptmxmode=0666
mount_in /dev/shm -t tmpfs shm -o mode=1777
mount_in /run -t tmpfs run -o mode=0755
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() {
  chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive "$@"
}

# The tree's HEAD, checked out over the previous one so that unchanged files keep their times
# and the kept build folder rebuilds only what changed.
src=$root/src/tarnwick
head=$(git -C "$tree" rev-parse HEAD)
[ -d "$src/.git" ] || git clone -q --no-checkout "$tree" "$src"
git -C "$src" fetch -q "$tree" "$head"
git -C "$src" checkout -q -f --detach "$head"
git -C "$src" clean -q -fdx
say "tree at $(git -C "$src" log -1 --format='%h %s' | cut -c1-72)"

packages() {
  if [ "${took[debootstrap]}" -eq 0 ]; then
    in_root apt-get update -q > "$root/tmp/apt-upgrade.log" 2>&1 &&
      in_root apt-get -y -q upgrade >> "$root/tmp/apt-upgrade.log" 2>&1 ||
      { tail -n 20 "$root/tmp/apt-upgrade.log" >&2; fail "apt-get upgrade failed"; }
    grep -E '^[0-9]+ upgraded' "$root/tmp/apt-upgrade.log" || true
  fi
  in_root /src/tarnwick/scripts/install-deps.sh > "$root/tmp/install-deps.log" 2>&1 ||
    { tail -n 20 "$root/tmp/install-deps.log" >&2; fail "installing the build dependencies failed"; }
  # A minbase system has no machine id, which dbus-daemon needs.
  in_root dbus-uuidgen --ensure=/etc/machine-id
}
timed packages packages
versions=$(in_root dpkg-query -W -f='${Package} ${Version}\n' libavcodec-dev qt6-base-dev |
  tr '\n' ' ')
say "$versions"

build=/var/tmp/tarnwick-build
timed build in_root make -C /src/tarnwick build BUILD_DIR=$build JOBS="$jobs"
if [ "$what" = test ]; then
  timed tests in_root make -C /src/tarnwick test BUILD_DIR=$build JOBS="$jobs"
fi
say "times: debootstrap ${took[debootstrap]} s, packages ${took[packages]} s, build" \
  "${took[build]} s${took[tests]:+, tests ${took[tests]} s}"
