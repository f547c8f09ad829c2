#!/usr/bin/env bash
# Screenshots of the real program under Xvfb with a window manager: a batch of a good clip and
# a file that is no movie, converted from the keyboard, then the end message and the rows
# left when it is closed. By hand (needs xvfb-run, openbox, xdotool and imagemagick's import).
#   tests/tools/window_shots.sh BUILD_DIR OUT_DIR   -> OUT_DIR/j15-end.png, OUT_DIR/j15-rows.png
set -euo pipefail
source "$(dirname "$0")/shots_common.sh"
shots_begin window_shots "$1" "$2"
shots_clips "good clip"
shots_avi_settings

cat > "$work/session.sh" << 'EOF'
#!/usr/bin/env bash
set -euo pipefail
openbox &
wm=$!
sleep 1
"$BUILD/app/tarnwick" "$WORK/good clip.mov" "$WORK/broken.mov" &
program=$!
window=$(xdotool search --sync --name '^Tarnwick$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 2
xdotool key ctrl+Return
# The end message is a window of its own titled "Information".
xdotool search --sync --name '^Information' > /dev/null
sleep 1
import -window root "$OUT/j15-end.png"
xdotool key Return
sleep 1
import -window root "$OUT/j15-rows.png"
xdotool key ctrl+q
wait "$program"
kill "$wm"
EOF
shots_run 120
ls -l "$out/j15-end.png" "$out/j15-rows.png"
