#!/usr/bin/env bash
# Makes sure that 32-bit x86 Linux programs (Wine's loader) can run. Where the
# kernel cannot run them itself, registers qemu-i386 as their interpreter
# (binfmt_misc, root only). Exit status 0 when they run.
set -uo pipefail

runs_i386() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version > /dev/null 2>&1; }

runs_i386 && exit 0
[ -x /usr/bin/qemu-i386 ] || exit 1
[ "$(id -u)" -eq 0 ] || exit 1
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2> /dev/null || exit 1
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    > /proc/sys/fs/binfmt_misc/register 2> /dev/null || exit 1
  echo "enable-i386: 32-bit programs now run through qemu-i386"
fi
runs_i386
