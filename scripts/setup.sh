#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Safe to run more than once: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libfreeimage-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libgtest-dev libbenchmark-dev
  libgif-dev giflib-tools imagemagick libtiff-tools
  libqhull-dev
  libopencv-dev
  clang libclang-rt-14-dev
)

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
echo "setup: installing ${missing[*]}"
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
