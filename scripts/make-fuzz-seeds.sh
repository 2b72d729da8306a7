#!/usr/bin/env bash
# Makes the seed corpus of every fuzz target under the directory given
# (default build-fuzz/seeds): small AVI files in several codecs written by
# ffmpeg, and byte streams from a fixed pseudo-random sequence for the
# targets that read their scene from the bytes. Same output on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-fuzz/seeds}
rm -rf "$out"
mkdir -p "$out"/{draw_morph,avi_reader,gif_still,bit_accumulator,quantize}

# The reader target takes three leading bytes (position, zoom, target depth)
# before the file.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
made=0
for codec in rawvideo:bgr24 rawvideo:rgb555le mjpeg:yuvj420p ffv1:bgr0 huffyuv:rgb24 mpeg4:yuv420p \
             msvideo1:rgb555le cinepak:rgb24 utvideo:gbrp png:rgb24 libx264:yuv420p; do
  name=${codec%%:*}
  pix=${codec##*:}
  if ffmpeg -v error -f lavfi -i testsrc=size=16x12:rate=5 -frames:v 3 -c:v "$name" -pix_fmt "$pix" \
       -g 2 -y "$tmp/$name-$pix.avi" 2>/dev/null; then
    for prefix in '\x00\x00\x03' '\x02\xa0\x01' '\xfb\xff\x02'; do
      { printf "$prefix"; cat "$tmp/$name-$pix.avi"; } > "$out/avi_reader/$name-$pix-$(printf "$prefix" | od -An -tx1 | tr -d ' \n').bin"
    done
    made=$((made + 1))
  fi
done
echo "seeds: $made AVI codecs"

# YUV clips of widths on both sides of the pixel groups that swscale
# converts at once, odd heights, and each chroma layout the decoders hand
# out: conversions that depend on the frame size are reached only from
# files whose headers and bitstream agree on it, which mutating one
# 16 x 12 seed hardly ever produces.
sized=0
for codec in mpeg4:yuv420p mjpeg:yuvj420p mjpeg:yuvj422p mjpeg:yuvj444p libx264:yuv420p libx264:yuv444p \
             ffv1:yuv422p; do
  name=${codec%%:*}
  pix=${codec##*:}
  for size in 17x9 31x15 45x7 90x30 130x17 466x5; do
    [ "$pix" = yuv420p ] && [ "$name" = libx264 ] && size=$(echo "$size" | awk -Fx '{print $1+$1%2 "x" $2+$2%2}')
    if ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=5" -frames:v 2 -c:v "$name" -pix_fmt "$pix" \
         -g 2 -strict -1 -y "$tmp/sized.avi" 2>/dev/null; then
      { printf '\x01\x00\x03'; cat "$tmp/sized.avi"; } > "$out/avi_reader/$name-$pix-$size.bin"
      sized=$((sized + 1))
    fi
  done
done
echo "seeds: $sized AVI files of other sizes"

python3 - "$out" <<'PY'
import random, sys
out = sys.argv[1]
rng = random.Random(20261207)
for target, count, length in (("draw_morph", 12, 600), ("gif_still", 10, 2500), ("bit_accumulator", 10, 400), ("quantize", 10, 3000)):
    for i in range(count):
        data = bytes(rng.getrandbits(8) for _ in range(length))
        with open(f"{out}/{target}/seed-{i:02d}.bin", "wb") as f:
            f.write(data)
PY
