#!/usr/bin/env bash
# Takes the README's pictures from the real program: it runs on a private X
# display with openbox, is driven from the keyboard at typing speed, and
# prints through a private cupsd that keeps its job files.
#   docs/screenshots.sh [PATH/TO/plendrik]    (default: build/app/plendrik)
# Writes into docs/: main-window.png (Report menu open), data-entry.png,
# about.png and printed-page.png (top of the printed data listing).
# Needs the test packages of build.sh (xvfb, openbox, xdotool, imagemagick,
# cups, poppler-utils).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
app_bin=$(realpath "${1:-$root/build/app/plendrik}")
harness=$root/tests/harness
out=$here
[[ -x $app_bin ]] || { echo "no program at $app_bin; build it first (./build.sh run or cmake)" >&2; exit 1; }

# shellcheck source=SCRIPTDIR/../tests/harness/cupsd.sh
source "$harness/cupsd.sh"
# shellcheck source=SCRIPTDIR/../tests/harness/xsession.sh
source "$harness/xsession.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-docs.XXXXXX")
app_pid=
stop_all() {
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    cupsd_stop
    xsession_stop
    rm -rf "$work"
}
trap stop_all EXIT

fail() {
    echo "screenshots: $*" >&2
    [[ -s $work/app.log ]] && { echo "--- program output:" >&2; cat "$work/app.log" >&2; }
    exit 1
}

# A window that does not come, go or take the focus in time ends the run.
must() { "$@" || fail "gave up: $*"; }
window_id() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
key() { xdotool key --clearmodifiers "$@"; }
type_text() { xdotool type --delay 30 -- "$1"; }

# Small PNGs for the repository: no metadata, and a 256-colour palette
# without dithering; window pictures have few colours beyond the anti-aliased
# text, so the palette leaves them looking the same.
save_png() { # save_png SOURCE TARGET [convert options...]
    local src=$1 target=$2
    shift 2
    convert "$src" "$@" +dither -colors 256 -strip -define png:compression-level=9 "PNG8:$target"
    echo "wrote ${target#"$root"/} ($(convert "$target" -format '%wx%h' info:), $(stat -c %s "$target") bytes)"
}

# The window as the screen shows it, title bar and border included, with
# whatever lies on top of it (an open menu): the whole screen cut to the
# window's frame. Menus and message boxes are separate X windows, so
# grabbing the window alone would miss them.
shoot_window() { # shoot_window TITLE_REGEX TARGET
    local id x y w h left right top bottom extents
    id=$(window_id "$1")
    [[ -n $id ]] || fail "no window \"$1\" to photograph"
    # xdotool's own geometry counts the frame offset twice under openbox.
    read -r x y w h < <(xwininfo -id "$id" | awk '
        /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print x, y, w, h}')
    extents=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p')
    IFS=', ' read -r left right top bottom <<<"${extents:-0, 0, 0, 0}"
    # That is the client's rectangle; the frame lies around it.
    x=$((x - left)) y=$((y - top)) w=$((w + left + right)) h=$((h + top + bottom))
    # Let the last key's drawing reach the screen before the grab.
    sleep 0.5
    import -window root "$work/screen.png"
    save_png "$work/screen.png" "$2" -crop "${w}x${h}+${x}+${y}" +repage
}

# --- start ------------------------------------------------------------------------
cupsd_start || fail "the private cupsd did not start"
xsession_start || fail "the X session did not start"

mkdir -p "$work/home"
HOME=$work/home LC_ALL=C.UTF-8 "$app_bin" >"$work/app.log" 2>&1 &
app_pid=$!
must wait_window '^Plendrik$'
must wait_focus '^Plendrik$'

# --- data entry -----------------------------------------------------------------
key alt+f
key e
must wait_window '^Data Entry$'
must wait_focus '^Data Entry$'
# type_household ID INCOME PERSONS: focus starts in the ID box.
type_household() {
    type_text "$1"
    key Tab
    type_text "$2"
    key Tab
    type_text "$3"
}
type_household 1001 6000 3
key Return
type_household 1002 2000.5 1
key Return
type_household 1003 14500 4
key Return
type_household 1004 9200 2
key Return
type_household 1005 21000 5
key Return
# Photographed typed in, before Enter stores it.
type_household 1006 7800 3
shoot_window '^Data Entry$' "$out/data-entry.png"
key Return
key Escape
must wait_gone '^Data Entry$'
must wait_focus '^Plendrik$'

# --- a printed page ---------------------------------------------------------------
key alt+r
key e
cupsd_wait_completed 1 30 || fail "the data listing was not printed"
job=$(cupsd_spool_dir)/d00001-001
[[ $(head -c 4 "$job") == %PDF ]] || fail "the kept job file $job is not a PDF"
must wait_focus '^Plendrik$'
# The page at screen resolution, full width, cut half an inch below the last
# printed line, with a thin edge so it reads as paper.
pdftoppm -png -r 96 -f 1 -l 1 -singlefile "$job" "$work/page"
page_w=$(convert "$work/page.png" -format '%w' info:)
text_bottom=$(convert "$work/page.png" -trim -format '%[fx:page.y+h]' info:)
cut_h=$((text_bottom + 48))
save_png "$work/page.png" "$out/printed-page.png" -crop "${page_w}x${cut_h}+0+0" +repage \
    -bordercolor '#b0b0b0' -border 1

# --- main window with the Report menu open ------------------------------------------
key alt+r
sleep 0.5
shoot_window '^Plendrik$' "$out/main-window.png"
key Escape
key Escape
must wait_focus '^Plendrik$'

# --- About ------------------------------------------------------------------------
key alt+h
key a
must wait_window '^About Plendrik $'
must wait_focus '^About Plendrik $'
shoot_window '^About Plendrik $' "$out/about.png"
key Return
must wait_gone '^About Plendrik $'
must wait_focus '^Plendrik$'

# --- end ----------------------------------------------------------------------------
key alt+f
key x
for ((i = 0; i < 100; i++)); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "File, Exit did not end the program"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=
