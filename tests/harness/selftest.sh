#!/usr/bin/env bash
# Checks the harness itself: private cupsd, X session, pdf-lines.
# Ends with "N passed, N failed"; exit status is non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=cupsd.sh
source "$here/cupsd.sh"
# shellcheck source=xsession.sh
source "$here/xsession.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-selftest.XXXXXX")
trap 'cupsd_stop; xsession_stop; rm -rf "$work"' EXIT
passed=0 failed=0
ok() { echo "ok   $*"; passed=$((passed + 1)); }
bad() { echo "FAIL $*"; failed=$((failed + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else bad "$what"; fi; }
differs() { ! diff -q "$1" "$2" >/dev/null; }

# Text file -> PDF, one text line per baseline, in a fixed-pitch font, the way
# a report printer lays out a page. Lines holding only \f start a new page.
# make_pdf TEXT OUT FONT SIZE LEFT TOP PITCH
make_pdf() {
    local text=$1 out=$2 font=$3 size=$4 left=$5 top=$6 pitch=$7
    {
        echo '%!PS'
        echo "<< /PageSize [612 792] >> setpagedevice"
        # Latin-1 so that non-ASCII letters survive the trip through PostScript;
        # PostScript's own table has curly quotes at ' and `, put the plain ones back.
        echo "/$font findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse} forall"
        echo "/Encoding ISOLatin1Encoding 256 array copy dup 39 /quotesingle put dup 96 /grave put def"
        echo "currentdict end /L1 exch definefont pop"
        echo "/L1 findfont $size scalefont setfont"
        iconv -f UTF-8 -t LATIN1 "$text" | sed 's/[\\()]/\\&/g' | LC_ALL=C awk -v left="$left" -v top="$top" \
            -v pitch="$pitch" -v size="$size" '
            $0 == "\f" { print "showpage"; l = 0; next }
            {
                # Baseline sits 0.8 em below the top of its line cell.
                printf "%s %s moveto (%s) show\n", left, 792 - (top + l * pitch + 0.8 * size), $0
                l++
            }
            END { print "showpage" }'
    } >"$work/page.ps"
    ps2pdf "$work/page.ps" "$out"
}

# --- pdf-lines -------------------------------------------------------------
ff=$'\f'
cat >"$work/expect.txt" <<EOF
HOUSEHOLD INCOME                               Page 1
Name          Amount   Note
Smith & Co       1,200.00   <net> "quoted" it's
    indented word

after one blank line                                               column 68
Müller Größe  (paren) back\\slash
$ff
second page, line 1


           x at line 3 col 12
EOF

make_pdf "$work/expect.txt" "$work/courier.pdf" NimbusMonoPS-Regular 10 54 54 12
"$here/pdf-lines.sh" "$work/courier.pdf" >"$work/courier.txt" || true
check "pdf-lines: Courier 10pt, default grid, reproduces the text" \
    diff -u "$work/expect.txt" "$work/courier.txt"

make_pdf "$work/expect.txt" "$work/dejavu.pdf" DejaVuSansMono 9 72 90 14
"$here/pdf-lines.sh" "$work/dejavu.pdf" 72 90 14 >"$work/dejavu.txt" || true
check "pdf-lines: DejaVu Sans Mono 9pt, margins 72/90, pitch 14" \
    diff -u "$work/expect.txt" "$work/dejavu.txt"

# A page printed one character to the right must not pass as the original.
make_pdf "$work/expect.txt" "$work/shifted.pdf" NimbusMonoPS-Regular 10 60 54 12
"$here/pdf-lines.sh" "$work/shifted.pdf" >"$work/shifted.txt" || true
check "pdf-lines: a one-column shift is caught" differs "$work/expect.txt" "$work/shifted.txt"

# --- private cupsd -------------------------------------------------------------
make_pdf "$work/expect.txt" "$work/job.pdf" NimbusMonoPS-Regular 10 54 54 12
cupsd_start
own_socket() { lpstat -r | grep -q "is running" && [[ $CUPS_SERVER == "$CUPSD_DIR/cups.sock" ]]; }
is_default() { lpstat -d | grep -qx "system default destination: $CUPSD_QUEUE"; }
check "cupsd: answers on its own socket" own_socket
check "cupsd: plendrik-test is the default destination" is_default
lp "$work/job.pdf" >/dev/null
check "cupsd: job completes" cupsd_wait_completed 1 20
check "cupsd: kept data file is byte-identical" cmp "$work/job.pdf" "$(cupsd_spool_dir)/d00001-001"

cupsreject "$CUPSD_QUEUE"
refused() { ! lp "$work/job.pdf" 2>"$work/reject.err" && grep -q "not accepting" "$work/reject.err"; }
check "cupsd: lp fails while the queue rejects jobs" refused
cupsaccept "$CUPSD_QUEUE"

cupsdisable "$CUPSD_QUEUE"
lp "$work/job.pdf" >/dev/null
sleep 1
held() { lpstat -p | grep -q disabled && lpstat -o | grep -q "^$CUPSD_QUEUE-2 " && (($(cupsd_completed_count) == 1)); }
check "cupsd: disabled queue holds the job" held
cupsenable "$CUPSD_QUEUE"
check "cupsd: job runs once re-enabled" cupsd_wait_completed 2 20

# A second server alongside must get its own folder and socket.
second_server() (
    local first=$CUPS_SERVER
    cupsd_start --no-queue || return 1
    trap cupsd_stop EXIT
    [[ $CUPS_SERVER != "$first" ]] &&
        ! lpstat -d 2>/dev/null | grep -q "$CUPSD_QUEUE" &&
        ! lp "$work/job.pdf" 2>/dev/null
)
check "cupsd: second server alongside, with no queue and no default" second_server
dir=$CUPSD_DIR
cupsd_stop
check "cupsd: stop removes its folder" test ! -e "$dir"

# --- X session ---------------------------------------------------------------
xsession_start
answers() { xdpyinfo >/dev/null; }
check "x: display answers" answers
xmessage -name plendrik-probe "harness probe" &
probe=$!
win=$(timeout 10 xdotool search --sync --classname plendrik-probe | head -1) || win=
check "x: client window found" test -n "$win"
sleep 0.5
has_focus() { [[ $(xdotool getwindowfocus) == "$1" ]]; }
check "x: new window has keyboard focus" has_focus "$win"
import -window root "$work/screen.png"
png_size() { [[ $(identify -format %wx%h "$1") == "$2" ]]; }
check "x: screenshot is 1280x1024" png_size "$work/screen.png" 1280x1024
kill "$probe"
xsession_stop

echo "$passed passed, $failed failed"
((failed == 0))
