#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (run as root):
#   ./build.sh run    install what is missing, build, start the program
#   ./build.sh test   install what is missing, build, run every test, then
#                     build again with address/undefined sanitizers and rerun,
#                     then fuzz (fuzz/) for about a minute and a half
#   ./build.sh bench  build optimised and run the benchmarks
#   ./build.sh package  build the Debian package in build/deb/ and print its path
set -euo pipefail
cd "$(dirname "$0")"

build_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libcups2-dev libxcb-xkb-dev libgtest-dev googletest
                fonts-dejavu-core fonts-noto-cjk fonts-symbola fonts-noto-core librsvg2-bin)
# dpkg-shlibdeps (dpkg-dev) works out the package's Depends; the rest check the package.
package_packages=(dpkg-dev lintian desktop-file-utils appstream file)
test_packages=(xvfb xauth openbox xdotool x11-utils imagemagick cups cups-client poppler-utils
               "${package_packages[@]}"
               clang libclang-rt-14-dev libpoppler-cpp-dev pkg-config) # the fuzz run
bench_packages=(libbenchmark-dev libxcb1-dev libxcb-damage0-dev xvfb)

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
*)
    echo "usage: $0 run|test|bench|package" >&2
    exit 2
    ;;
esac
