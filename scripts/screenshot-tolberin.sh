#!/usr/bin/env bash
# Takes docs/tolberin.png, the margin window filled from the default
# templates, under a real X server (Xvfb), then closes it with "关  闭".
# Usage: scripts/screenshot-tolberin.sh [build-dir]   (default: <repo>/build)
# Needs a built Tolberin and the built default templates of that build,
# Xvfb, xdotool and ImageMagick's import; openbox, when installed, draws the
# title bar. Runs with a temporary HOME, so no operator's ~/Morvanta is touched.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
docs="$repo/docs"

for tool in Xvfb xdotool import xwininfo; do
    command -v "$tool" >/dev/null || { echo "screenshot-tolberin: $tool is not installed" >&2; exit 1; }
done
for file in "$build/margins/Tolberin" "$build/templates/正本.doc" "$build/templates/副本.doc"; do
    [ -f "$file" ] || { echo "screenshot-tolberin: $file is missing; build first" >&2; exit 1; }
done

home="$(mktemp -d /tmp/tb.XXXXXX)"
work="$home/.screenshot"
mkdir -p "$work" "$home/Morvanta/模板"
cp "$build/templates/正本.doc" "$build/templates/副本.doc" "$home/Morvanta/模板/"
. "$repo/scripts/xsession.sh"

start_x_session "$work"

# The visible "Tolberin" window whose client area has the given size.
wait_for() { # wait_for <WxH> <seconds>
    local deadline=$((SECONDS + $2)) id
    while [ $SECONDS -lt $deadline ]; do
        for id in $(xdotool search --onlyvisible --name '^Tolberin$' 2>/dev/null); do
            if xdotool getwindowgeometry "$id" | grep -q "Geometry: $1\$"; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.2
    done
    echo "screenshot-tolberin: no $1 window within $2 s" >&2
    return 1
}

HOME="$home" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$build/margins/Tolberin" >"$work/tolberin.log" 2>&1 &
app_pid=$!

form="$(wait_for 588x454 120)"
sleep 0.5
mkdir -p "$docs"
frame="$(xwininfo -children -id "$form" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')"
root="$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')"
if [ -n "$wm_pid" ] && [ -n "$frame" ] && [ "$frame" != "$root" ]; then
    import -window "$frame" "$docs/tolberin.png"
else
    import -window "$form" "$docs/tolberin.png"
fi
echo "screenshot-tolberin: wrote $docs/tolberin.png"

# "关  闭" (Command1) ends the program and its office.
xdotool mousemove --window "$form" 412 400 click 1
wait_for_end Tolberin || exit 1
