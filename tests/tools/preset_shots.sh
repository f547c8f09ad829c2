#!/usr/bin/env bash
# Screenshots of the preset list under Xvfb with a window manager: three presets saved with
# tarnwick-cli, the window with one chosen, its list open and the "Presets" menu. By hand (needs
# xvfb-run, openbox, xdotool and imagemagick's import).
#   tests/tools/preset_shots.sh BUILD_DIR OUT_DIR
#     -> OUT_DIR/presets-chosen.png, presets-list.png, presets-menu.png
set -euo pipefail
source "$(dirname "$0")/shots_common.sh"
shots_begin preset_shots "$1" "$2"
cli() { XDG_CONFIG_HOME=$work/config "$build/app/tarnwick-cli" "$@"; }
cli presets save "Phone clips" mp4 --pick "ComboVideoBitrate=2500 Kbps" --pick \
  "ComboVideoSize=640 x 480" --volume 6
cli presets save "Podcast voice" mp3 --pick "ComboSamplingRate=22050 Hz" --pick \
  "ComboAudioChannels=Mono" --no-tags
cli presets save "Archive (XviD)" "AVI - XviD" --pick "ComboAudioBitrate=192 Kbps"

cat > "$work/session.sh" << 'EOF'
#!/usr/bin/env bash
set -euo pipefail
openbox &
wm=$!
sleep 1
"$BUILD/app/tarnwick" &
program=$!
window=$(xdotool search --sync --name '^Tarnwick$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 2
# Alt+S reaches the preset list ("Pre&set:"); Down chooses its first preset.
xdotool key alt+s
sleep 0.5
xdotool key Down
sleep 1
import -window root "$OUT/presets-chosen.png"
xdotool key alt+Down
sleep 1
import -window root "$OUT/presets-list.png"
xdotool key Escape
sleep 0.5
xdotool key Tab space
sleep 1
import -window root "$OUT/presets-menu.png"
xdotool key Escape
sleep 0.5
xdotool key ctrl+q
wait "$program"
kill "$wm"
EOF
shots_run 120
ls -l "$out"/presets-*.png
