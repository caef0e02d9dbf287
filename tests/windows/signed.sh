#!/usr/bin/env bash
# Signing as an office with its own certificate does it: a throwaway CA and
# a code-signing certificate it issued, the setup and the zip built with
# them in a build folder of their own, and every signature checked against
# that CA: the setup's, and those of each program and DLL in the zip and in
# the folder the setup installs under Wine, the uninstaller among them.
# Without a timestamp: no timestamp server can be reached here.
#   signed.sh SOURCE_DIR VERSION CMAKE_OPTIONS...
set -euo pipefail
source_dir=$1 version=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=installed.sh
source "$here/installed.sh"
# shellcheck source=../harness/checks.sh
source "$here/../harness/checks.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-signed.XXXXXX")
trap 'wine_session_stop; rm -rf "$work" "${WINE_SNAPSHOT_DIR-}"' EXIT

export PLENDRIK_SIGN_PKCS12=$work/office.p12 PLENDRIK_SIGN_PASSWORD='throwaway "pass" word'
unset PLENDRIK_SIGN_TIMESTAMP
certificate() (
    cd "$work"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Plendrik test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign &&
        openssl req -newkey rsa:2048 -nodes -keyout office.key -out office.csr -subj "/CN=Plendrik test office" &&
        openssl x509 -req -in office.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 -out office.pem \
            -extfile <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n') &&
        openssl pkcs12 -export -inkey office.key -in office.pem -certfile ca.pem -out office.p12 \
            -passout env:PLENDRIK_SIGN_PASSWORD
) >"$work/certificate.log" 2>&1
build() {
    { cmake -S "$source_dir" -B "$work/build" "$@" && cmake --build "$work/build" --target windows_installer; } \
        >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log"; return 1; }
}
need "a throwaway CA and a code-signing certificate from it are made" certificate
need "the setup and the zip build, signed with it" build "$@"

signed() {
    osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >"$work/verify.log" 2>&1 || { cat "$work/verify.log"; return 1; }
}
# Each program and DLL in FOLDER is signed, plendrik.exe among them.
all_signed() {
    local folder=$1 what=$2 file
    check "$what: plendrik.exe is there" test -f "$folder/plendrik.exe"
    while IFS= read -r -d '' file; do
        check "$what: ${file#"$folder"/} is signed" signed "$file"
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
}
out=$work/build/packaging/windows
check "the setup is signed" signed "$out/plendrik-$version-setup.exe"
sums_match() (cd "$out" && sha256sum --quiet -c ./*.sha256)
check "the sums are those of the signed setup and zip" sums_match
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$out/plendrik-$version-windows-x64.zip")
all_signed "$work/zip/Plendrik" zip

need "Wine starts on a private X display" wine_session_start
need "the signed setup installs silently" windows_install "$out/plendrik-$version-setup.exe"
check "installed: the uninstaller is there" test -f "$(dirname "$INSTALLED_EXE")/Uninstall.exe"
all_signed "$(dirname "$INSTALLED_EXE")" installed
check "the signed uninstaller runs silently" windows_uninstall
finish
