#!/usr/bin/env bash
# Drives the program from the keyboard on a private X display and prints
# through a private cupsd, then compares each printed page with a page
# written by hand in expected/. With --windows, the same for the Windows
# build under Wine: installed by its setup into a fresh Wine prefix, which
# prints to the cupsd through Wine's PostScript driver; first with no
# printer at all, and uninstalled at the end.
#   e2e.sh PATH/TO/plendrik
#   e2e.sh --windows PATH/TO/plendrik-VERSION-setup.exe
# Ends with "N passed, N failed"; exit status is non-zero on any failure.
# A screenshot of the data-entry window is left in the current folder.
set -euo pipefail

windows=0
if [[ ${1-} == --windows ]]; then
    windows=1
    shift
fi
app_bin=${1:?usage: e2e.sh PATH/TO/plendrik | e2e.sh --windows PATH/TO/setup.exe}
here=$(cd "$(dirname "$0")" && pwd)
harness=$here/../harness
expected=$here/expected
shot_dir=$PWD
# shellcheck source=../harness/cupsd.sh
source "$harness/cupsd.sh"
if ((windows)); then
    # shellcheck source=../windows/installed.sh
    source "$here/../windows/installed.sh"
else
    # shellcheck source=../harness/xsession.sh
    source "$harness/xsession.sh"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-e2e.XXXXXX")
app_pid=

stop_all() {
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    cupsd_stop
    if ((windows)); then
        wine_session_stop
        rm -rf "${WINE_SNAPSHOT_DIR-}"
    else
        xsession_stop
    fi
    rm -rf "$work"
}
trap stop_all EXIT

# shellcheck source=../harness/checks.sh
source "$harness/checks.sh"
checks_on_failure() {
    if [[ -s $work/app.log ]]; then
        echo "--- program output:"
        cat "$work/app.log"
    fi
}

# --- helpers -------------------------------------------------------------------

key() { xdotool key --clearmodifiers "$@"; }
type_text() { xdotool type --delay 30 -- "$1"; }
# Copied from another program, then Ctrl+V: xclip holds the clipboard until
# the display ends.
paste_text() {
    printf "%s" "$1" | xclip -selection clipboard >/dev/null 2>&1
    key ctrl+v
}
# Sends keys at a brisk typist's pace in one xdotool command, so no key waits
# for the program to finish with the one before: the program must keep up.
# A word is typed as it stands; <NAME> is one key (<Tab>, <alt+n>, <space>).
# (xdotool's type takes the rest of the line as text, so everything goes through key.)
fast() {
    local arg c i keys=()
    for arg in "$@"; do
        if [[ $arg == '<'*'>' ]]; then
            keys+=("${arg:1:-1}")
            continue
        fi
        for ((i = 0; i < ${#arg}; i++)); do
            c=${arg:i:1}
            case $c in
            .) keys+=(period) ;;
            ,) keys+=(comma) ;;
            -) keys+=(minus) ;;
            *) keys+=("$c") ;;
            esac
        done
    done
    xdotool key --delay 40 "${keys[@]}"
}

jobs_total() { lpstat -W all -o 2>/dev/null | grep -c . || true; }
data_files() { find "$(cupsd_spool_dir)" -maxdepth 1 -name 'd*' | grep -c . || true; }
no_jobs() { (($(jobs_total) == 0)) && (($(data_files) == 0)); }
exactly_jobs() { cupsd_wait_completed "$1" 30 && (($(jobs_total) == $1)) && (($(data_files) == $1)); }

is_pdf() { [[ -f $1 && $(head -c 4 "$1") == %PDF ]]; }
# What the printer gets: the PDF itself, or from Wine, PostScript.
job_format=PDF job_magic=%PDF
((windows)) && job_format=PostScript job_magic=%!PS
is_job() { [[ -f $1 && $(head -c 4 "$1") == "$job_magic" ]]; }
same_page() {
    local pdf=$1
    if ((windows)); then
        pdf=$work/job.pdf
        ps2pdf "$1" "$pdf" || return 1
    fi
    # diff prints its differences, which is the message wanted on failure.
    "$harness/pdf-lines.sh" "$pdf" 36 36 12 >"$work/page.txt" || return 1
    # Whether Wine's PostScript driver hands a Thaana glyph on as text or as
    # outlines is its own affair: the letter is left out on both sides.
    ((windows)) && sed -i 's/ދ/ /g' "$work/page.txt"
    diff -u "$2" "$work/page.txt"
}
# cupsd writes a job's control file a moment after the job completes.
names_job() {
    local i
    for ((i = 0; i < 300; i++)); do
        [[ -f $1 ]] && grep -aqF "$2" "$1" && return 0
        sleep 0.1
    done
    return 1
}

# Runs one report from the Report menu and checks the job it printed.
# report LETTER JOB_NUMBER TITLE EXPECTED_FILE
report() {
    local letter=$1 n=$2 title=$3 page=$4 num
    num=$(printf '%05d' "$n")
    key alt+r
    key "$letter"
    check "$title: job $n completes" cupsd_wait_completed "$n" 30
    local data
    data=$(cupsd_spool_dir)/d$num-001
    check "$title: kept job file is $job_format" is_job "$data"
    check "$title: printed page matches expected/${page##*/}" same_page "$data" "$page"
    check "$title: control file names the job \"$title\"" names_job "$(cupsd_spool_dir)/c$num" "$title"
}

start_program() {
    if ((windows)); then
        wine "$INSTALLED_EXE" >"$work/app.log" 2>&1 &
    else
        mkdir -p "$work/home"
        HOME=$work/home LC_ALL=C.UTF-8 ASAN_OPTIONS=detect_leaks=0 "$app_bin" >"$work/app.log" 2>&1 &
    fi
    app_pid=$!
    need "main window \"Plendrik\" appears" wait_window '^Plendrik$' 30
    need "main window has keyboard focus" wait_focus '^Plendrik$'
}
# After a window of the program closes, the main window must have the keys
# again, on its own: whatever closed it, and on both platforms.
main_focused() { wait_focus '^Plendrik$'; }
exited() {
    local i
    for ((i = 0; i < 200; i++)); do
        kill -0 "$app_pid" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

# --- 1. start ----------------------------------------------------------------
if ((windows)); then
    # Wine sets the queue up as a Windows printer of that name, left in the
    # prefix after the program is uninstalled; it must not look like ours.
    export CUPSD_QUEUE=office
    need "cupsd with no printer starts" cupsd_start --no-queue
    need "Wine starts on a private X display" wine_session_start
    need "setup installs silently" windows_install "$app_bin"
    check "Start-menu shortcut starts the installed program" windows_shortcut_names_exe
    check "installed-apps list has Plendrik, with its uninstaller" windows_listed

    # No printer at all: the report is kept in the user's Documents. Windows
    # is set to 150 % meanwhile: the window's twips scale with it.
    set_scale() {
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
        wineserver --kill
    }
    size_is() {
        local id
        id=$(xdotool search --onlyvisible --name "$1" | head -n 1)
        [[ $(xwininfo -id "$id" | awk '/Width:/ { w = $NF } /Height:/ { h = $NF } END { print w "x" h }') == "$2" ]]
    }
    set_scale 144
    start_program
    key alt+f
    key e
    need "no printer: \"Data Entry\" appears" wait_window '^Data Entry$'
    check "150 %: \"Data Entry\" is 4500 x 2790 twips, 450 x 279 pixels" size_is '^Data Entry$' 450x279
    fast 1001 '<Tab>' 6000 '<Tab>' 3 '<Return>' '<Escape>'
    check "no printer: \"Data Entry\" closes" wait_gone '^Data Entry$'
    need "no printer: main window has focus again" main_focused
    key alt+r
    key e
    check "no printer: \"Report Saved\" box appears" wait_window '^Report Saved$' 20
    saved=$(find -L "$WINEPREFIX/drive_c/users" -path '*/Documents/Listing of Data Entered *.pdf' | head -n 1)
    check "no printer: the report is saved in the user's Documents as a PDF" is_pdf "$saved"
    check "no printer: its page reads back" grep -q '1001 *6000 *3' <("$harness/pdf-lines.sh" "$saved" 36 36 12)
    key Return
    check "no printer: Enter dismisses the box" wait_gone '^Report Saved$'
    need "no printer: main window has focus again" main_focused
    key alt+f
    key x
    check "no printer: File, Exit ends the program" exited
    set_scale 96
    cupsd_stop
fi
need "cupsd starts with the test queue" cupsd_start
((windows)) || need "X session starts" xsession_start
start_program

# --- 2. a report with no data ---------------------------------------------------
key alt+r
key e
check "empty survey: \"Error\" box appears" wait_window '^Error$'
key Return
check "empty survey: Enter dismisses the box" wait_gone '^Error$'
check "empty survey: no job spooled" no_jobs
need "main window has focus again" main_focused

# --- 3. data entry ---------------------------------------------------------------
key alt+f
key e
need "\"Data Entry\" window appears" wait_window '^Data Entry$'
need "\"Data Entry\" has keyboard focus" wait_focus '^Data Entry$'

# enter_household ID INCOME PERSONS: ID is typed into the ID box, where focus starts.
enter_household() {
    if [[ -n $1 ]]; then type_text "$1"; fi
    key Tab
    type_text "$2"
    key Tab
    type_text "$3"
}
enter_household 1001 6000 3
key Return
enter_household 1002 2000.5 1
key Return
enter_household ABCDEFGHIJKLMNO 12000 4
key Return
enter_household '' 1,000 2
key Return
# A Thaana letter pasted, then digits typed after it: the digits print in the
# report's face, to the left of the letter, as right-to-left text orders them.
paste_text 'ދ'
enter_household 77 -250 5
# For people only; nothing checks it.
import -window root "$shot_dir/e2e-data-entry.png" 2>/dev/null || echo "(no screenshot taken)"
key Escape
check "Esc with an ID typed: \"Confirm Close\" appears" wait_window '^Confirm Close$'
key Return
check "Enter (Yes): \"Confirm Close\" goes" wait_gone '^Confirm Close$'
check "Enter (Yes): \"Data Entry\" closes" wait_gone '^Data Entry$'
need "main window has focus again" main_focused

open_data_entry() {
    key alt+f
    key e
    need "$1: \"Data Entry\" appears" wait_window '^Data Entry$'
    need "$1: \"Data Entry\" has keyboard focus" wait_focus '^Data Entry$'
}
# check_closed WHAT: Data Entry must be gone. If it is not, close it (saying
# Yes to a question) so the later steps and the printed pages still run.
check_closed() {
    if wait_gone '^Data Entry$' 5; then
        ok "$1: \"Data Entry\" closes"
        return
    fi
    bad "$1: \"Data Entry\" closes"
    if window_shown '^Confirm Close$'; then
        echo "     (\"Confirm Close\" was up; answering Yes)"
        key Return
        wait_gone '^Confirm Close$' 5 || true
    fi
    window_shown '^Data Entry$' && key Escape
    wait_gone '^Data Entry$' 5 || true
}
# Clicks Close with the mouse, wherever the window lies and however large.
click_close() {
    local id w h
    id=$(xdotool search --onlyvisible --name '^Data Entry$' | head -n 1)
    eval "$(xdotool getwindowgeometry --shell "$id")"
    w=$WIDTH h=$HEIGHT
    # The centre of Close, 3367 x 2407 twips into the 4500 x 2790 window.
    xdotool mousemove --window "$id" $((w * 3367 / 4500)) $((h * 2407 / 2790)) click 1
}

# --- 3b. a refusal, then No ------------------------------------------------------
# An income too large to store is refused in an "Error" box, and the window
# keeps the keyboard; No in "Confirm Close" then closes it, keeping the texts.
open_data_entry "refused income"
fast 5001 '<Tab>' 1e15 '<Return>'
check "refused income: \"Error\" box appears" wait_window '^Error$'
key Return
check "refused income: Enter dismisses the box" wait_gone '^Error$'
need "refused income: \"Data Entry\" has keyboard focus again" wait_focus '^Data Entry$'
key Escape
check "refused income, Esc: \"Confirm Close\" appears" wait_window '^Confirm Close$'
key alt+n
check "No: \"Data Entry\" closes" wait_gone '^Data Entry$'
need "main window has focus again" main_focused
# Emptied again for the steps after.
open_data_entry "reopened after No"
fast '<ctrl+a>' '<BackSpace>' '<Tab>' '<BackSpace>' '<Escape>'
check_closed "emptied, then Esc"
need "main window has focus again" main_focused

# --- 4. keys at full speed -------------------------------------------------------
open_data_entry "fast typing"
# Three households typed straight through, each ended with Alt+N or Enter: an
# access key must press its button before the keys typed after it are handled.
# Alt with a letter no access key takes types nothing, in any field.
fast 2001 '<alt+h>' '<alt+r>' '<alt+x>' '<alt+f>' '<Tab>' 4500 '<alt+q>' '<Tab>' 3 '<alt+q>' '<alt+n>' 2002 '<Tab>' 9000 '<Tab>' 1 '<Return>' \
    2003 '<Tab>' 15000.25 '<Tab>' 6 '<alt+n>'
# Alt+N has stored the household and emptied the ID when Esc comes, so Esc
# closes at once: no question, no second household.
fast 2004 '<Tab>' 8000 '<Tab>' 2 '<alt+n>' '<Escape>'
check_closed "Alt+N, Esc"
need "main window has focus again" main_focused

# --- 5. focus on Close --------------------------------------------------------------
# With the ID empty, Tab to Close and Enter: Enter presses the focused Close,
# which closes at once; the income and size texts stay in their boxes.
open_data_entry "Enter on Close"
fast '<Tab>' 100 '<Tab>' 2 '<Tab>' '<Tab>' '<Return>'
check_closed "Enter on a focused Close"
need "main window has focus again" main_focused
# Every time the window opens the cursor is in the ID box, however it was
# closed; Tab into a box selects its kept text, so typing replaces it.
open_data_entry "reopened after Enter on Close"
fast M1 '<Tab>' 30 '<Tab>' 3 '<Return>'
click_close
check_closed "Close clicked"
need "main window has focus again" main_focused
open_data_entry "reopened after a click on Close"
fast 3002 '<Tab>' 5000 '<Tab>' 4 '<Return>' '<Tab>' '<Tab>' '<Tab>' '<Tab>' '<space>'
check_closed "Tab to Close, Space"
need "main window has focus again" main_focused
open_data_entry "reopened after Space on Close"
fast 3003 '<Tab>' 700 '<Tab>' 1 '<Return>' '<Escape>'
check_closed "Esc after Enter"
need "main window has focus again" main_focused

# --- 6. held keys -------------------------------------------------------------------
# A key held down past the keyboard's repeat delay acts once. hold KEY...:
# pressed in turn, held 1 s, let go in reverse (alt n: Alt+N).
hold() { xdotool keydown "$@"; sleep 1; xdotool keyup $(printf '%s\n' "$@" | tac); }
# Alt+KEY held, and Alt let go well before KEY, so KEY repeats on its own.
hold_alt_first() { xdotool keydown alt "$1"; sleep 1; xdotool keyup alt; sleep 0.3; xdotool keyup "$1"; }
# held_question WHAT ID KEY [KEYS...]: after a household and KEYS, KEY held
# asks "Save current entry?" once and waits for the answer; Yes stores it.
held_question() {
    open_data_entry "$1"
    fast "$2" '<Tab>' 1000 '<Tab>' 2 "${@:4}"
    hold "$3"
    check "$1: \"Confirm Close\" waits for an answer" window_shown '^Confirm Close$'
    key Return
    check_closed "$1, then Yes"
    need "main window has focus again" main_focused
}
held_question "Esc held" 4001 Escape
held_question "Enter held on a focused Close" 4002 Return '<Tab>' '<Tab>'
# Each household here ends with a held key (after the keys listed before it):
# stored once, with nothing typed into the next one, as the data listing shows.
open_data_entry "held keys"
held=(4003 '' 'hold Return' 4004 '' 'hold KP_Enter' 4005 '' 'hold alt n' 4006 '<Tab>' 'hold Return'
      4007 '' 'hold_alt_first n' 4008 '<Tab>' 'hold space')
for ((i = 0; i < ${#held[@]}; i += 3)); do
    fast "${held[i]}" '<Tab>' 1000 '<Tab>' 2 ${held[i + 1]}
    ${held[i + 2]}
done
# Space held on Next left the ID empty, so Esc closes without a question.
key Escape
check_closed "Space held on a focused Next, then Esc"
need "main window has focus again" main_focused
# A key let go while another program has the keyboard is not down any more
# when the operator comes back: the next Enter stores its household.
open_data_entry "key let go in another program"
fast 4009 '<Tab>' 1000 '<Tab>' 2
xdotool keydown Return
xmessage -geometry +0+0 elsewhere 2>/dev/null &
other=$!
need "another program has the keyboard" wait_focus '^xmessage$'
xdotool keyup Return
kill "$other"
wait "$other" 2>/dev/null || true
need "\"Data Entry\" has the keyboard again" wait_focus '^Data Entry$'
fast 4010 '<Tab>' 1000 '<Tab>' 2 '<Return>' '<Escape>'
check_closed "Enter after a key let go in another program, then Esc"
need "main window has focus again" main_focused

# --- 7. the three reports -----------------------------------------------------------
listing=$expected/data-listing.txt
if ((windows)); then
    listing=$work/data-listing.txt
    sed 's/ދ/ /g' "$expected/data-listing.txt" >"$listing"
fi
report e 1 "Listing of Data Entered" "$listing"
report l 2 "Households Exceeding Average Income" "$expected/above-average.txt"
report p 3 "Poverty Level Summary" "$expected/poverty-summary.txt"

# --- 8. a print service that does not answer ----------------------------------------
# A report waits on it, and the main window goes on painting meanwhile: covered
# by another window and uncovered, it looks as before. Then the report gives up.
# Wine's spooler takes the whole document before it asks CUPS: there the report
# is not confirmed, and it prints once the service answers again.
silent_box='Error' all_jobs=3
((windows)) && silent_box='Report Not Confirmed' all_jobs=4
main_window=$(xdotool search --onlyvisible --name '^Plendrik$' | head -n 1)
import -window "$main_window" "$work/before.png" || true
kill -STOP "$CUPSD_PID"
started=${EPOCHREALTIME/./}
key alt+r
key e
sleep 1
x=0 y=0 w=0 h=0 && eval "$(xwininfo -id "$main_window" | awk '/Absolute upper-left X/ { print "x=" $NF }
    /Absolute upper-left Y/ { print "y=" $NF } /Width:/ { print "w=" $NF } /Height:/ { print "h=" $NF }')"
# Unmanaged, so it lands exactly there and takes no focus.
xmessage -xrm '*overrideRedirect: true' -geometry "${w}x$h+$x+$y" cover 2>/dev/null &
cover_pid=$!
sleep 1
kill "$cover_pid"
wait "$cover_pid" 2>/dev/null || true
sleep 0.5
import -window "$main_window" "$work/after.png" || true
changed=$(compare -metric AE -fuzz 3% "$work/before.png" "$work/after.png" null: 2>&1 | awk '$1 ~ /^[0-9.e+]+$/ { print int($1) }') || true
check "silent print service: main window repainted after being covered ($changed of $((w * h)) pixels differ)" \
    test "${changed:-$((w * h))}" -lt $((w * h / 100))
told_in_time() {
    while ((${EPOCHREALTIME/./} - started < 10000000)); do
        window_shown "^$silent_box\$" && return 0
        sleep 0.1
    done
    return 1
}
check "silent print service: \"$silent_box\" box within 10 s of starting the report" told_in_time
kill -CONT "$CUPSD_PID"
key Return
check "silent print service: Enter dismisses the box" wait_gone "^$silent_box\$"
need "main window has focus again" main_focused

# --- 8b. a printer whose driver asks where to save -----------------------------------
# Windows' own PDF printer asks for a file name as the document starts; Wine's
# printer does the same on the port FILE:. The time it asks does not count
# against the report's deadline, and saving is printing: nothing more is said.
if ((windows)); then
    printer_key='HKLM\System\CurrentControlSet\Control\Print\Printers\office'
    set_port() { wine reg add "$printer_key" /v Port /t REG_SZ /d "$1" /f >/dev/null 2>&1; }
    saved_ps=$WINEPREFIX/drive_c/users/Public/listing.ps
    set_port FILE:
    key alt+r
    key e
    need "printer on FILE: asks: \"Print to File\" appears" wait_window '^Print to File$'
    # Longer than the report's own deadline: the operator takes a while.
    sleep 9
    type_text 'C:\users\Public\listing.ps'
    key Return
    check "printer on FILE: the dialog goes" wait_gone '^Print to File$'
    need "printer on FILE: main window has focus again" main_focused
    # Keys wait while a report is under way: once About answers, the report
    # has ended, and any box it showed would be up.
    key alt+h
    key a
    need "printer on FILE: the report has ended" wait_window '^About Plendrik $'
    check "printer on FILE: the file chosen holds the listing" same_page "$saved_ps" "$listing"
    rm -f "$saved_ps" # the operator's, not the program's: it would count as left behind
    check "printer on FILE: nothing more is said" \
        bash -c '! xdotool search --onlyvisible --name "^(Error|Report Not Confirmed|Report Not Printed)$"'
    key Return
    check "printer on FILE: Enter closes \"About Plendrik \"" wait_gone '^About Plendrik $'
    need "main window has focus again" main_focused
    set_port CUPS:office
fi

# --- 8c. an ID of 40,000 characters ---------------------------------------------
# Pasted, then printed: it carries on over hundreds of rows, and every one of
# its characters reads back in order, with the income and size after its last.
# (A to Z over and over, so rows end on every letter, K, R and W among them:
# a printer inks those a dot past their width.)
long_id=$(awk 'BEGIN { for (i = 0; i < 40000; i++) printf "%c", 65 + i % 26 }')
long_text() {
    local pdf=$1
    if ((windows)); then
        pdf=$work/long.pdf
        ps2pdf "$1" "$pdf" || return 1
    fi
    pdftotext "$pdf" - | tr -d ' \n\f'
}
ends_with_long_id() { [[ $(long_text "$1") == *"${long_id}427" ]]; }
open_data_entry "40,000-character ID"
paste_text "$long_id"
fast '<Tab>' 42 '<Tab>' 7 '<Return>' '<Escape>'
check_closed "40,000-character ID stored, then Esc"
need "main window has focus again" main_focused
((all_jobs += 1))
key alt+r
key e
check "40,000-character ID: job $all_jobs completes" cupsd_wait_completed "$all_jobs" 60
check "40,000-character ID: every character reads back in order, then 42 and 7" \
    ends_with_long_id "$(cupsd_spool_dir)/d$(printf '%05d' "$all_jobs")-001"

# --- 9. About -------------------------------------------------------------------
key alt+h
key a
check "\"About Plendrik \" appears" wait_window '^About Plendrik $'
key Escape
# Nothing announces that Esc was ignored; give the program a moment to act on it.
sleep 1
check "Esc leaves \"About Plendrik \" open" window_shown '^About Plendrik $'
key Return
check "Enter closes \"About Plendrik \"" wait_gone '^About Plendrik $'
need "main window has focus again" main_focused

# --- 10. exit -----------------------------------------------------------------------
key alt+f
key x
check "File, Exit ends the program" exited
status=0
if ! kill -0 "$app_pid" 2>/dev/null; then
    wait "$app_pid" || status=$?
    app_pid=
    check "exit status is 0 (got $status)" test "$status" -eq 0
fi
check "exactly $all_jobs jobs printed in all" exactly_jobs "$all_jobs"

# --- 11. uninstall ------------------------------------------------------------------
if ((windows)); then
    check "uninstaller runs silently" windows_uninstall
    left=$(windows_leftovers)
    check "uninstall leaves nothing behind${left:+:$'\n'$left}" test -z "$left"
fi

finish
