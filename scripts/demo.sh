#!/usr/bin/env bash
# Builds the library and the quorvane command, then renders the bundled demo
# morph to quorvane-demo.gif in the current directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TOOLS=ON > /dev/null
cmake --build "$root/build" -j "$(nproc)" --target quorvane_cli
"$root/build/quorvane" demo
echo "demo: see quorvane-demo.gif; try \"$root/build/quorvane --help\" next"
