#!/usr/bin/env bash
# Converts one 1080p H.264/AAC clip through the engine (tarnwick-cli engine) and through the
# ffmpeg program with the same settings, and prints wall time and peak memory side by side.
# Usage: bench/engine_vs_ffmpeg.sh [BUILD_DIR]   (default: build; the clip is cached there)
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

build=${1:-build}
cli=$build/app/tarnwick-cli
media=$build/bench-media
out=$media/out
timer=/usr/bin/time

require_built "$cli"
[ -x "$timer" ] || { echo "bench: $timer is missing (package: time)" >&2; exit 1; }
require_peers ffmpeg

mkdir -p "$media" "$out"
clip=$media/source-1080p.mp4
if [ ! -s "$clip" ]; then
  echo "bench: generating $clip"
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=10" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 192k -ac 2 -shortest \
    "$clip.part.mp4"
  mv "$clip.part.mp4" "$clip"
fi

# Each case: name, output extension, the engine's options, the ffmpeg program's options.
# The engine chooses its thread count automatically; the ffmpeg program is told the same.
names=(mpeg4-aac ipod-h264 aac-to-mp3)
exts=(mp4 mp4 mp3)
engine_args=(
  "-vcodec mpeg4 -b 1200k -r 25 -acodec aac -ab 128k -ar 44100 -ac 2"
  # The iPod entry with H.264 (tarnwick-cli profile "iPod (*.mp4)" --pick ComboVideoCodec=H264).
  "-vcodec libx264 -b 512k -r 25 -s 320x240 -acodec libfaac -ab 64k -ar 44100"
  "-vn -acodec libmp3lame -ab 128k"
)
ffmpeg_args=(
  "-c:v mpeg4 -b:v 1200k -r 25 -c:a aac -b:a 128k -ar 44100 -ac 2"
  "-c:v libx264 -b:v 512k -r 25 -s 320x240 -c:a aac -b:a 64k -ar 44100"
  "-vn -c:a libmp3lame -b:a 128k"
)

# Runs a command under the timer; prints "seconds kilobytes", or "fail" when it failed.
measure() {
  local log=$1
  shift
  if "$timer" -f "%e %M" -o "$log.time" "$@" > "$log" 2>&1; then
    tail -n 1 "$log.time"
  else
    echo fail
  fi
}

failed=0
rows=()
for i in "${!names[@]}"; do
  name=${names[$i]}
  tw_out=$out/$name-tarnwick.${exts[$i]}
  ff_out=$out/$name-ffmpeg.${exts[$i]}
  rm -f "$tw_out" "$ff_out"
  echo "bench: $name" >&2
  # shellcheck disable=SC2086  # the option strings are split into words on purpose
  tw=$(measure "$out/$name-tarnwick.log" "$cli" engine -i "$clip" ${engine_args[$i]} "$tw_out")
  # shellcheck disable=SC2086
  ff=$(measure "$out/$name-ffmpeg.log" ffmpeg -nostdin -hide_banner -loglevel error -y \
    -threads 0 -i "$clip" -threads 0 ${ffmpeg_args[$i]} "$ff_out")
  for who in tarnwick ffmpeg; do
    result=$tw
    [ $who = ffmpeg ] && result=$ff
    if [ "$result" = fail ]; then
      failed=1
      echo "bench: $name failed with $who; last lines of $out/$name-$who.log:" >&2
      tail -n 5 "$out/$name-$who.log" >&2
    fi
  done
  read -r tw_s tw_kb <<< "$([ "$tw" = fail ] && echo "- -" || echo "$tw")"
  read -r ff_s ff_kb <<< "$([ "$ff" = fail ] && echo "- -" || echo "$ff")"
  rows+=("$name $tw_s $ff_s $(ratio "$tw_s" "$ff_s") $(megabytes "$tw_kb") $(megabytes "$ff_kb")\
 $(ratio "$tw_kb" "$ff_kb")")
done

echo
printf '%-12s %12s %12s %8s %14s %14s %8s\n' case "tarnwick s" "ffmpeg s" ratio \
  "tarnwick MB" "ffmpeg MB" ratio
for row in "${rows[@]}"; do
  # shellcheck disable=SC2086
  printf '%-12s %12s %12s %8s %14s %14s %8s\n' $row
done
echo "(ratio = tarnwick / ffmpeg; wall time and peak resident memory; source $clip)"
exit $failed
