#!/usr/bin/env bash
# Turn a PDF printed in a fixed-pitch font back into text lines with every
# word at its character column, so a printed page can be diffed against a
# expected text file.
#   pdf-lines.sh FILE.pdf [left_margin_pt top_margin_pt line_pitch_pt]
# Defaults: 36 36 12 (half-inch margins, 6 lines per inch).
# Pages are separated by a line holding only a form feed; each page runs to
# its last line with text, earlier blank lines come out empty.
set -euo pipefail

if (($# != 1 && $# != 4)); then
    echo "usage: ${0##*/} FILE.pdf [left_margin_pt top_margin_pt line_pitch_pt]" >&2
    exit 2
fi
pdf=$1 left=${2:-36} top=${3:-36} pitch=${4:-12}

# LC_ALL=C: awk works on bytes everywhere (mawk has no UTF-8), and the
# character count below skips UTF-8 continuation bytes itself.
pdftotext -bbox "$pdf" - | LC_ALL=C awk -v left="$left" -v top="$top" -v pitch="$pitch" '
function attr(s, name,    r) {
    if (!match(s, name "=\"[-0-9.]+\"")) return ""
    r = substr(s, RSTART + length(name) + 2, RLENGTH - length(name) - 3)
    return r + 0
}
function nchars(s,    t) {
    t = s
    gsub(/[\200-\277]/, "", t)
    return length(t)
}
function unxml(s) {
    gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s)
    gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
    gsub(/&#39;/, "\047", s)
    gsub(/&amp;/, "\\&", s)
    return s
}
function rnd(x) { return x < 0 ? -int(-x + 0.5) : int(x + 0.5) }

/<page / { pages++; maxline[pages] = -1 }
/<word / {
    w = $0
    sub(/^.*<word [^>]*>/, "", w); sub(/<\/word>.*$/, "", w)
    w = unxml(w)
    n++
    wpage[n] = pages; wtext[n] = w
    wx[n] = attr($0, "xMin"); wy[n] = attr($0, "yMin")
    nc = nchars(w)
    # Fixed pitch: one mean width over the whole document smooths rounding.
    sumw += attr($0, "xMax") - wx[n]; sumc += nc
}
END {
    if (n == 0) { for (p = 2; p <= pages; p++) print "\f"; exit 0 }
    cw = sumw / sumc
    bad = 0
    for (i = 1; i <= n; i++) {
        p = wpage[i]
        l = rnd((wy[i] - top) / pitch)
        c = rnd((wx[i] - left) / cw) + 1
        if (l < 0 || c < 1) {
            printf "pdf-lines: \"%s\" on page %d lies outside the margins (x=%s y=%s)\n", wtext[i], p, wx[i], wy[i] > "/dev/stderr"
            bad = 1
            continue
        }
        k = p SUBSEP l
        cnt[k]++
        col[k, cnt[k]] = c; txt[k, cnt[k]] = wtext[i]
        if (l > maxline[p]) maxline[p] = l
    }
    if (bad) exit 1
    for (p = 1; p <= pages; p++) {
        if (p > 1) print "\f"
        for (l = 0; l <= maxline[p]; l++) {
            k = p SUBSEP l
            m = cnt[k] + 0
            # pdftotext emits reading order; sort by column anyway (few words per line).
            for (a = 2; a <= m; a++)
                for (b = a; b > 1 && col[k, b - 1] > col[k, b]; b--) {
                    t = col[k, b]; col[k, b] = col[k, b - 1]; col[k, b - 1] = t
                    t = txt[k, b]; txt[k, b] = txt[k, b - 1]; txt[k, b - 1] = t
                }
            out = ""; len = 0
            for (a = 1; a <= m; a++) {
                c = col[k, a]
                # Overlap means the page was not on the grid; keep one blank so the diff shows it.
                if (c <= len && len > 0) c = len + 2
                while (len < c - 1) { out = out " "; len++ }
                out = out txt[k, a]; len += nchars(txt[k, a])
            }
            print out
        }
    }
}'
