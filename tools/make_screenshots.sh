#!/bin/sh
# Screenshots of the real program under Xvfb with openbox, opened on the sample photograph:
#   tools/make_screenshots.sh GLIMRA OUTDIR
# OUTDIR/main.png      the main window with a photograph (AppStream's default, 16:9)
# OUTDIR/info.png      the information dialog over it (16:9)
# OUTDIR/scale-1.png, OUTDIR/scale-2.png   the window on a screen scaled 1x and 2x
# Needs xvfb, xauth, openbox, imagemagick, xdotool, dbus (tools/dev installs them).
set -eu

# Each shot runs in its own X server and session bus.
if [ "${1:-}" != --inner ]; then
    glimra=$(realpath "$1")
    mkdir -p "$2"
    out=$(realpath "$2")
    cd "$(dirname "$0")/.."
    photo="$PWD/samples/Залез над езерото.jpg"
    for job in "1280x720 1 main" "2560x1440 2 scale-2" "1280x720 1 scale-1"; do
        set -- $job
        xvfb-run -a -s "-screen 0 ${1}x24" dbus-run-session -- \
            sh "$0" --inner "$glimra" "$out" "$2" "$3" "$photo"
    done
    exit 0
fi
glimra=$2 out=$3 scale=$4 name=$5 photo=$6

openbox >/dev/null 2>&1 &
wm=$!
# A calm desktop behind the window, not X's black.
convert -size 16x16 xc:'#3b4d61' "$out/.root.png"
display -window root "$out/.root.png" 2>/dev/null || true
rm -f "$out/.root.png"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$glimra" "$photo" >/dev/null 2>&1 &
viewer=$!
window=$(xdotool search --sync --name '^Glimra 2.0$' | head -n 1)
sleep 2
if [ "$name" = main ]; then
    import -window root "$out/main.png"
    xdotool windowactivate --sync "$window" key ctrl+i
    xdotool search --sync --name '^Информация$' >/dev/null
    sleep 1
    import -window root "$out/info.png"
else
    import -frame -window "$window" "$out/$name.png"
fi
kill "$viewer" "$wm"
wait 2>/dev/null || true
