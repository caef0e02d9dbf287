#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source, with the
# mingw-w64 cross compilers, once: the install is cached outside the checkout
# (it records its absolute path) under a key of everything that shapes it.
# Prints the install's path.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${PLENDRIK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/plendrik}

# Only what the program uses: Core, Gui, Widgets, PrintSupport and Test, the
# windows platform plugin and the vista style. Debian's source has no wintab
# or sqlite; without direct2d the DirectWrite font engine is left out and
# nothing links.
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no
    -DFEATURE_vulkan=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF
    -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_pkg_config=OFF -DFEATURE_system_zlib=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d1_1=OFF -DFEATURE_direct2d=ON
    -DFEATURE_testlib=ON -DFEATURE_printsupport=ON
)
source_version=$(apt-cache showsrc qt6-base | sed -n 's/^Version: //p' | sort -V | tail -n 1)
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
mingw=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
key=$(printf '%s\n' "$source_version" "$host_qt" "$mingw" "${options[@]}" | cat - "$here/mingw-w64.cmake" \
      | sha256sum | cut -c1-12)
prefix=$cache/qt-${source_version%%+*}-mingw-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work=$cache/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
(cd "$work" && apt-get source -q qt6-base="$source_version") >&2
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
cmake -S "$src" -B "$work/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      "${options[@]}" >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" >&2
# The licences ship with the program: Qt's own, and those of the libraries
# bundled into the parts built.
mkdir -p "$prefix/licenses/3rdparty"
cp "$src/LICENSES/LGPL-3.0-only.txt" "$src/LICENSES/GPL-3.0-only.txt" "$prefix/licenses/"
for part in harfbuzz-ng pcre2 libpng zlib double-conversion md4c tinycbor easing blake2 sha3 md4 md5 rfc6234 icc; do
    mkdir -p "$prefix/licenses/3rdparty/$part"
    find "$src/src/3rdparty/$part" -maxdepth 1 -type f \( -iname '*licen*' -o -iname 'copying*' \
         -o -name qt_attribution.json \) -exec cp {} "$prefix/licenses/3rdparty/$part/" \;
done
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
