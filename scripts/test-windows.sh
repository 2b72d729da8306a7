#!/usr/bin/env bash
# Builds Quorvane.dll for 32-bit Windows (cmake --preset win32) and runs the
# Windows tests: the export table read from the file, and a Windows host
# program under Wine compared with the portable build (build/tests/
# test_windows_dll, built by scripts/test.sh). Wine's 32-bit programs run
# natively where the kernel runs 32-bit code, otherwise through qemu-i386.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf build-win32
cmake --preset win32 > /dev/null
cmake --build --preset win32 -j "$(nproc)"
echo "test-windows: built build-win32/Quorvane.dll"

portable_test=${QUORVANE_PORTABLE_TEST:-build/tests/test_windows_dll}
if [ ! -x "$portable_test" ]; then
  echo "test-windows: $portable_test is missing (run scripts/test.sh first)" >&2
  exit 1
fi

# A 32-bit FreeImage.dll for the image calls, built once per machine.
QUORVANE_FREEIMAGE_DIR=$(./scripts/build-freeimage-win32.sh)
export QUORVANE_FREEIMAGE_DIR
echo "test-windows: FreeImage.dll from $QUORVANE_FREEIMAGE_DIR"

# The export and import tables need no Windows to check.
QUORVANE_WIN32_DIR=build-win32 "$portable_test" --gtest_filter='WindowsDllFile.*:FreeImageDllFile.*'

if ! ./scripts/enable-i386.sh; then
  echo "test-windows: this machine cannot run 32-bit programs; the Wine tests are not run"
  exit 0
fi
if ! command -v wine > /dev/null || ! command -v Xvfb > /dev/null; then
  echo "test-windows: wine or Xvfb is not installed; the Wine tests are not run"
  exit 0
fi

# A Wine prefix of the project's own, kept between runs: making one takes
# minutes when the 32-bit code is emulated.
export WINEPREFIX="${QUORVANE_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Under qemu-i386 Wine needs the address-space top of a 32-bit kernel.
export QEMU_RESERVED_VA=0xc0000000
mkdir -p "$(dirname "$WINEPREFIX")"

# The compression dialog needs a display. Xvfb picks a free one itself and
# names it once it listens.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$display_file" > /dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  wineserver -k > /dev/null 2>&1 || true
  kill "$xvfb_pid" > /dev/null 2>&1 || true
  rm -f "$display_file"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
if [ ! -s "$display_file" ]; then
  echo "test-windows: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$display_file")"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: making the Wine prefix $WINEPREFIX (once)"
  timeout 1800 wineboot -i < /dev/null > /dev/null 2>&1
  wineserver -k > /dev/null 2>&1 || true
fi
run_wine_tests() {
  # One Wine server for the whole run keeps its service processes alive
  # between the programs that it starts.
  wineserver -p || true
  kill -0 "$xvfb_pid" 2> /dev/null || { echo "test-windows: Xvfb has gone" >&2; return 1; }
  QUORVANE_WIN32_DIR=build-win32 "$portable_test" --gtest_filter='WindowsDll.*' || return 1
  # GIF and still exports with the 32-bit FreeImage.dll built above beside
  # the host, compared with the portable build's files.
  QUORVANE_WIN32_DIR=build-win32 "$portable_test" --gtest_filter='WindowsDllWithFreeImage.*'
}
# Under emulation a Wine session now and then fails to show the compression
# dialog (the host then sees AVISaveOptions fail at once). A fault of the
# library fails a second session as well.
if ! run_wine_tests; then
  echo "test-windows: the Wine tests failed; running them again in a fresh Wine session"
  wineserver -k > /dev/null 2>&1 || true
  run_wine_tests
fi
echo "test-windows: the Windows library passed under Wine"
