#!/usr/bin/env bash
# Screenshots of the real program under Xvfb with a window manager: the stop question with its
# choices while a long file converts, then, the program killed there, the restore offer at its
# next start and the list it restores. By hand (needs xvfb-run, openbox, xdotool and import).
#   tests/tools/batch_shots.sh BUILD_DIR OUT_DIR
#     -> OUT_DIR/stop-choices.png, OUT_DIR/restore-offer.png, OUT_DIR/restored-list.png
set -euo pipefail
source "$(dirname "$0")/shots_common.sh"
shots_begin batch_shots "$1" "$2"

ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg4 "$work/a.mov"
ffmpeg -v error -f lavfi -i testsrc=size=1280x720:rate=25:duration=300 -c:v mpeg4 "$work/long.mkv"
cp "$work/a.mov" "$work/c.mov"
entry=$(shots_entry "MP4 - MPEG4 Video")
cat > "$work/config/Brimvale/Tarnwick.conf" << CONF
[General]
Output%20Folder=$work/out
ComboOutputFormat=$entry
Conversions%20At%20Once=1
Simultaneous%20Conversions=1
CONF

cat > "$work/session.sh" << 'SESSION'
#!/usr/bin/env bash
set -euo pipefail
openbox &
wm=$!
sleep 1
"$BUILD/app/tarnwick" "$WORK/a.mov" "$WORK/long.mkv" "$WORK/c.mov" &
program=$!
window=$(xdotool search --sync --name '^Tarnwick$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 2
xdotool key ctrl+Return
until compgen -G "$WORK/out/long*.tarnwick-part" > /dev/null; do sleep 0.2; done
sleep 2
xdotool key Escape
xdotool search --sync --name '^Confirmation' > /dev/null
sleep 1
import -window root "$OUT/stop-choices.png"
kill -9 "$program"
wait "$program" || true

"$BUILD/app/tarnwick" &
program=$!
xdotool search --sync --name '^Confirmation' > /dev/null
sleep 1
import -window root "$OUT/restore-offer.png"
xdotool key y
sleep 2
import -window root "$OUT/restored-list.png"
xdotool key ctrl+q
wait "$program"
kill "$wm"
SESSION
shots_run 180
ls -l "$out/stop-choices.png" "$out/restore-offer.png" "$out/restored-list.png"
