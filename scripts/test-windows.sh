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

# Every Wine session has a time limit, so that a hung wineserver or host
# fails the stage with a message instead of holding CI until its own limit.
session_limit=${QUORVANE_WINE_SESSION_LIMIT:-600}
stop_wineserver() { timeout -k 10 60 wineserver -k > /dev/null 2>&1 || true; }
# Runs a Wine session under the limit; status 124 when it was stopped.
limited() {
  local status=0
  timeout -k 30 "$session_limit" "$@" || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "test-windows: a Wine session did not finish within $session_limit s and was stopped: $*" >&2
    return 124
  fi
  return "$status"
}

# The compression dialog needs a display. Xvfb picks a free one itself and
# names it once it listens.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$display_file" > /dev/null 2>&1 &
xvfb_pid=$!
small_drives=()
cleanup() {
  stop_wineserver
  kill "$xvfb_pid" > /dev/null 2>&1 || true
  rm -f "$display_file"
  for dir in "${small_drives[@]}"; do
    umount "$dir" > /dev/null 2>&1 || true
    rmdir "$dir" > /dev/null 2>&1 || true
  done
  rm -f "$WINEPREFIX/dosdevices/q:" "$WINEPREFIX/dosdevices/r:"
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
  if ! timeout -k 30 1800 wineboot -i < /dev/null > /dev/null 2>&1; then
    echo "test-windows: making the Wine prefix failed or took over 30 minutes" >&2
    exit 1
  fi
  stop_wineserver
fi

# Two drives of the test's own where mounting works (as root): Q: on a
# filesystem of 256 KiB that the test fills up, for the full-disk cases, and
# R: on a read-only one. Elsewhere those cases are skipped with a message.
mount_small_drive() {
  local letter=$1 options=$2 dir
  dir=$(mktemp -d)
  if mount -t tmpfs -o "$options" quorvane-test "$dir" 2> /dev/null; then
    small_drives+=("$dir")
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/$letter"
  else
    rmdir "$dir"
    return 1
  fi
}
if mount_small_drive q: size=256k,mode=0755; then
  export QUORVANE_FULL_DISK_DIR=${small_drives[-1]} QUORVANE_FULL_DISK_DRIVE=Q:
else
  echo "test-windows: cannot mount a small filesystem here (needs root); the full-disk cases are skipped"
fi
if mount_small_drive r: size=16k,ro; then
  export QUORVANE_READONLY_DRIVE=R:
else
  echo "test-windows: cannot mount a read-only filesystem here (needs root); that case is skipped"
fi
run_wine_tests() {
  # One Wine server for the whole run keeps its service processes alive
  # between the programs that it starts.
  timeout -k 10 60 wineserver -p || true
  kill -0 "$xvfb_pid" 2> /dev/null || { echo "test-windows: Xvfb has gone" >&2; return 1; }
  # One host run (one Wine session) serves every suite: the exports without
  # FreeImage.dll, then with the 32-bit one built above (GIF, stills, write
  # failures), the renderer, video, and the second host, a C program.
  QUORVANE_WIN32_DIR=build-win32 limited "$portable_test" \
    --gtest_filter='WindowsDll.*:WindowsDllWithFreeImage.*:WindowsDllFullDisk.*'
}
# Under emulation a Wine session now and then fails to show the compression
# dialog (the host then sees AVISaveOptions fail at once). A fault of the
# library fails a second session as well.
if ! run_wine_tests; then
  echo "test-windows: the Wine tests failed; running them again in a fresh Wine session"
  stop_wineserver
  run_wine_tests
fi
echo "test-windows: the Windows library passed under Wine"
