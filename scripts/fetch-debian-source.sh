#!/usr/bin/env bash
# Unpacks Debian's source package PACKAGE into DEST (e.g. ~/.cache/quorvane/src)
# and prints the unpacked directory. Safe to run again: an unpacked tree that is
# already there is reused without touching the network.
#
# Source entries are added in a file of our own beside the machine's binary
# entries, with the same archives, suites, components and keyring.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 PACKAGE DEST" >&2
  exit 2
fi
package=$1
dest=$2
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

existing() {
  find "$dest" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | sort | tail -n 1
}

dir=$(existing)
if [ -n "$dir" ] && [ -f "$dir/debian/control" ]; then
  echo "$dir"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

binary_sources=/etc/apt/sources.list.d/debian.sources
src_sources=/etc/apt/sources.list.d/quorvane-src.sources
if [ ! -f "$src_sources" ]; then
  if [ -f "$binary_sources" ]; then
    sed -e 's/^Types:.*/Types: deb-src/' "$binary_sources" | $sudo tee "$src_sources" > /dev/null
  else
    # A machine still configured by the one-line format.
    $sudo tee "$src_sources" > /dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  $sudo apt-get update -q >&2
fi

command -v dpkg-source > /dev/null || {
  echo "$0: dpkg-source is missing (install dpkg-dev)" >&2
  exit 1
}

# A partly unpacked tree from an interrupted run is removed first.
find "$dest" -mindepth 1 -maxdepth 1 -name "$package-*" -exec rm -rf {} +
if ! (cd "$dest" && apt-get source -q "$package" >&2); then
  $sudo apt-get update -q >&2
  (cd "$dest" && apt-get source -q "$package" >&2)
fi

dir=$(existing)
[ -n "$dir" ] || { echo "$0: no unpacked $package source in $dest" >&2; exit 1; }
echo "$dir"
