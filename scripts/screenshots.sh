#!/usr/bin/env bash
# Retakes the screenshots in docs/ under a real X server (Xvfb):
#   docs/morvanta-main.png  the main window as it opens
#   docs/morvanta-wait.png  the wait form during a run over the sample data
#   docs/morvanta-done.png  the completion message
# Usage: scripts/screenshots.sh [build-dir]   (default: <repo>/build)
# Needs a built Morvanta and the built templates and sample data of that
# build, Xvfb, xdotool and ImageMagick's import. Runs with a temporary HOME,
# so the operator's ~/Morvanta is never touched. A window manager (openbox,
# xfwm4, metacity, fluxbox, twm), when installed, draws the title bars.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
docs="$repo/docs"

for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is not installed" >&2; exit 1; }
done
for file in "$build/generator/Morvanta" "$build/templates/正本.doc" "$build/templates/副本.doc" \
            "$build/templates/down.xls"; do
    [ -f "$file" ] || { echo "screenshots: $file is missing; build first" >&2; exit 1; }
done

# A short temporary HOME: the completion message names the output folder in it.
home="$(mktemp -d /tmp/mv.XXXXXX)"
work="$home/.screenshots"
mkdir -p "$work"
. "$repo/scripts/xsession.sh"

# The operator's folder with the sample data waiting.
mkdir -p "$home/Morvanta/模板" "$home/Morvanta/下载数据" "$home/Morvanta/正副本"
cp "$build/templates/正本.doc" "$build/templates/副本.doc" "$home/Morvanta/模板/"
cp "$build/templates/down.xls" "$home/Morvanta/下载数据/"

start_x_session "$work"

# Visible windows titled "Morvanta" whose client area has the given size.
windows_of_size() {
    local id geometry
    for id in $(xdotool search --onlyvisible --name '^Morvanta$' 2>/dev/null); do
        geometry="$(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: //p')"
        case "$1" in
            other) [ "$geometry" != 524x372 ] && [ "$geometry" != 298x119 ] && echo "$id" ;;
            *) [ "$geometry" = "$1" ] && echo "$id" ;;
        esac
    done
    return 0
}

wait_for() { # wait_for <size|other> <seconds>
    local deadline=$((SECONDS + $2)) id
    while [ $SECONDS -lt $deadline ]; do
        id="$(windows_of_size "$1" | head -n 1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    echo "screenshots: no $1 window within $2 s" >&2
    return 1
}

capture() { # capture <window> <file>: with the title bar when a window manager draws one
    sleep 0.3
    local target="$1" parent root
    if [ -n "$wm_pid" ]; then
        root="$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')"
        parent="$(xwininfo -children -id "$1" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')"
        [ -n "$parent" ] && [ "$parent" != "$root" ] && target="$parent"
    fi
    import -window "$target" "$2"
    echo "screenshots: wrote $2"
}

mkdir -p "$docs"
HOME="$home" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$build/generator/Morvanta" >"$work/morvanta.log" 2>&1 &
app_pid=$!

main="$(wait_for 524x372 60)"
capture "$main" "$docs/morvanta-main.png"

# Press "生成Morvanta文件" (its centre in the window) and catch the wait form
# once a few rows are done.
xdotool mousemove --window "$main" 360 156 click 1
wait_form="$(wait_for 298x119 120)"
sleep 0.5
capture "$wait_form" "$docs/morvanta-wait.png"

message="$(wait_for other 300)"
capture "$message" "$docs/morvanta-done.png"
xdotool windowactivate --sync "$message" 2>/dev/null || xdotool windowfocus --sync "$message"
xdotool key Return

# Back to the main window; "退  出" ends the program (and its office).
main="$(wait_for 524x372 30)"
xdotool mousemove --window "$main" 256 248 click 1
wait_for_end Morvanta any || exit 1
echo "screenshots: generated $(ls "$home/Morvanta/正副本" | wc -l) documents"
