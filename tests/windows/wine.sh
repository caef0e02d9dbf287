#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, beside the toolkit's and
# the compiler's DLLs, in a Wine prefix made for the run (removed after it)
# on a private X display. Its exit status is the program's.
#   wine.sh QT_PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
qt=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-session.sh
source "$here/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start >&2

windows_path() { echo "Z:${1//\//\\}"; }
dlls=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
WINEPATH=$(for d in "${dlls[@]}"; do windows_path "$d"; done | paste -sd ';')
QT_PLUGIN_PATH=$(windows_path "$qt/plugins")
export WINEPATH QT_PLUGIN_PATH
set +e
wine "$@"
status=$?
set -e
exit "$status"
