#!/bin/sh
# Builds rtdprog.exe (the window) and rtdprog-cli.exe for 64-bit Windows
# with MinGW-w64 (static .exe files), runs the test suite under Wine (the
# window's tests on a virtual X display), packs
# dist/rtdprog-windows-x86_64.zip (rtdprog.exe, rtdprog-cli.exe, jedec.ini,
# README.txt, README.ru.txt) and makes the installer
# dist/rtdprog-VERSION-x64.msi, which it then tests under Wine
# (tests/install/windows_installer.sh).
# Usage: scripts/build-windows.sh [--no-tests]
# RTD_WERROR=ON in the environment makes warnings errors (CI sets it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-windows"

launcher=""
# Paths relative to the checkout, so that every clone shares the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# -O2: MinGW's GCC 12 reports false string overlaps at -O3, and warnings are errors.
cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DCMAKE_EXE_LINKER_FLAGS_RELEASE="-s" -DRTD_WERROR="${RTD_WERROR:-OFF}" \
      $launcher >/dev/null
cmake --build "$build"

if [ "${1:-}" != "--no-tests" ]; then
    # Wine keeps its Windows (the prefix) in the build tree; made at the first
    # run, without asking for the .NET and HTML add-ons.
    export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Made before the tests start, or the parallel runs would each begin it.
    wine=$(sed -n 's/^RTD_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
    "$wine" wineboot --init 2>/dev/null
    (cd "$build" && ctest --output-on-failure -j"$(nproc)")
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    [ -x "$wineserver" ] && "$wineserver" -w || true
fi

stage="$build/package"
rm -rf "$stage"
mkdir -p "$stage" "$root/dist"
cp "$build/bin/rtdprog.exe" "$build/bin/rtdprog-cli.exe" "$build/bin/jedec.ini" "$stage/"
# Notepad of old Windows shows a file with bare LF line ends as one line.
for guide in README.txt README.ru.txt installed.txt; do
    sed 's/$/\r/' "$root/packaging/windows/$guide" > "$stage/$guide"
done
rm -f "$root/dist/rtdprog-windows-x86_64.zip"
(cd "$stage" && cmake -E tar cf "$root/dist/rtdprog-windows-x86_64.zip" --format=zip \
    rtdprog.exe rtdprog-cli.exe jedec.ini README.txt README.ru.txt)
echo "dist/rtdprog-windows-x86_64.zip"

# The installer holds the zip's files and installed.txt, which tells the
# programs to keep the user's files in the user's profile.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi="$root/dist/rtdprog-$version-x64.msi"
rm -f "$root"/dist/rtdprog-*-x64.msi
"$root/packaging/windows/make-msi.sh" "$stage" "$version" "$msi"
if [ "${1:-}" != "--no-tests" ]; then
    "$root/tests/install/windows_installer.sh" "$build" "$msi"
fi
echo "dist/rtdprog-$version-x64.msi"
