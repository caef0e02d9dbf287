#!/usr/bin/env bash
# Headless X display with a window manager, for driving the GUI in tests. Source it:
#   xsession_start   Xvfb 1280x1024x24 on a free display + openbox; exports DISPLAY
#   xsession_stop    stops both, removes the temp folder
#   window_shown REGEX            a visible window's title matches REGEX
#   wait_window REGEX [SECS]      waits (default 15 s) for such a window
#   wait_gone REGEX [SECS]        waits for it to go
#   wait_focus REGEX [SECS]       waits until such a window has the keyboard focus
# openbox is there so a newly mapped window takes keyboard focus and xdotool
# key/type reaches it; bare Xvfb leaves focus on the root window.

xsession_start() {
    XSESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-x.XXXXXX")
    local d=$XSESSION_DIR i num=

    # -displayfd makes Xvfb pick a free display and write its number once ready,
    # so parallel runs cannot collide. -noreset: otherwise the server resets when
    # its last client (our xdpyinfo probe) leaves, and openbox's connect fails.
    # The file is made here, not by the redirect, so the first read cannot race the fork.
    : >"$d/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$d/display" >"$d/xvfb.log" 2>&1 &
    XSESSION_XVFB_PID=$!
    export XSESSION_DIR XSESSION_XVFB_PID

    for ((i = 0; i < 100; i++)); do
        num=$(tr -dc 0-9 <"$d/display")
        [[ -n $num ]] && break
        kill -0 "$XSESSION_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [[ -z $num ]]; then
        echo "Xvfb did not start; see $d/xvfb.log" >&2
        cat "$d/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=:$num

    for ((i = 0; i < 50; i++)); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    ((i < 50)) || { echo "display $DISPLAY does not answer" >&2; return 1; }

    openbox --sm-disable >"$d/openbox.log" 2>&1 &
    XSESSION_WM_PID=$!
    export XSESSION_WM_PID
    # The WM is ready once it has claimed the EWMH check window.
    for ((i = 0; i < 50; i++)); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
    echo "openbox did not come up on $DISPLAY:" >&2
    cat "$d/openbox.log" >&2
    return 1
}

xsession_stop() {
    local p
    for p in ${XSESSION_WM_PID-} ${XSESSION_XVFB_PID-}; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    [[ -n ${XSESSION_DIR-} && $XSESSION_DIR == */plendrik-x.* ]] && rm -rf "$XSESSION_DIR"
    unset XSESSION_WM_PID XSESSION_XVFB_PID XSESSION_DIR DISPLAY
}

window_shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# A search fails outright when a window (a closing menu, say) vanishes under
# it, so poll rather than rely on one long search.
wait_window() {
    local i
    for ((i = 0; i < ${2:-15} * 10; i++)); do
        window_shown "$1" && return 0
        sleep 0.1
    done
    return 1
}
wait_gone() {
    local i
    for ((i = 0; i < ${2:-15} * 10; i++)); do
        window_shown "$1" || return 0
        sleep 0.1
    done
    return 1
}
# Keys go to whichever window has focus, so wait until the window named has it.
wait_focus() {
    local i id
    for ((i = 0; i < ${2:-15} * 10; i++)); do
        id=$(xdotool getwindowfocus 2>/dev/null) || id=
        [[ -n $id ]] && xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -qx "$id" && return 0
        sleep 0.1
    done
    return 1
}
