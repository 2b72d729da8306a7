#!/usr/bin/env bash
# Runs the Python package's tests against a build tree's module and command:
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
