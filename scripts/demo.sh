#!/usr/bin/env bash
# Builds the library and renders the demo morph.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$root/build" -j "$(nproc)"
"$root/build/render_sample"
