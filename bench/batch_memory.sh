#!/usr/bin/env bash
# Converts batches of short generated audio clips to MP3 with tarnwick-cli convert and prints
# the peak resident memory of each batch size side by side, with its ratio to the smallest:
# a long batch must not need more memory than a short one.
# Usage: bench/batch_memory.sh [BUILD_DIR [COUNT ...]]   (default: build 20 100 400; the
# clips are cached there)
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

build=${1:-build}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(20 100 400)
cli=$build/app/tarnwick-cli
media=$build/bench-media/batch
timer=/usr/bin/time

require_built "$cli"
[ -x "$timer" ] || { echo "bench: $timer is missing (package: time)" >&2; exit 1; }
require_peers ffmpeg

# The MP3 entry is found by its text, so a reordered format list does not change the bench.
entry=$("$cli" formats | awk -F '\t' 'toupper($2) ~ /MP3/ { print $1; exit }')
[ -n "$entry" ] || { echo "bench: no MP3 entry in tarnwick-cli formats" >&2; exit 1; }

largest=0
for count in "${counts[@]}"; do [ "$count" -gt "$largest" ] && largest=$count; done
mkdir -p "$media/clips"
# One clip is made with the ffmpeg program, the rest are copies: the batch is what is measured.
first=$media/clips/clip-0001.wav
if [ ! -s "$first" ]; then
  echo "bench: generating $largest clips in $media/clips" >&2
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2" -ac 2 "$first.part.wav"
  mv "$first.part.wav" "$first"
fi
for ((i = 2; i <= largest; i++)); do
  clip=$(printf '%s/clips/clip-%04d.wav' "$media" "$i")
  [ -s "$clip" ] || cp "$first" "$clip"
done

failed=0
rows=()
base=
for count in "${counts[@]}"; do
  out=$media/out-$count
  rm -rf "$out"
  mkdir -p "$out"
  files=()
  for ((i = 1; i <= count; i++)); do files+=("$(printf '%s/clips/clip-%04d.wav' "$media" "$i")"); done
  echo "bench: $count files" >&2
  log=$media/batch-$count.log
  if "$timer" -f "%e %M" -o "$log.time" "$cli" convert "$entry" "${files[@]}" --output "$out" \
    > "$log" 2>&1; then
    read -r seconds kilobytes < <(tail -n 1 "$log.time")
    [ -n "$base" ] || base=$kilobytes
    rows+=("$count $seconds $(megabytes "$kilobytes") \
$(awk -v a="$kilobytes" -v b="$base" 'BEGIN { printf "%.2f", a / b }')")
  else
    failed=1
    echo "bench: the $count-file batch failed; last lines of $log:" >&2
    tail -n 5 "$log" >&2
    rows+=("$count - - -")
  fi
  rm -rf "$out"
done

echo
printf '%8s %10s %14s %8s\n' files seconds "peak RSS MB" ratio
for row in "${rows[@]}"; do
  # shellcheck disable=SC2086
  printf '%8s %10s %14s %8s\n' $row
done
echo "(ratio = peak resident memory / that of the ${counts[0]}-file batch; entry $entry of" \
  "tarnwick-cli formats)"
exit $failed
