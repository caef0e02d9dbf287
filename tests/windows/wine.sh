#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, beside the toolkit's and
# the compiler's DLLs, in a Wine prefix made for the run (removed after it)
# on a private X display. Its exit status is the program's. A Qt test's
# report, which Wine does not pass to standard output, is asked for in a
# file (-o FILE,txt) and shown from there.
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
compiler=x86_64-w64-mingw32-g++-posix
dlls=("$qt/bin" "$(dirname "$($compiler -print-file-name=libstdc++-6.dll)")"
      "$(dirname "$($compiler -print-file-name=libwinpthread-1.dll)")")
WINEPATH=$(for d in "${dlls[@]}"; do windows_path "$d"; done | paste -sd ';')
QT_PLUGIN_PATH=$(windows_path "$qt/plugins")
export WINEPATH QT_PLUGIN_PATH
report=
for ((i = 2; i <= $#; i++)); do
    if [[ ${!i} == -o ]]; then
        next=$((i + 1))
        report=${!next%%,*}
    fi
done
set +e
wine "$@"
status=$?
set -e
if [[ -n $report && -f $report ]]; then
    cat "$report"
    rm -f "$report"
fi
exit "$status"
