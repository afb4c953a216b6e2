#!/usr/bin/env bash
# Runs a test program on a private Xvfb display with a window manager (the
# first of openbox, xfwm4, metacity, fluxbox, twm that is installed).
# Exits with 77, which ctest counts as skipped, only when Xvfb is absent.
# Usage: under-x.sh <program> [arguments...]
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if ! command -v Xvfb >/dev/null; then
    echo "under-x: Xvfb is not installed; skipped"
    exit 77
fi
for tool in xdotool import; do
    command -v "$tool" >/dev/null || { echo "under-x: $tool is not installed" >&2; exit 1; }
done

home="$(mktemp -d /tmp/ux.XXXXXX)"
. "$repo/scripts/xsession.sh"
start_x_session "$home"
[ -n "$wm_pid" ] || echo "under-x: no window manager found; running without one" >&2

QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$@" &
app_pid=$!
wait "$app_pid"
status=$?
app_pid=""
exit "$status"
