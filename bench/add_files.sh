#!/usr/bin/env bash
# Adds 1,000 small files (copies of a QuickTime, an MP4 and an M4A clip, and a few unreadable
# ones) to the main window's job list (build/bench/add_files_bench, offscreen) and prints the
# time beside a loop of the ffprobe program reading the same facts (size, frame rate,
# duration) from each file, with the ratio and the longest pause of the window's event loop.
# Usage: bench/add_files.sh [BUILD_DIR [COUNT]]   (default: build 1000; the files are cached
# there)
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

build=${1:-build}
count=${2:-1000}
bench=$build/bench/add_files_bench
media=$build/bench-media/add
files=$media/files-$count

require_built "$bench"
require_peers ffmpeg ffprobe

mkdir -p "$media"
# Each clip is made once; the list is copies of them, so the adding is what is measured.
if [ ! -s "$media/clip.m4a" ]; then
  echo "bench: generating the clips in $media" >&2
  ff -f lavfi -i "testsrc=size=320x240:rate=25:duration=2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2" \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$media/clip.mov"
  ff -f lavfi -i "testsrc=size=320x240:rate=30000/1001:duration=2" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=2" \
    -c:v mpeg4 -c:a aac "$media/clip.mp4"
  ff -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" -c:a aac "$media/clip.part.m4a"
  mv "$media/clip.part.m4a" "$media/clip.m4a"
fi
kinds=(clip.mov clip.mp4 clip.m4a)
list=()
if [ ! -d "$files" ]; then
  mkdir -p "$files.part"
  for ((i = 1; i <= count; i++)); do
    if ((i % 100 == 50)); then
      # Every hundredth file is unreadable: text, or a QuickTime file cut short.
      name=$(printf '%04d-unreadable.mov' "$i")
      if ((i % 200 == 50)); then
        printf 'This is a text file, not a movie.\n' > "$files.part/$name"
      else
        head -c 2000 "$media/clip.mov" > "$files.part/$name"
      fi
    else
      kind=${kinds[$((i % 3))]}
      name=$(printf '%04d-%s' "$i" "$kind")
      cp "$media/$kind" "$files.part/$name"
    fi
  done
  mv "$files.part" "$files"
fi
while IFS= read -r -d '' file; do list+=("$file"); done \
  < <(find "$files" -type f -print0 | sort -z)

echo "bench: adding ${#list[@]} files to the job list (3 runs)" >&2
read -r total rows errors tw_s gap one_s < <("$bench" --runs 3 "${list[@]}")

# The ffmpeg side: one ffprobe per file, as a script would read the same three facts. A
# process per file costs far more than a probe, so every 20th file is timed and the time
# scaled to the whole list.
sample=()
for ((i = 0; i < ${#list[@]}; i += 20)); do sample+=("${list[$i]}"); done
echo "bench: ffprobe on ${#sample[@]} of the ${#list[@]} files (1 run)" >&2
start=$(date +%s%N)
for file in "${sample[@]}"; do
  ffprobe -v quiet -show_entries stream=width,height,r_frame_rate:format=duration -of csv=p=0 \
    "$file" > /dev/null || true
done
ff_s=$(awk -v s="$start" -v e="$(date +%s%N)" -v n="${#sample[@]}" -v t="${#list[@]}" \
  'BEGIN { printf "%.3f", (e - s) / 1e9 / n * t }')

echo
printf '%-22s %8s %12s %12s %8s %18s\n' case files "tarnwick s" "ffprobe s" ratio \
  "longest pause ms"
printf '%-22s %8s %12s %12s %8s %18s\n' "add to the job list" "$total" "$tw_s" "$ff_s" \
  "$(ratio "$tw_s" "$ff_s")" "$gap"
printf '%-22s %8s %12s %12s %8s %18s\n' "probe one by one" "$total" "$one_s" "$ff_s" \
  "$(ratio "$one_s" "$ff_s")" -
echo "(median of 3 runs for tarnwick; ffprobe timed on every 20th file and scaled; rows" \
  "$rows, of which $errors marked Error; the longest pause is between two turns of the" \
  "window's event loop during an add; target: under 2 s)"
[ "$rows" = "$total" ]
