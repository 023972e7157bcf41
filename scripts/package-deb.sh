#!/bin/sh
# Builds the Debian package dist/rtdprog_VERSION-1_ARCH.deb: a Release build
# with Debian's hardening flags in build-deb/, packed by cpack, checked by
# lintian (no errors allowed; its warnings are shown) and its AppStream file
# by appstreamcli. Prints the package's path. A step that fails shows the
# end of its output.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-deb"
dist="$root/dist"
mkdir -p "$build" "$dist"
log="$build/package-step.log"

step() {  # step WHAT COMMAND...: runs COMMAND quietly; on failure shows its output
    what=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "package-deb.sh: $what failed:" >&2
        tail -n 60 "$log" >&2
        exit 1
    fi
}

cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
step "configuring" cmake -S "$root" -B "$build" -G Ninja $launcher \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DRTD_BENCH=OFF -DRTD_WERROR="${RTD_WERROR:-OFF}" -DRTD_DEB=ON \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
step "building" cmake --build "$build"
rm -f "$build"/rtdprog_*.deb
step "packing" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build"
set -- "$build"/rtdprog_*.deb
[ -f "$1" ] || { echo "package-deb.sh: cpack made no package" >&2; exit 1; }
rm -f "$dist"/rtdprog_*.deb
mv "$1" "$dist/"
deb="$dist/$(basename "$1")"

if ! lintian --fail-on error "$deb" >"$log" 2>&1; then
    echo "package-deb.sh: lintian finds errors in $deb:" >&2
    cat "$log" >&2
    exit 1
fi
# (lintian's note on running as root, as CI does, is left out.)
grep -v 'running with root privileges' "$log" | sed 's/^/lintian: /' || true

unpacked="$build/unpacked"
rm -rf "$unpacked"
dpkg-deb -x "$deb" "$unpacked"
step "validating the AppStream file" \
    appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
echo "$deb"
