#!/usr/bin/env bash
# Converts two batches with tarnwick-cli convert --jobs 0 (as many conversions at once as
# there are cores) and with a loop of ffmpeg processes, one file after another, using the
# settings the entry gives its jobs; prints the median wall time of 3 runs side by side:
#   24 five-second AAC clips to the MP3 entry,
#   12 five-second 640x360 H.264/AAC clips to the MP4 entry.
# Usage: bench/batch_vs_ffmpeg.sh [BUILD_DIR]   (default: build; the clips are cached there)
set -euo pipefail

build=${1:-build}
cli=$build/app/tarnwick-cli
media=$build/bench-media/batch-vs-ffmpeg
runs=3
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

require_built "$cli"
require_peers ffmpeg


# Each case: name, entry text prefix, clip count, clip extension, how to make one clip.
names=(mp3-audio mp4-video)
prefixes=("MP3 - " "MP4 - ")
counts=(24 12)
exts=(m4a mp4)
makers=(
  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=5 -ac 2 -c:a aac -b:a 128k"
  "-f lavfi -i testsrc2=size=640x360:rate=25:duration=5
   -f lavfi -i sine=frequency=440:sample_rate=48000:duration=5
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 -shortest"
)

# The ffmpeg side of a case: one process per clip, one after another.
# shellcheck disable=SC2317  # called through wall_seconds
ffmpeg_loop() {
  local clip base
  for clip in "${clips[@]}"; do
    base=$(basename "$clip")
    # shellcheck disable=SC2086  # the option string is split into words on purpose
    ffmpeg -nostdin -hide_banner -loglevel error -y -i "$clip" $ff_args \
      "$folder/out-ffmpeg/${base%.*}.$out_ext" || return 1
  done
}

failed=0
rows=()
for i in "${!names[@]}"; do
  name=${names[$i]}
  entry=$(entry_of "$cli" "${prefixes[$i]}")
  [ -n "$entry" ] || { echo "bench: no entry '${prefixes[$i]}' in tarnwick-cli formats" >&2; exit 1; }
  out_ext=$("$cli" profile "$entry" | awk -F '=' '$1 == "FOutputType" { print tolower($2) }')
  ff_args=$(ffmpeg_args_of_entry "$cli" "$entry")
  folder=$media/$name
  mkdir -p "$folder/clips"
  # One clip is made, the rest are copies under their own names: the batch is what is measured.
  first=$folder/clips/clip-01.${exts[$i]}
  if [ ! -s "$first" ]; then
    echo "bench: generating ${counts[$i]} clips in $folder/clips" >&2
    # shellcheck disable=SC2086  # the option string is split into words on purpose
    ff ${makers[$i]} "$first.part.${exts[$i]}"
    mv "$first.part.${exts[$i]}" "$first"
  fi
  clips=()
  for ((n = 1; n <= counts[i]; n++)); do
    clip=$(printf '%s/clips/clip-%02d.%s' "$folder" "$n" "${exts[$i]}")
    [ -s "$clip" ] || cp "$first" "$clip"
    clips+=("$clip")
  done

  tw_times=()
  ff_times=()
  for ((run = 1; run <= runs; run++)); do
    echo "bench: $name, run $run of $runs" >&2
    rm -rf "$folder/out-tarnwick" "$folder/out-ffmpeg"
    mkdir -p "$folder/out-tarnwick" "$folder/out-ffmpeg"
    tw_times+=("$(wall_seconds "$folder/tarnwick.log" "$cli" convert "$entry" "${clips[@]}" \
      --output "$folder/out-tarnwick" --jobs 0)")
    ff_times+=("$(wall_seconds "$folder/ffmpeg.log" ffmpeg_loop)")
  done
  tw=$(median "${tw_times[@]}")
  ffs=$(median "${ff_times[@]}")
  for who in tarnwick ffmpeg; do
    result=$tw
    [ $who = ffmpeg ] && result=$ffs
    if [ "$result" = - ]; then
      failed=1
      echo "bench: $name failed with $who; last lines of $folder/$who.log:" >&2
      tail -n 5 "$folder/$who.log" >&2
    fi
  done
  rows+=("$name ${counts[$i]} $tw $ffs $(ratio "$tw" "$ffs")")
  rm -rf "$folder/out-tarnwick" "$folder/out-ffmpeg"
done

echo
printf '%-12s %6s %12s %12s %8s\n' case files "tarnwick s" "ffmpeg s" ratio
for row in "${rows[@]}"; do
  # shellcheck disable=SC2086
  printf '%-12s %6s %12s %12s %8s\n' $row
done
echo "(median wall time of $runs runs; ratio = tarnwick / ffmpeg; tarnwick-cli convert --jobs 0" \
  "against one ffmpeg process after another with the entry's settings, $(nproc) cores)"
exit $failed
