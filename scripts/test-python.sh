#!/usr/bin/env bash
# Runs the Python package's tests against a build tree's module and command,
# then checks that pip installs the package offline with Debian's build tools:
#   scripts/test-python.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
if [ ! -f "$build"/python/quorvane/__init__.py ]; then
  echo "test-python: no Python module in $build (Python 3 headers or pybind11 missing?)" >&2
  exit 1
fi
PYTHONPATH="$build/python" QUORVANE_CLI="$build/quorvane" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests

# pip install with no package index: setup.py's backend with Debian's
# setuptools, wheel and pybind11, into a venv that sees Debian's packages.
# The wheel is made from this build tree (QUORVANE_CMAKE_BUILD_DIR) rather
# than a fresh configure, so that the check does not build everything again.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
QUORVANE_CMAKE_BUILD_DIR="$build" "$scratch/venv/bin/pip" install --quiet --no-build-isolation --no-index \
  --no-deps --no-cache-dir . >"$scratch/pip.log" 2>&1 || { cat "$scratch/pip.log" >&2; exit 1; }
(cd "$scratch" && "$scratch/venv/bin/python" - <<'PY'
import numpy as np
import quorvane

assert "/venv/" in quorvane.__file__, quorvane.__file__
src = np.zeros((24, 32, 3), np.uint8)
dst = np.full((24, 32, 3), 200, np.uint8)
frame = quorvane.Morph(src, dst, [[10, 10, 12, 12]]).frame(0.5)
assert frame.shape == (24, 32, 3) and frame.dtype == np.uint8 and 0 < frame.mean() < 200, frame.mean()
print("test-python: pip installed quorvane offline into a venv and rendered a frame")
PY
)
