#!/bin/sh
# A desktop opens a picture with Glimra: install into a scratch prefix, make Glimra the default
# for bitmaps in a scratch XDG_DATA_HOME, then `xdg-open` a bitmap whose folder and name are
# Cyrillic with spaces, by its path and by its file:// URL. The viewer must get it as one
# argument, open its folder and show it.
#   xdg_open.sh BUILD_DIR APP_ID   (runs itself on its own X display and D-Bus session)
set -eu
build=$1 app=$2
if [ -z "${GLIMRA_XDG_TEST_INNER:-}" ]; then
    GLIMRA_XDG_TEST_INNER=1 exec sh "$(dirname "$0")/../on_own_display.sh" \
        dbus-run-session -- sh "$0" "$@"
fi

tmp=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
DESTDIR= cmake --install "$build" --prefix "$prefix" >/dev/null
update-desktop-database "$prefix/share/applications"

# The entry's Exec runs `glimra` from PATH: a stand-in that notes what it was given, then
# becomes the installed program.
mkdir -p "$tmp/bin"
cat >"$tmp/bin/glimra" <<SCRIPT
#!/bin/sh
echo \$\$ >"$tmp/pid.tmp"
printf '%s\n' "\$#" "\$@" >"$tmp/argv"
mv "$tmp/pid.tmp" "$tmp/pid"
exec "$prefix/bin/glimra" "\$@"
SCRIPT
chmod +x "$tmp/bin/glimra"

export PATH="$tmp/bin:$PATH"
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config"
export XDG_DATA_DIRS="$prefix/share:/usr/share"
export QT_QPA_PLATFORM=xcb
# The generic opener, whatever desktop the machine has.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID \
    QT_QPA_PLATFORMTHEME || true
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

for type in $(sed -n 's/^MimeType=//p' "$prefix/share/applications/$app.desktop" | tr ';' ' '); do
    xdg-mime default "$app.desktop" "$type"
done
[ "$(xdg-mime query default image/bmp)" = "$app.desktop" ] \
    || fail "xdg-mime does not take $app.desktop for image/bmp"

folder="$tmp/Снимки от лятото"
picture="$folder/мост на реката.bmp"
mkdir -p "$folder"
colour='#12AB34'
convert -size 48x32 "xc:$colour" -type TrueColor "BMP3:$picture"
[ "$(xdg-mime query filetype "$picture")" = image/bmp ] || fail "not known as image/bmp"

# How many pixels of the screen have the picture's colour.
shown() {
    import -window root "$tmp/shot.png" 2>/dev/null || { echo 0; return; }
    convert "$tmp/shot.png" -alpha off -fill black +opaque "$colour" -fill white \
        -opaque "$colour" -format '%[fx:round(mean*w*h)]' info:
}

for target in "$picture" "file://$(printf '%s' "$picture" | sed 's/ /%20/g')"; do
    rm -f "$tmp/pid" "$tmp/argv"
    xdg-open "$target" >"$tmp/xdg-open.log" 2>&1 &
    for _ in $(seq 100); do
        [ -f "$tmp/pid" ] && break
        sleep 0.1
    done
    [ -f "$tmp/pid" ] || fail "xdg-open $target did not start glimra: $(cat "$tmp/xdg-open.log")"
    pid=$(cat "$tmp/pid")
    [ "$(sed -n 1p "$tmp/argv")" = 1 ] || fail "glimra got $(sed -n 1p "$tmp/argv") arguments"
    got=$(sed -n 2p "$tmp/argv")
    [ "$got" = "$target" ] || [ "$got" = "$picture" ] || fail "glimra got \"$got\""

    count=0
    for _ in $(seq 40); do
        count=$(shown)
        [ "$count" -eq $((48 * 32)) ] && break
        sleep 0.25
    done
    [ "$count" -eq $((48 * 32)) ] || fail "the picture is not on the screen ($count pixels)"
    # The viewer's working directory follows the lists: the picture's folder is open.
    [ "$(readlink "/proc/$pid/cwd")" = "$folder" ] || fail "open folder: $(readlink "/proc/$pid/cwd")"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    echo "PASS: xdg-open $target"
done
