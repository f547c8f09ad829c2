#!/usr/bin/env bash
# Screenshots of the real program under Xvfb (1280x800) with a window manager: the dark GTK theme
# (Adwaita:dark through Qt's GTK platform theme) after a batch with a row unticked, and the
# window at twice the scale, shrunk to the screen. By hand (needs xvfb-run, openbox, xdotool,
# imagemagick's import and qt6-gtk-platformtheme).
#   tests/tools/theme_shots.sh BUILD_DIR OUT_DIR
#     -> OUT_DIR/dark-end.png, dark-rows.png, scale2.png, scale2-settings.png
set -euo pipefail
source "$(dirname "$0")/shots_common.sh"
shots_begin theme_shots "$1" "$2"
shots_clips "good clip" "second clip" "東京の夏祭り"
shots_avi_settings

cat > "$work/session.sh" << 'EOF'
#!/usr/bin/env bash
set -euo pipefail
openbox &
wm=$!
sleep 1
# The dark theme: a batch, its end message, then the second row unticked and the third selected.
QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark "$BUILD/app/tarnwick" "$WORK/good clip.mov" \
  "$WORK/second clip.mov" "$WORK/broken.mov" &
program=$!
window=$(xdotool search --sync --name '^Tarnwick$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 2
xdotool key ctrl+Return
xdotool search --sync --name '^Information' > /dev/null
sleep 1
import -window root "$OUT/dark-end.png"
xdotool key Return
sleep 1
# The second row unticked by its check box, the third selected (openbox centres the window at
# its first size on this screen: these are the places the rows are drawn at).
xdotool mousemove 199 171 click 1
sleep 1
xdotool mousemove 400 194 click 1
sleep 1
import -window root "$OUT/dark-rows.png"
xdotool key ctrl+q
wait "$program" || true

# Twice the scale on the same 1280x800 screen: the window fitted to it.
QT_SCALE_FACTOR=2 "$BUILD/app/tarnwick" "$WORK/good clip.mov" "$WORK/東京の夏祭り.mov" &
program=$!
window=$(xdotool search --sync --name '^Tarnwick$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 2
import -window root "$OUT/scale2.png"
# The settings scrolled to their end by their scroll bar's lower arrow (at the screen's right
# edge, above the horizontal bar: the window fills the screen at this scale).
for _ in 1 2 3 4 5 6 7 8 9 10; do xdotool mousemove 1248 647 click 1; done
sleep 1
import -window root "$OUT/scale2-settings.png"
xdotool key ctrl+q
wait "$program" || true
kill "$wm"
EOF
shots_run 180
ls -l "$out"/dark-end.png "$out"/dark-rows.png "$out"/scale2.png "$out"/scale2-settings.png
