#!/usr/bin/env bash
# ./build.sh         installs what is missing, builds dist/Quorbelt.d64 and dist/Quorbelt.d32
# ./build.sh test    the same, then runs every test of both widths under Wine
# ./build.sh bench   the same, then runs the benchmark under 64-bit Wine
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
mode=${1:-build}
case "$mode" in build|test|bench) ;; *) echo "usage: $0 [test|bench]" >&2; exit 2 ;; esac

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

install_missing() {
    local packages=()
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || packages+=(g++-mingw-w64-x86-64)
    command -v i686-w64-mingw32-g++-posix >/dev/null || packages+=(g++-mingw-w64-i686)
    command -v cmake >/dev/null || packages+=(cmake)
    [ -x "$wine64" ] || packages+=(wine wine64)
    [ -x "$wine32" ] || packages+=(wine32:i386)
    [ -x /usr/bin/qemu-i386-static ] || packages+=(qemu-user-static)
    command -v xvfb-run >/dev/null || packages+=(xvfb)
    command -v xauth >/dev/null || packages+=(xauth)
    [ -f /usr/src/googletest/CMakeLists.txt ] || packages+=(googletest)
    [ -f /usr/share/i18n/locales/ru_RU ] || packages+=(locales)
    if [ ${#packages[@]} -gt 0 ]; then
        echo "installing: ${packages[*]}"
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        apt-get update -q
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}"
    fi
    # A second system code page for the text-conversion tests: Wine takes it from LC_CTYPE.
    grep -qix 'ru_RU.utf8' <(locale -a) || localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
}

# Wine's 32-bit loader is an i386 program. A kernel without 32-bit support runs it through qemu.
enable_32bit() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return
    local misc=/proc/sys/fs/binfmt_misc
    [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
    [ -e "$misc/qemu-i386" ] || printf '%s' ':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:OCF' >"$misc/register"
}

build_width() {  # width toolchain target
    local dir=build/$1
    [ -f "$dir/CMakeCache.txt" ] ||
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$2.cmake" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$dir" -j"$(nproc)" --target "$3"
    mkdir -p dist
    cp "$dir/bin/Quorbelt.$1" dist/
}

install_missing
target=quorbelt
[ "$mode" = build ] || target=all
build_width d64 x86_64 "$target"
build_width d32 i686 "$target"
echo "built: dist/Quorbelt.d64 dist/Quorbelt.d32"
[ "$mode" = build ] && exit 0

export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
enable_32bit
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix (once)"
    "$wine64" wineboot -i
    "$wineserver" -w
fi

if [ "$mode" = bench ]; then
    (cd build/d64/bin && "$wine64" quorbelt_bench.exe)
    (cd build/d32/bin && "$wine32" quorbelt_bench.exe)
    exit 0
fi

# Windows need a display; a wineserver started without one would keep failing them.
"$wineserver" -k 2>/dev/null || true
rc=0
xvfb-run -a bash -c '
    rc=0
    ctest --test-dir build/d64 --output-on-failure -j4 --timeout 1200 || rc=1
    ctest --test-dir build/d32 --output-on-failure -j4 --timeout 1200 || rc=1
    /usr/lib/wine/wineserver -w
    exit $rc' || rc=$?
# CTest shows a program's output only when it fails: name the cases that were skipped.
for width in d64 d32; do
    awk -v width="$width" '/: Skipped$/ { where = $0; getline
                                          print "skipped in " width ": " $0 " (" where ")" }' \
        "build/$width/Testing/Temporary/LastTest.log" 2>/dev/null || true
done
exit $rc
