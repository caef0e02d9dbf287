#!/usr/bin/env bash
# The setup as an office signs it, run over an older version, under Wine.
# A throwaway CA's certificate signs a build of its own (no timestamp: no
# server answers here). An older setup, 0.9 with a file of its own, made
# from the same script, is installed first: its program uses the common
# controls of its manifest and no plugin from beside its folder, and the
# setup refuses while it runs. Then the setup replaces it; each program and
# DLL is signed, and uninstalling leaves nothing.
#   signed-upgrade.sh SOURCE_DIR VERSION CMAKE_OPTIONS... -- MAKENSIS [OPTIONS...]
set -euo pipefail
source_dir=$1 version=$2 cmake_options=()
shift 2
while [[ $1 != -- ]]; do cmake_options+=("$1") && shift; done
shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/installed.sh"
source "$here/../harness/checks.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-upgrade.XXXXXX")
trap 'wine_session_stop; rm -rf "$work" "${WINE_SNAPSHOT_DIR-}"' EXIT
cd "$work"

export PLENDRIK_SIGN_PKCS12=$work/office.p12 PLENDRIK_SIGN_PASSWORD='throwaway "pass" word'
unset PLENDRIK_SIGN_TIMESTAMP
signed_build() {
    {
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -subj /CN=CA &&
            openssl req -newkey rsa:2048 -nodes -keyout office.key -subj /CN=Office |
            openssl x509 -req -CA ca.pem -CAkey ca.key -out office.pem -extfile <(echo extendedKeyUsage=codeSigning) &&
            openssl pkcs12 -export -inkey office.key -in office.pem -out office.p12 -passout env:PLENDRIK_SIGN_PASSWORD &&
            cmake -S "$source_dir" -B build "${cmake_options[@]}" && cmake --build build --target windows_installer
    } >build.log 2>&1 || { tail -n 20 build.log && false; }
}
need "signed with a throwaway CA's certificate, the setup and the zip build" signed_build
built=build/packaging/windows setup=build/packaging/windows/plendrik-$version-setup.exe

mkdir older && echo "Only 0.9 has this file." >retired.txt
{ cat $built/install-files.nsh && printf 'SetOutPath "$INSTDIR\\retired"\nFile retired.txt\n'; } >older/install-files.nsh
{ printf 'Delete "$INSTDIR\\retired\\retired.txt"\nRMDir "$INSTDIR\\retired"\n' && cat $built/uninstall-files.nsh; } \
    >older/uninstall-files.nsh
need "an older setup, 0.9, is built" "$@" '-X!pragma warning disable 8020' '-XSetCompressor /FINAL zlib' \
    -DVERSION=0.9 -DVERSION4=0.9.0.0 -DFILES="$work/older" -DOUTFILE=older.exe "$here/../../packaging/windows/plendrik.nsi"
need "Wine starts on a private X display" wine_session_start
need "0.9 installs" windows_install older.exe
folder=$(dirname "$INSTALLED_EXE")

# A toolkit beside the folder, as another program could leave it there.
mkdir -p "$folder/../lib" "$folder/../plugins/platforms"
: >"$folder/../lib/libQt6Core.a"
cp "$folder/platforms/qwindows.dll" "$folder/../plugins/platforms/"
WINEDEBUG=+loaddll wine "$INSTALLED_EXE" >program.log 2>&1 &
need "the installed program starts" wait_window '^Plendrik$' 30
loaded=$(grep -o 'Loaded L"[^"]*' program.log | cut -d'"' -f2 | sed 's/.*\\\\Programs\\\\//; s/\\\\/\//g')
check "it uses the common controls 6 of its manifest" grep -q 'winsxs/[^/]*common-controls[^/]*/comctl32.dll$' <<<"$loaded"
own_plugins() { grep -qx Plendrik/platforms/qwindows.dll <<<"$loaded" && ! grep -v -e ^Plendrik/ -e ^C: <<<"$loaded"; }
check "it loads its own platform plugin, and nothing from beside its folder" own_plugins
rm -r "$folder/../lib" "$folder/../plugins"
refused() { ! wine "$setup" /S && [[ -f $folder/retired/retired.txt && $(windows_listed_version) == 0.9 ]]; }
check "while it runs, the setup refuses and changes nothing" refused
wineserver --kill

need "the setup installs over 0.9" wine "$setup" /S
wineserver --wait # and for the tidying up that the older uninstaller left running
check "0.9's own file is gone, and its folder" test ! -e "$folder/retired"
installed_all() { diff -r -x Uninstall.exe $built/stage/Plendrik "$folder" && [[ -f $folder/Uninstall.exe ]]; }
check "every file of $version is installed, with its uninstaller" installed_all
check "installed-apps list shows $version" test "$(windows_listed_version)" == "$version"

mkdir zip && (cd zip && cmake -E tar xf "../$built/plendrik-$version-windows-x64.zip")
sums_match() (cd $built && sha256sum --quiet -c ./*.sha256)
check "the sums are those of the signed setup and zip" sums_match
signed() { osslsigncode verify -CAfile ca.pem -in "$1" >verify.log 2>&1 || { cat verify.log && false; }; }
while IFS= read -r -d '' file; do
    check "${file/#"$folder"/installed}: signed" signed "$file"
done < <(find "$setup" zip "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

check "uninstaller runs silently" windows_uninstall
left=$(windows_leftovers)
check "uninstall leaves nothing behind${left:+:$'\n'$left}" test -z "$left"
finish
