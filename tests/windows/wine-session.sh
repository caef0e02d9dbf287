#!/usr/bin/env bash
# A Wine prefix of its own on a private X display, for running the Windows
# build in tests. Source it:
#   wine_session_start   Xvfb + openbox (tests/harness/xsession.sh), then a
#                        fresh 64-bit WINEPREFIX, and a fresh HOME, which
#                        Wine makes the Windows user's Documents; exports
#                        DISPLAY, WINEPREFIX, HOME
#   wine_session_stop    ends Wine's server, the display, removes both
here_wine=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../harness/xsession.sh
source "$here_wine/../harness/xsession.sh"

wine_session_start() {
    xsession_start || return 1
    WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-wine.XXXXXX")
    WINE_SESSION_OLD_HOME=$HOME
    HOME=$WINEPREFIX/home
    mkdir "$HOME"
    # No Mono or Gecko: nothing here needs them, and their installers would
    # ask. No menu entries on the host for what gets installed.
    export WINEPREFIX HOME WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    wine wineboot --init >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
    wineserver --wait
}

wine_session_stop() {
    if [[ -n ${WINEPREFIX-} && $WINEPREFIX == */plendrik-wine.* ]]; then
        wineserver --kill 2>/dev/null || true
        rm -rf "$WINEPREFIX"
        export HOME=$WINE_SESSION_OLD_HOME
    fi
    unset WINEPREFIX
    xsession_stop
}
