#!/usr/bin/env bash
# Cross-builds FreeImage.dll (3.18) for 32-bit Windows hosts from Debian's
# source packages with Debian's MinGW-w64, and prints the directory that
# holds it. libjpeg-turbo (with its SIMD code), libpng and libtiff are built
# from their Debian sources and zlib comes from libz-mingw-w64-dev, all
# linked in statically, so that the DLL imports only system modules.
#
# The result is kept under ~/.cache/quorvane/freeimage-win32/, keyed by the
# source versions, the compiler and this build's own files; a later run with
# the same key only prints the directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVANE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
jobs=${QUORVANE_FREEIMAGE_JOBS:-2}
mingw=i686-w64-mingw32
toolchain=$root/cmake/toolchain-i686-mingw.cmake

src=()
versions=""
for package in freeimage libjpeg-turbo libpng1.6 tiff imath; do
  dir=$("$root/scripts/fetch-debian-source.sh" "$package" "$cache/src")
  src+=("$dir")
  versions+="$package $(dpkg-parsechangelog -l "$dir/debian/changelog" -S Version)"$'\n'
done
freeimage_src=${src[0]} jpeg_src=${src[1]} png_src=${src[2]} tiff_src=${src[3]} imath_src=${src[4]}
versions+="libz-mingw-w64-dev $(dpkg-query -W -f '${Version}' libz-mingw-w64-dev)"$'\n'
versions+="$($mingw-gcc-posix --version | head -n 1)"$'\n'
key=$( { printf '%s' "$versions"; cat "$0" "$toolchain" "$root"/cmake/freeimage-win32/*; } | sha256sum | cut -c1-16)
out=$cache/freeimage-win32/$key
if [ -f "$out/FreeImage.dll" ]; then
  echo "$out"
  exit 0
fi

mkdir -p "$cache/freeimage-win32"
work=$(mktemp -d "$cache/freeimage-win32/build.XXXXXX")
# Kept when the build fails, for its logs.
trap 'status=$?; [ "$status" -ne 0 ] && echo "$0: failed; see $work" >&2 || rm -rf "$work"' EXIT
started=$(date +%s)

# The image libraries: static, Release, nothing but the library itself. The
# toolchain's emulator is switched off, so that no configure check starts Wine.
configure() {
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$work/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQUORVANE_WINE=QUORVANE_WINE-NOTFOUND -DCMAKE_BUILD_TYPE=Release "$@" > "$work/$name.log" 2>&1 ||
    { cat "$work/$name.log" >&2; exit 1; }
}
zlib_include=/usr/$mingw/include
zlib_library=/usr/$mingw/lib/libz.a

configure jpeg "$jpeg_src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm \
  -DCMAKE_INSTALL_PREFIX="$work/unused-prefix"
cmake --build "$work/jpeg" --target jpeg-static -j "$jobs" > /dev/null

configure png "$png_src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_INCLUDE_DIR="$zlib_include" -DZLIB_LIBRARY="$zlib_library"
cmake --build "$work/png" --target png_static -j "$jobs" > /dev/null

configure tiff "$tiff_src" -DBUILD_SHARED_LIBS=OFF -Dcxx=OFF -Djpeg=ON -Dzlib=ON -Dpixarlog=ON \
  -Dold-jpeg=ON -Djbig=OFF -Dlerc=OFF -Dlibdeflate=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
  -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
  -DJPEG_INCLUDE_DIR="$jpeg_src;$work/jpeg" -DJPEG_LIBRARY="$work/jpeg/libjpeg.a" \
  -DZLIB_INCLUDE_DIR="$zlib_include" -DZLIB_LIBRARY="$zlib_library"
cmake --build "$work/tiff" --target tiff -j "$jobs" > /dev/null

# Imath is used for its half-float header only, which needs its configured
# ImathConfig.h.
configure imath "$imath_src" -DBUILD_TESTING=OFF -DPYTHON=OFF

# FreeImage.h declares the functions dllexport when FreeImage itself is
# built; the export table comes from a definition file instead (decorated
# names), so the declaration is emptied. Source/CacheFile.h and others
# include "FreeImage.h" from beside them, so the header is changed in a copy
# of the tree rather than shadowed.
cp -a "$freeimage_src" "$work/freeimage-src"
header=$work/freeimage-src/Source/FreeImage.h
sed -i 's/#define DLL_API __declspec(dllexport)/#define DLL_API/' "$header"
grep -q '^[[:space:]]*#define DLL_API$' "$header" || { echo "$0: FreeImage.h has no export line to patch" >&2; exit 1; }

png_library=$(find "$work/png" -maxdepth 1 -name 'libpng*.a' | head -n 1)
configure freeimage "$root/cmake/freeimage-win32" -DFREEIMAGE_SOURCE_DIR="$work/freeimage-src" \
  -DIMATH_INCLUDE_DIRS="$imath_src/src/Imath;$work/imath/config;$imath_src/src" \
  -DJPEG_INCLUDE_DIRS="$jpeg_src;$work/jpeg" -DJPEG_LIBRARY="$work/jpeg/libjpeg.a" \
  -DPNG_INCLUDE_DIRS="$png_src;$work/png" -DPNG_LIBRARY="$png_library" \
  -DTIFF_INCLUDE_DIRS="$tiff_src/libtiff;$work/tiff/libtiff" -DTIFF_LIBRARY="$work/tiff/libtiff/libtiff.a" \
  -DZLIB_LIBRARY="$zlib_library"
cmake --build "$work/freeimage" --target FreeImage -j "$jobs" > "$work/freeimage-build.log" 2>&1 ||
  { tail -n 60 "$work/freeimage-build.log" >&2; exit 1; }

mkdir -p "$out.tmp"
cp "$work/freeimage/FreeImage.dll" "$work/freeimage/FreeImage-exports.def" "$out.tmp/"
printf '%s' "$versions" > "$out.tmp/versions.txt"
rm -rf "$out"
mv "$out.tmp" "$out"
echo "build-freeimage-win32: built in $(( $(date +%s) - started )) s" >&2
echo "$out"
