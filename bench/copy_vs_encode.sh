#!/usr/bin/env bash
# An MP3 source already at the MP3 entry's settings (encoder, bit rate, sample rate,
# channels): tarnwick-cli convert, which copies its audio, against convert --no-copy, which
# re-encodes it, and against the ffmpeg program re-encoding it with the same settings; prints
# the median wall time of 3 runs of each with the ratios.
# Usage: bench/copy_vs_encode.sh [BUILD_DIR [SECONDS]]   (default: build 600; the source is
# cached there)
set -euo pipefail

build=${1:-build}
seconds=${2:-600}
cli=$build/app/tarnwick-cli
media=$build/bench-media/copy-vs-encode
runs=3
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

require_built "$cli"
require_peers ffmpeg

entry=$(entry_of "$cli" "MP3 - ")
[ -n "$entry" ] || { echo "bench: no MP3 entry in tarnwick-cli formats" >&2; exit 1; }
ff_args=$(ffmpeg_args_of_entry "$cli" "$entry")
mkdir -p "$media"
source_file=$media/source-${seconds}s.mp3
if [ ! -s "$source_file" ]; then
  echo "bench: generating $source_file with$ff_args" >&2
  # shellcheck disable=SC2086  # the option string is split into words on purpose
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" $ff_args \
    "$source_file.part.mp3"
  mv "$source_file.part.mp3" "$source_file"
fi

# Each case: name and command; the output folder is emptied before every run.
out=$media/out
names=(copied re-encoded ffmpeg)
# shellcheck disable=SC2086,SC2317  # options split into words on purpose; run indirectly
run_case() {
  case $1 in
    copied) "$cli" convert "$entry" "$source_file" --output "$out" ;;
    re-encoded) "$cli" convert "$entry" "$source_file" --output "$out" --no-copy ;;
    ffmpeg) ffmpeg -nostdin -hide_banner -loglevel error -y -i "$source_file" $ff_args \
      "$out/source.mp3" ;;
  esac
}

failed=0
declare -A wall
for name in "${names[@]}"; do
  times=()
  for ((run = 1; run <= runs; run++)); do
    echo "bench: $name, run $run of $runs" >&2
    rm -rf "$out"
    mkdir -p "$out"
    times+=("$(wall_seconds "$media/$name.log" run_case "$name")")
  done
  wall[$name]=$(median "${times[@]}")
  if [ "${wall[$name]}" = - ]; then
    failed=1
    echo "bench: $name failed; last lines of $media/$name.log:" >&2
    tail -n 5 "$media/$name.log" >&2
  fi
done
rm -rf "$out"

echo
printf '%-12s %10s %12s %14s\n' case seconds "/ ffmpeg" "/ re-encoded"
for name in "${names[@]}"; do
  printf '%-12s %10s %12s %14s\n' "$name" "${wall[$name]}" \
    "$(ratio "${wall[$name]}" "${wall[ffmpeg]}")" "$(ratio "${wall[$name]}" "${wall[re-encoded]}")"
done
echo "(median wall time of $runs runs on a ${seconds} s MP3 at the entry's settings:$ff_args;" \
  "copied = tarnwick-cli convert, re-encoded = the same with --no-copy, ffmpeg = the" \
  "ffmpeg program re-encoding)"
exit $failed
