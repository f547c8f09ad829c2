# shellcheck shell=bash
# Helpers shared by the batch benches; sourced, not run.

# The ffmpeg program's options for the settings a format-list entry gives its jobs, from
# `tarnwick-cli profile ENTRY`; the engine's encoder aliases become the encoders they stand
# for. A setting with no counterpart here is named on standard error and fails the call.
ffmpeg_args_of_entry() {
  local cli=$1 entry=$2
  "$cli" profile "$entry" | awk -F '=' '
    NF != 2 || $1 == "FOutputType" { next }
    $1 == "AudioCodec"      { v = $2; if (v == "libfaac") v = "aac"; printf " -c:a %s", v; next }
    $1 == "AudioBitrate"    { printf " -b:a %s", $2; next }
    $1 == "AudioSampleRate" { printf " -ar %s", $2; next }
    $1 == "AudioChannels"   { printf " -ac %s", $2; next }
    $1 == "DisableVideo"    { if ($2 == "true") printf " -vn"; next }
    $1 == "VideoCodec"      { printf " -c:v %s", $2; next }
    $1 == "VideoBitrate"    { if ($2 != 0) printf " -b:v %s", $2; next }
    $1 == "FrameRate"       { printf " -r %s", $2; next }
    $1 == "FrameSize"       { printf " -s %s", $2; next }
    { print "bench: no ffmpeg option for the setting " $0 > "/dev/stderr"; bad = 1 }
    END { print ""; exit bad }'
}

# The wall time of a command in seconds, or "fail"; its output goes to LOG.
wall_seconds() {
  local log=$1
  shift
  local start end
  start=$(date +%s%N)
  if "$@" > "$log" 2>&1; then
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e9 }'
  else
    echo fail
  fi
}

# The median of the numbers given, or "-" when any is "fail".
median() {
  printf '%s\n' "$@" | sort -g | awk '/fail/ { bad = 1 } { v[NR] = $1 }
    END { if (bad || NR == 0) print "-"; else print v[int((NR + 1) / 2)] }'
}

ratio() {
  if [ "$1" = - ] || [ "$2" = - ]; then echo -; else awk -v a="$1" -v b="$2" \
    'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; fi
}

# Kilobytes as megabytes with one decimal, "-" for "-".
megabytes() {
  if [ "$1" = - ]; then echo -; else awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; fi
}

# The ffmpeg program, quiet, overwriting.
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# The entry of tarnwick-cli formats whose text starts with PREFIX.
entry_of() {
  "$1" formats | awk -F '\t' -v p="$2" 'index($2, p) == 1 { print $1; exit }'
}

# Exits with a message unless each program of this build given is there.
require_built() {
  local program
  for program in "$@"; do
    [ -x "$program" ] || { echo "bench: $program is missing; build first (make bench)" >&2; exit 1; }
  done
}

# Exits with a message unless each peer program given is on the path.
require_peers() {
  local program
  for program in "$@"; do
    command -v "$program" > /dev/null || { echo "bench: the $program program is missing" >&2; exit 1; }
  done
}
