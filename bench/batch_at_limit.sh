#!/usr/bin/env bash
# Whether a batch keeps every core busy. Two batches, each converted by tarnwick-cli convert
# with its default number of rows at once and with --jobs 1, and by xargs -P <cores> starting
# one ffmpeg process per clip with the settings the entry gives its jobs:
#   24 five-second AAC clips to the MP3 entry,
#   12 five-second 640x360 H.264/AAC clips to the MP4 entry (--no-copy, so both re-encode).
# Prints the median wall time of RUNS runs, its ratio to xargs, and the CPU utilisation,
# CPU time / (wall x cores) (for --jobs 1 also over one core). Then 1,000 clips of 0.2 s to the
# MP3 entry against one file as long as all of them: the wall time each row costs beyond its
# encoding.
# Usage: bench/batch_at_limit.sh [BUILD_DIR [RUNS]]   (default: build 3; the clips are cached
# in BUILD_DIR)
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

build=${1:-build}
runs=${2:-3}
cli=$build/app/tarnwick-cli
media=$build/bench-media/batch-at-limit
timer=/usr/bin/time
cores=$(nproc)

require_built "$cli"
[ -x "$timer" ] || { echo "bench: $timer is missing (package: time)" >&2; exit 1; }
require_peers ffmpeg xargs

# "WALL CPU" in seconds of a command (CPU: user + system of it and its children), or "fail";
# its output goes to LOG.
timed() {
  local log=$1
  shift
  if "$timer" -f 'TIMED %e %U %S' -o "$log.time" "$@" > "$log" 2>&1; then
    awk '$1 == "TIMED" { printf "%.3f %.3f", $2, $3 + $4 }' "$log.time"
  else
    echo fail fail
  fi
}

# Percent of the cores given that CPU seconds kept busy over WALL seconds.
busy() {
  if [ "$1" = - ] || [ "$2" = - ]; then echo -; else awk -v c="$1" -v w="$2" -v n="$3" \
    'BEGIN { if (w > 0) printf "%.0f%%", 100 * c / (w * n); else print "-" }'; fi
}

# Clips named clip-NNNN.EXT in FOLDER, COUNT of them: one made by ffmpeg, the rest copies.
make_clips() {
  local folder=$1 count=$2 ext=$3 maker=$4 n
  mkdir -p "$folder"
  if [ ! -s "$folder/clip-0001.$ext" ]; then
    echo "bench: generating $count clips in $folder" >&2
    # shellcheck disable=SC2086  # the option string is split into words on purpose
    ff $maker "$folder/part.$ext"
    mv "$folder/part.$ext" "$folder/clip-0001.$ext"
  fi
  for ((n = 2; n <= count; n++)); do
    [ -s "$(printf '%s/clip-%04d.%s' "$folder" "$n" "$ext")" ] ||
      cp "$folder/clip-0001.$ext" "$(printf '%s/clip-%04d.%s' "$folder" "$n" "$ext")"
  done
}

entry_text() {
  local entry
  entry=$(entry_of "$cli" "$1")
  [ -n "$entry" ] || { echo "bench: no entry '$1' in tarnwick-cli formats" >&2; exit 1; }
  echo "$entry"
}

audio_maker="-f lavfi -i sine=frequency=440:sample_rate=44100:duration=5 -ac 2 -c:a aac -b:a 128k"
video_maker="-f lavfi -i testsrc2=size=640x360:rate=25:duration=5
  -f lavfi -i sine=frequency=440:sample_rate=48000:duration=5
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 -shortest"

# One clip ($1) by one ffmpeg process with the entry's options ($2) into folder $3 as type $4.
# shellcheck disable=SC2016  # expanded by the shell that xargs starts
one_ffmpeg='b=$(basename "$1"); exec ffmpeg -nostdin -hide_banner -loglevel error -y -i "$1" $2 \
  "$3/${b%.*}.$4"'

names=(mp3-audio mp4-video)
prefixes=("MP3 - " "MP4 - ")
counts=(24 12)
exts=(m4a mp4)
makers=("$audio_maker" "$video_maker")

failed=0
rows=()
for i in "${!names[@]}"; do
  name=${names[$i]}
  entry=$(entry_text "${prefixes[$i]}")
  out_ext=$("$cli" profile "$entry" | awk -F '=' '$1 == "FOutputType" { print tolower($2) }')
  ff_args=$(ffmpeg_args_of_entry "$cli" "$entry")
  folder=$media/$name
  make_clips "$folder/clips" "${counts[$i]}" "${exts[$i]}" "${makers[$i]}"
  clips=("$folder"/clips/clip-*."${exts[$i]}")
  printf '%s\0' "${clips[@]}" > "$folder/clips.list"
  out=$folder/out

  declare -A wall=() cpu=()
  for ((run = 1; run <= runs; run++)); do
    echo "bench: $name, run $run of $runs" >&2
    for who in default jobs1 xargs; do
      rm -rf "$out"
      mkdir -p "$out"
      case $who in
        default) result=$(timed "$folder/$who.log" "$cli" convert "$entry" "${clips[@]}" \
          --output "$out" --no-copy) ;;
        jobs1) result=$(timed "$folder/$who.log" "$cli" convert "$entry" "${clips[@]}" \
          --output "$out" --no-copy --jobs 1) ;;
        xargs) result=$(timed "$folder/$who.log" xargs -0 -a "$folder/clips.list" -P "$cores" \
          -I CLIP sh -c "$one_ffmpeg" sh CLIP "$ff_args" "$out" "$out_ext") ;;
      esac
      wall[$who]+=" ${result% *}"
      cpu[$who]+=" ${result#* }"
    done
  done
  rm -rf "$out"
  declare -A w=() c=()
  for who in default jobs1 xargs; do
    # shellcheck disable=SC2086  # the lists are split into words on purpose
    w[$who]=$(median ${wall[$who]})
    # shellcheck disable=SC2086
    c[$who]=$(median ${cpu[$who]})
    if [ "${w[$who]}" = - ]; then
      failed=1
      echo "bench: $name failed with $who; last lines of $folder/$who.log:" >&2
      tail -n 5 "$folder/$who.log" >&2
    fi
  done
  x=${w[xargs]}
  rows+=("$name ${counts[$i]} default ${w[default]} $(ratio "${w[default]}" "$x") \
$(busy "${c[default]}" "${w[default]}" "$cores") -")
  rows+=("$name ${counts[$i]} jobs-1 ${w[jobs1]} $(ratio "${w[jobs1]}" "$x") \
$(busy "${c[jobs1]}" "${w[jobs1]}" "$cores") $(busy "${c[jobs1]}" "${w[jobs1]}" 1)")
  rows+=("$name ${counts[$i]} xargs-P$cores $x 1.00 $(busy "${c[xargs]}" "$x" "$cores") -")
  unset wall cpu w c
done

echo
printf '%-10s %5s %-9s %8s %10s %10s %9s\n' case files who "wall s" "/ xargs" "all cores" "one core"
for row in "${rows[@]}"; do
  # shellcheck disable=SC2086
  printf '%-10s %5s %-9s %8s %10s %10s %9s\n' $row
done
echo "(median of $runs runs; CPU utilisation = CPU time / (wall x cores), $cores cores;" \
  "xargs -P $cores starts one ffmpeg per clip with the entry's settings)"

# The cost of a row beyond its encoding: 1,000 clips of 0.2 s against one clip of 200 s, both
# to the MP3 entry; with N rows at once the one long file's encoding is shared N ways.
entry=$(entry_text "MP3 - ")
short=$media/short
make_clips "$short/clips" 1000 m4a \
  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.2 -ac 2 -c:a aac -b:a 128k"
make_clips "$short/long" 1 m4a \
  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=200 -ac 2 -c:a aac -b:a 128k"
out=$short/out
long_walls=()
declare -A short_walls=()
for ((run = 1; run <= runs; run++)); do
  echo "bench: 1,000 short clips, run $run of $runs" >&2
  rm -rf "$out" && mkdir -p "$out"
  result=$(timed "$short/long.log" "$cli" convert "$entry" "$short/long/clip-0001.m4a" \
    --output "$out")
  long_walls+=("${result% *}")
  for jobs in 0 1; do
    rm -rf "$out" && mkdir -p "$out"
    result=$(timed "$short/jobs$jobs.log" "$cli" convert "$entry" "$short"/clips/clip-*.m4a \
      --output "$out" --jobs "$jobs")
    short_walls[$jobs]+=" ${result% *}"
  done
done
rm -rf "$out"
long=$(median "${long_walls[@]}")
echo
printf '%-24s %8s %14s\n' batch "wall s" "ms/row beyond"
for jobs in 0 1; do
  # shellcheck disable=SC2086
  sw=$(median ${short_walls[$jobs]})
  shared=$([ "$jobs" = 0 ] && echo "$cores" || echo 1)
  if [ "$sw" = - ]; then failed=1; fi
  beyond=$(if [ "$sw" = - ] || [ "$long" = - ]; then echo -; else
    awk -v w="$sw" -v l="$long" -v n="$shared" 'BEGIN { printf "%.1f", (w - l / n) * 1000 / 1000 }'
  fi)
  printf '%-24s %8s %14s\n' "1000 x 0.2 s, --jobs $jobs" "$sw" "$beyond"
done
printf '%-24s %8s %14s\n' "one 200 s file" "$long" -
echo "(median of $runs runs; ms/row beyond = (batch wall - long file's wall / rows at once) / 1000;" \
  "--jobs 0 is the default, $cores rows at once)"
exit $failed
