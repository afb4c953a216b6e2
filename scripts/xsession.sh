# Sourced by the screenshot scripts: a private Xvfb display with a window
# manager, ended on exit together with the program under test ($app_pid) and
# the scratch HOME ($home). start_x_session <scratch-folder> sets DISPLAY.

xvfb_pid=""
wm_pid=""
app_pid=""
cleanup() {
    set +e
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT

start_x_session() {
    local work="$1" display="" display_fd wm
    # Xvfb itself picks a display number nobody uses (no race with other
    # sessions started at the same time) and writes it once it accepts clients.
    exec {display_fd}>"$work/display"
    Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec {display_fd}>&-
    for _ in $(seq 300); do
        display="$(head -n 1 "$work/display" 2>/dev/null)"
        [ -n "$display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$display"

    # Openbox keeps a minimise button on windows that ask for none; its title
    # bar is set to icon, caption and close box, as the desktops that honour
    # the windows' hints draw them.
    cat >"$work/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>NLC</titleLayout></theme>
</openbox_config>
XML
    for wm in openbox xfwm4 metacity fluxbox twm; do
        if command -v "$wm" >/dev/null; then
            if [ "$wm" = openbox ]; then
                openbox --config-file "$work/openbox.xml" >"$work/wm.log" 2>&1 &
            else
                "$wm" >"$work/wm.log" 2>&1 &
            fi
            wm_pid=$!
            sleep 1
            break
        fi
    done
}

# Waits up to 20 s for the program under test to end; fails when it does not
# or when it ended with a failure (unless the second argument is "any").
wait_for_end() { # wait_for_end <name> [any]
    for _ in $(seq 100); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$app_pid" 2>/dev/null; then
        echo "$1 did not end" >&2
        return 1
    fi
    if ! wait "$app_pid" && [ "${2:-}" != any ]; then
        echo "$1 ended with a failure" >&2
        return 1
    fi
    app_pid=""
}
