#!/usr/bin/env bash
# The Windows build as a user gets it: installed by its setup, silently, into
# a fresh Wine prefix, started from its Start-menu shortcut's target, and
# uninstalled again. Source it (it brings tests/windows/wine-session.sh), then:
#   windows_install SETUP.exe    snapshot the prefix, install with /S; sets
#                                INSTALLED_EXE (a Unix path) and SHORTCUT
#   windows_shortcut_names_exe   the shortcut's target is the installed program
#   windows_listed               the installed-apps list has the entry
#   windows_listed_version       prints the version that entry shows
#   windows_uninstall            the uninstaller, silently, to its end
#   windows_leftovers            prints whatever the install left behind (files
#                                or registry keys); empty output is clean
here_installed=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-session.sh
source "$here_installed/wine-session.sh"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Plendrik'

# Every file of the prefix a program could have left. (The user's Documents
# are a link out of the prefix, to HOME: saved reports stay theirs. Wine
# sets its printers up under spool/ as a program first prints.)
prefix_files() {
    (cd "$WINEPREFIX/drive_c" && find . -mindepth 1 -not -path './windows/system32/spool/*' | sort)
}
prefix_registry() {
    local hive
    for hive in HKCU HKLM; do
        wine reg export "$hive" "$WINE_SNAPSHOT_DIR/$hive.reg" /y >/dev/null 2>&1 || true
        # reg writes UTF-16; only key names are compared.
        iconv -f UTF-16LE -t UTF-8 "$WINE_SNAPSHOT_DIR/$hive.reg" 2>/dev/null | tr -d '\r' | grep '^\[' || true
    done | sort
}

windows_install() {
    local setup=$1 user
    WINE_SNAPSHOT_DIR=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-snapshot.XXXXXX")
    prefix_files >"$WINE_SNAPSHOT_DIR/files.before"
    prefix_registry >"$WINE_SNAPSHOT_DIR/registry.before"
    wine "$setup" /S || return 1
    wineserver --wait
    user=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -not -name Public -printf '%f\n' | head -n 1)
    INSTALLED_EXE="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Plendrik/plendrik.exe"
    SHORTCUT="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Plendrik.lnk"
    export INSTALLED_EXE SHORTCUT WINE_SNAPSHOT_DIR
    [[ -f $INSTALLED_EXE ]]
}

windows_shortcut_names_exe() {
    [[ -f $SHORTCUT ]] && strings -e l "$SHORTCUT" | grep -qi 'Programs\\Plendrik\\plendrik\.exe'
}

windows_listed() {
    wine reg query "$uninstall_key" /v UninstallString 2>/dev/null | grep -qi 'Uninstall\.exe'
}

windows_listed_version() {
    wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | tr -d '\r' | awk '$1 == "DisplayVersion" { print $3 }'
}

windows_uninstall() {
    wine "$(dirname "$INSTALLED_EXE")/Uninstall.exe" /S || return 1
    # The uninstaller goes on from a copy of itself; wait for every Windows
    # process of the prefix to end.
    wineserver --wait
}

windows_leftovers() {
    diff <(cat "$WINE_SNAPSHOT_DIR/files.before") <(prefix_files) | grep '^>' || true
    # (The test queue is named without the program's name, for this.)
    diff <(cat "$WINE_SNAPSHOT_DIR/registry.before") <(prefix_registry) | grep '^>' | grep -i plendrik || true
}
