#!/usr/bin/env bash
# The setup run over an older version, under Wine. The older setup is built
# here from the same installer script with a lower version and a file of
# its own, and installed into a fresh prefix. Its program, started, uses
# the common controls its manifest asks for and loads no plugin from beside
# its folder; while it runs the setup refuses. Then the setup replaces it:
# the older version's file is gone, this version's files are all there, as
# is the Apps entry with this version, and uninstalling leaves nothing.
#   upgrade.sh SETUP.exe VERSION MAKENSIS [OPTIONS...]
# The setup's folder holds its stage/ and install-files.nsh; MAKENSIS and
# OPTIONS are the setup's own, without version, files and output.
set -euo pipefail
setup=$1 version=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
built=$(dirname "$setup")
# shellcheck source=installed.sh
source "$here/installed.sh"
# shellcheck source=../harness/checks.sh
source "$here/../harness/checks.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-upgrade.XXXXXX")
trap 'wine_session_stop; rm -rf "$work" "${WINE_SNAPSHOT_DIR-}"' EXIT

mkdir "$work/older"
echo "Only version 0.9 has this file." >"$work/retired.txt"
{
    cat "$built/install-files.nsh"
    printf 'SetOutPath "$INSTDIR\\retired"\nFile "%s"\n' "$work/retired.txt"
} >"$work/older/install-files.nsh"
{
    printf 'Delete "$INSTDIR\\retired\\retired.txt"\nRMDir "$INSTDIR\\retired"\n'
    cat "$built/uninstall-files.nsh"
} >"$work/older/uninstall-files.nsh"
# (Compressed quickly: how it is packed is no part of what is tested.)
need "an older setup, 0.9, is built" "$@" '-X!pragma warning disable 8020' '-XSetCompressor /FINAL zlib' \
    -DVERSION=0.9 -DVERSION4=0.9.0.0 \
    -DFILES="$work/older" -DOUTFILE="$work/older-setup.exe" "$here/../../packaging/windows/plendrik.nsi"

need "Wine starts on a private X display" wine_session_start
need "0.9 installs" windows_install "$work/older-setup.exe"
folder=$(dirname "$INSTALLED_EXE")
need "0.9 has its own file" test -f "$folder/retired/retired.txt"

# A toolkit beside the folder, as another program could leave it there, is
# not what the program loads.
programs=$(dirname "$folder")
mkdir -p "$programs/lib" "$programs/plugins/platforms"
: >"$programs/lib/libQt6Core.a"
cp "$folder/platforms/qwindows.dll" "$programs/plugins/platforms/"
WINEDEBUG=+loaddll wine "$INSTALLED_EXE" >"$work/program.log" 2>&1 &
program=$!
need "the installed program starts" wait_window '^Plendrik$' 30
loaded=$(grep -o 'Loaded L"[^"]*"' "$work/program.log" | cut -d'"' -f2 | sed 's/\\\\/\\/g' || true)
check "it uses the common controls 6 that its manifest asks for" \
    grep -qi 'winsxs\\[^\\]*common-controls[^\\]*\\comctl32\.dll$' <<<"$loaded"
windows_folder='C:\'${folder#"$WINEPREFIX"/drive_c/}
windows_folder=${windows_folder//\//\\}
outside=$(grep -i -F "${windows_folder%\\*}\\" <<<"$loaded" | grep -v -i -F "$windows_folder\\" || true)
only_inside() { grep -qi -F "$windows_folder\\platforms\\qwindows.dll" <<<"$loaded" && [[ -z $outside ]]; }
check "it loads its platform plugin from its own folder, and nothing from beside it${outside:+: $outside}" only_inside
rm -r "$programs/lib" "$programs/plugins"
refused() {
    ! wine "$setup" /S && test -f "$folder/retired/retired.txt" && [[ $(windows_listed_version) == 0.9 ]]
}
check "while it runs, the setup refuses and changes nothing" refused
wineserver --kill
wait "$program" || true

need "the setup installs over 0.9" wine "$setup" /S
# Also waits for what the older uninstaller left running to tidy up.
wineserver --wait
check "0.9's own file is gone, and its folder" test ! -e "$folder/retired"
check "every file of $version is installed" diff -r -x Uninstall.exe "$built/stage/Plendrik" "$folder"
check "with its uninstaller" test -f "$folder/Uninstall.exe"
check "Start-menu shortcut starts the installed program" windows_shortcut_names_exe
check "installed-apps list shows $version" test "$(windows_listed_version)" == "$version"
check "uninstaller runs silently" windows_uninstall
left=$(windows_leftovers)
check "uninstall leaves nothing behind${left:+:$'\n'$left}" test -z "$left"
finish
