#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (run as root):
#   ./build.sh run    install what is missing, build, start the program
#   ./build.sh test   install what is missing, build, run every test, then
#                     build again with address/undefined sanitizers and rerun,
#                     then fuzz (fuzz/) for about a minute and a half
#   ./build.sh bench  build optimised and run the benchmarks
#   ./build.sh package  build the Debian package in build/deb/ and print its path
#   ./build.sh windows  cross-build for 64-bit Windows (Qt for Windows is built
#                     once from Debian's qt6-base source and cached in
#                     ~/.cache/plendrik), and write the installer and the zip
#                     to build-windows/packaging/windows/; with
#                     PLENDRIK_SIGN_PKCS12 and PLENDRIK_SIGN_PASSWORD (and
#                     PLENDRIK_SIGN_TIMESTAMP) set, signed (see the README)
set -euo pipefail
# The certificate may be named from where the script is run.
if [[ -n ${PLENDRIK_SIGN_PKCS12-} ]]; then
    PLENDRIK_SIGN_PKCS12=$(realpath -- "$PLENDRIK_SIGN_PKCS12")
    export PLENDRIK_SIGN_PKCS12
fi
cd "$(dirname "$0")"

build_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libcups2-dev libxcb-xkb-dev libgtest-dev googletest
                fonts-dejavu-core fonts-noto-cjk fonts-symbola fonts-noto-core librsvg2-bin python3-fonttools)
# dpkg-shlibdeps (dpkg-dev) works out the package's Depends; the rest check the package.
package_packages=(dpkg-dev lintian desktop-file-utils appstream file)
test_packages=(xvfb xauth openbox xdotool xclip x11-utils imagemagick cups cups-client cups-ipp-utils poppler-utils fonts-wine
               "${package_packages[@]}"
               clang libclang-rt-14-dev libpoppler-cpp-dev pkg-config) # the fuzz run
bench_packages=(libbenchmark-dev libxcb1-dev libxcb-damage0-dev xvfb)
# Qt's sources come unpacked by dpkg-source (dpkg-dev); the installer is NSIS;
# osslsigncode signs, given a certificate.
windows_packages=(g++-mingw-w64-x86-64-posix dpkg-dev nsis fonts-dejavu-core fonts-noto-core python3-fonttools librsvg2-bin icoutils osslsigncode)
# The Windows build's tests run under Wine, which prints through CUPS as
# PostScript (ghostscript turns it into PDF to read back); the signing test
# makes its certificate with openssl.
wine_packages=(wine wine64 xvfb xauth openbox xdotool x11-utils cups cups-client ghostscript poppler-utils binutils
               openssl)

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Qt for Windows is built from Debian's own source package, which needs a
# deb-src entry for the same archive as the machine's packages.
enable_debian_sources() {
    apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base' && return
    local list=/etc/apt/sources.list.d/plendrik-deb-src.sources
    echo "Adding Debian's source packages: $list"
    {
        # Each Debian stanza again, for sources.
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null \
            | awk -v RS= -v ORS='\n\n' '/(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ {
                  sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' || true
        # and each one-line Debian entry ("deb [options] URI suite components").
        grep -h '^deb .*debian' /etc/apt/sources.list 2>/dev/null \
            | awk '{ i = ($2 ~ /^\[/) ? 3 : 2; c = ""; for (j = i + 2; j <= NF; j++) c = c " " $j
                     print "Types: deb-src\nURIs: " $i "\nSuites: " $(i + 1) "\nComponents:" c "\n" }' || true
    } >"$list"
    apt-get update -q
}

build_windows() {
    enable_debian_sources
    local qt
    qt=$(packaging/windows/qt.sh)
    cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
          -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/packaging/windows/mingw-w64.cmake"
    cmake --build build-windows
    cmake --build build-windows --target windows_installer
}

build() { # build DIR [cmake options...]
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir"
}

case "${1:-}" in
run)
    install_missing "${build_packages[@]}"
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec build/app/plendrik
    ;;
test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ctest --test-dir build --output-on-failure
    build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPLENDRIK_SANITIZE=ON
    ctest --test-dir build-sanitize --output-on-failure
    # About a minute and a half of fuzzing (fuzz/), built with clang.
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLENDRIK_FUZZ=ON
    cmake --build build-fuzz --target survey_fuzz report_fuzz
    ctest --test-dir build-fuzz -L fuzz --output-on-failure
    # The Windows build, its unit tests and its installer under Wine.
    install_missing "${windows_packages[@]}" "${wine_packages[@]}"
    build_windows
    ctest --test-dir build-windows --output-on-failure
    ;;
bench)
    install_missing "${build_packages[@]}" "${bench_packages[@]}"
    build build-bench -DCMAKE_BUILD_TYPE=Release -DPLENDRIK_BENCH=ON
    for bench in build-bench/bench/*_bench; do "$bench"; done
    ;;
package)
    install_missing "${build_packages[@]}" "${package_packages[@]}"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build --target plendrik packaging_files
    rm -f build/deb/*.deb
    cpack --config build/CPackConfig.cmake -B build/deb
    ls "$PWD"/build/deb/plendrik_*.deb
    ;;
windows)
    install_missing "${build_packages[@]}" "${windows_packages[@]}"
    build_windows
    ls "$PWD"/build-windows/packaging/windows/plendrik-*-setup.exe "$PWD"/build-windows/packaging/windows/plendrik-*.zip
    ;;
*)
    echo "usage: $0 run|test|bench|package|windows" >&2
    exit 2
    ;;
esac
