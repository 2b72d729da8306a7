#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Safe to run more than once: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  # Compiled objects kept between test runs (scripts/test.sh).
  ccache
  libfreeimage-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libgtest-dev libbenchmark-dev
  libgif-dev giflib-tools imagemagick libtiff-tools
  libqhull-dev
  libopencv-dev
  clang libclang-rt-14-dev
  # The editor: its HTTP server and JSON, face landmarks (dlib and its
  # 68-point model), and the browser its tests drive.
  libcpp-httplib-dev nlohmann-json3-dev libdlib-dev libdlib-data
  chromium
  # The Python package and distributed rendering, and face photographs for tests.
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest
  python3-dask python3-distributed python3-pil python3-skimage
  # pip install . with no package index (setup.py on Debian's setuptools).
  python3-venv python3-pip python3-setuptools python3-wheel
  # The Python package's benchmark peer (OpenCV's warpAffine from Python).
  python3-opencv
  # Output checks with an independent demuxer, and WebP tools.
  gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-libav webp
  # The command's animated WebP loop count (libwebpmux).
  libwebp-dev
  # Cross-building FreeImage for the Windows tests from Debian's sources.
  dpkg-dev nasm libz-mingw-w64-dev
  # The command keeps the messages of the libtiff that FreeImage reads with.
  libtiff-dev
  # The 32-bit Windows library and its tests: MinGW-w64, Wine (32-bit, so
  # the i386 architecture is added), a virtual display for the compression
  # dialog, and qemu-i386 for machines that cannot run 32-bit code.
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 xvfb qemu-user
)

# Node.js with npm comes with the machine (the browser tests need only
# node and npm); Debian's npm package conflicts with that build, so Debian's
# nodejs and npm are installed only where no node is present.
command -v node > /dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
fi
echo "setup: installing ${missing[*]}"
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
