# Shared by the screenshot scripts run by hand (window_shots, theme_shots, batch_shots,
# preset_shots): sourced after `set -euo pipefail`. Needs xvfb-run, openbox, xdotool,
# imagemagick's import and ffmpeg.

# NAME BUILD_DIR OUT_DIR: sets build, out and work, a folder of the run's own (config, state
# and output folders inside) removed at the end, so the user's settings and journal stay as they
# are.
shots_begin() {
  local name=$1 tool
  build=$(realpath "$2")
  mkdir -p "$3"
  out=$(realpath "$3")
  for tool in xvfb-run openbox xdotool import ffmpeg; do
    command -v "$tool" > /dev/null || { echo "$name: $tool is missing" >&2; exit 1; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/config/Brimvale" "$work/state" "$work/out"
}

# The position of the format list's entry whose text starts with PREFIX.
shots_entry() {
  "$build/app/tarnwick-cli" formats | awk -F'\t' -v prefix="$1" 'index($2, prefix) == 1 {print $1}'
}

# Runs "$work/session.sh" on a 1280x800 Xvfb screen, for at most SECONDS.
shots_run() {
  chmod +x "$work/session.sh"
  XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state BUILD=$build WORK=$work OUT=$out \
    timeout "$1" xvfb-run -a -s "-screen 0 1280x800x24" "$work/session.sh"
}

# A two-second clip with sound, "$work/NAME.mov", and a file that is no movie, "$work/broken.mov".
shots_clips() {
  local name
  for name in "$@"; do
    ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi \
      -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a aac -shortest "$work/$name.mov"
  done
  printf 'This is a text file, not a movie.\n' > "$work/broken.mov"
}

# The user's settings of a later run: AVI - XviD chosen and an output folder.
shots_avi_settings() {
  cat > "$work/config/Brimvale/Tarnwick.conf" << SETTINGS
[General]
Output%20Folder=$work/out
ComboOutputFormat=$(shots_entry "AVI - XviD")
Overwrite=false
DropDownItems=27
LetterBox=0
SETTINGS
}
