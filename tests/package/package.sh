#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it the way a user
# meets it: control fields, file list, lintian; then installs it with apt and
# starts the installed program from its desktop entry's Exec line on a private
# X display, until the main window shows.
#   package.sh BUILD_DIR VERSION
# Installing needs root (CI runs as root on a throwaway machine); as another
# user the script stops before that and exits 77 (skipped). The package is
# removed again at the end, unless it was installed before the test began.
set -euo pipefail

build=${1:?usage: package.sh BUILD_DIR VERSION}
version=${2:?usage: package.sh BUILD_DIR VERSION}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../harness/xsession.sh
source "$here/../harness/xsession.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-package.XXXXXX")
chmod 755 "$work" # apt reads the .deb from here as its own user
app_pid=
installed_here=

stop_all() {
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    xsession_stop
    if [[ -n $installed_here ]]; then
        dpkg -r plendrik >"$work/remove.log" 2>&1 || { echo "removing plendrik failed:" >&2; cat "$work/remove.log" >&2; }
    fi
    rm -rf "$work"
}
trap stop_all EXIT

# shellcheck source=../harness/checks.sh
source "$here/../harness/checks.sh"

# --- build -------------------------------------------------------------------

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
fi
debs=("$work"/out/plendrik_*.deb)
need "cpack made one package" test ${#debs[@]} -eq 1 -a -f "${debs[0]}"
deb=${debs[0]}

# --- control fields ------------------------------------------------------------

field() { dpkg-deb -f "$deb" "$1"; }
check "Package is plendrik" test "$(field Package)" = plendrik
check "Version is $version" test "$(field Version)" = "$version"
check "Architecture is this machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
for name in Section Priority Maintainer; do
    check "$name is set" test -n "$(field "$name")"
done
check "Description has a synopsis and an extended text" test "$(field Description | wc -l)" -ge 3

# Package names only, versions and alternatives dropped.
depends=" $(field Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/[[:space:]]//g' | tr '\n' ' ') "
# libqt6widgets6 and libcups2 can only be there if dpkg-shlibdeps read the binary.
for dependency in libqt6widgets6 libcups2 qt6-qpa-plugins fonts-dejavu-core fonts-noto-cjk fonts-symbola fonts-noto-core; do
    check "depends on $dependency" test "${depends/ $dependency /}" != "$depends"
done

# --- file list -------------------------------------------------------------------

dpkg-deb -c "$deb" >"$work/contents"
has_file() { # MODE PATH
    awk -v mode="$1" -v path="./$2" '$1 == mode && $6 == path { found = 1 } END { exit !found }' "$work/contents"
}
while read -r mode path; do
    check "$mode $path" has_file "$mode" "$path"
done <<'EOF'
-rwxr-xr-x usr/bin/plendrik
-rw-r--r-- usr/share/applications/plendrik.desktop
-rw-r--r-- usr/share/icons/hicolor/scalable/apps/plendrik.svg
-rw-r--r-- usr/share/icons/hicolor/48x48/apps/plendrik.png
-rw-r--r-- usr/share/icons/hicolor/256x256/apps/plendrik.png
-rw-r--r-- usr/share/metainfo/org.example.plendrik.metainfo.xml
-rw-r--r-- usr/share/man/man1/plendrik.1.gz
-rw-r--r-- usr/share/doc/plendrik/copyright
-rw-r--r-- usr/share/doc/plendrik/changelog.gz
EOF
check "every entry belongs to root:root" awk '$2 != "root/root" { exit 1 }' "$work/contents"
check "directories are 0755" awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { exit 1 }' "$work/contents"

dpkg-deb -x "$deb" "$work/root"
r=$work/root/usr
quietly() { local out; out=$("$@" 2>&1) && return 0; echo "$out"; return 1; }
check "desktop entry is valid" quietly desktop-file-validate "$r/share/applications/plendrik.desktop"
check "AppStream data is valid" quietly appstreamcli validate --no-net "$r/share/metainfo/org.example.plendrik.metainfo.xml"
png_is() { file -b "$1" | grep -q "^PNG image data, $2 x $2,"; }
check "48 px icon is 48 x 48" png_is "$r/share/icons/hicolor/48x48/apps/plendrik.png" 48
check "256 px icon is 256 x 256" png_is "$r/share/icons/hicolor/256x256/apps/plendrik.png" 256
check "program is stripped" sh -c "file -b '$r/bin/plendrik' | grep -q ', stripped'"

# --- lintian -------------------------------------------------------------------

lintian_clean() {
    lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 && return 0
    grep -v 'root privileges' "$work/lintian.log"
    return 1
}
check "lintian finds no error or warning" lintian_clean

# --- installed -------------------------------------------------------------------

if ((EUID != 0)); then
    echo "not root: not installing the package"
    ((failed > 0)) && finish
    echo "$passed passed, 0 failed, install skipped"
    exit 77
fi

if ! dpkg-query -W -f='${Status}' plendrik 2>/dev/null | grep -q 'install ok installed'; then
    installed_here=yes
fi
installs() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall -o DPkg::Lock::Timeout=300 "$deb" \
        >"$work/install.log" 2>&1 && return 0
    cat "$work/install.log"
    return 1
}
need "apt-get installs the package" installs
check "installed version is $version" test "$(dpkg-query -W -f='${Version}' plendrik)" = "$version"

entry=/usr/share/applications/plendrik.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry" | head -n 1)
exec_line=${exec_line//%[fFuUdDnNickvm]/}
read -ra command <<<"$exec_line"
# Only the system's folders on PATH, so an earlier `cmake --install` into
# /usr/local cannot stand in for the package.
system_path=/usr/sbin:/usr/bin:/sbin:/bin
need "Exec line names the packaged program" \
    test "$(PATH=$system_path command -v "${command[0]}")" = /usr/bin/plendrik

need "X display starts" xsession_start
mkdir -p "$work/home"
env -i PATH="$system_path" HOME="$work/home" DISPLAY="$DISPLAY" LANG=C.UTF-8 "${command[@]}" \
    >"$work/app.log" 2>&1 &
app_pid=$!

main_window_shown() {
    local i
    for ((i = 0; i < 300; i++)); do
        xdotool search --onlyvisible --name '^Plendrik$' >/dev/null 2>&1 && return 0
        kill -0 "$app_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
if main_window_shown; then
    ok "installed program shows its main window"
else
    bad "installed program shows its main window"
    cat "$work/app.log"
fi
finish
