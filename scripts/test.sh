#!/usr/bin/env bash
# Builds the project from scratch twice, a normal build (build/) and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/), with
# warnings as errors, and runs the whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# Each stage reports its time, so that a slow stage shows in CI's output.
stage_started=$SECONDS
stage_done() {
  echo "test: stage '$1' took $((SECONDS - stage_started)) s"
  stage_started=$SECONDS
}

# ccache, where installed, keeps compiled objects between runs on this
# machine: a clean clone at any path hits the objects of an earlier one
# (paths are taken relative to the clone; the folder is left out of the hash,
# so debug information may name the earlier clone's folder). CMake takes the
# launcher from these variables for every build below, the Windows and fuzz
# builds included.
if command -v ccache > /dev/null && [ -z "${QUORVANE_NO_CCACHE:-}" ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

run_suite() {
  local dir=$1; shift
  rm -rf "$dir"
  cmake -S . -B "$dir" -G Ninja -DQUORVANE_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage_done "normal build and tests"

# The installed library must serve an outside host through pkg-config and CMake.
prefix="$PWD/build/install-check"
rm -rf "$prefix"
cmake --install build --prefix "$prefix" > /dev/null
PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig" \
  sh -c 'cc -std=c11 -Wall -Werror examples/render_sample.c $(pkg-config --cflags --libs quorvane) -o build/install-check/render_sample'
LD_LIBRARY_PATH="$prefix/lib:$prefix/lib/x86_64-linux-gnu" build/install-check/render_sample build/install-check/sample.gif
mkdir -p build/install-check/consumer
cat > build/install-check/consumer/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(Quorvane REQUIRED)
add_executable(render_sample ${SAMPLE})
target_link_libraries(render_sample PRIVATE Quorvane::quorvane)
CMAKE
cmake -S build/install-check/consumer -B build/install-check/consumer/build -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DSAMPLE="$PWD/examples/render_sample.c" > /dev/null
cmake --build build/install-check/consumer/build > /dev/null
echo "test: installed library serves pkg-config and CMake consumers"
stage_done "install check"

# quorvane edit: its page in Debian's chromium, its server under hostile use.
./scripts/test-editor.sh build
stage_done "editor browser and server tests"
# The installed Python package imports and renders from its install folder.
(cd /tmp && PYTHONPATH="$(ls -d "$prefix"/lib/python3*/*-packages)" /usr/bin/python3 -c \
  'import numpy, quorvane; p = numpy.zeros((4, 4, 3), numpy.uint8); assert quorvane.Morph(p, p, [[1, 1, 1, 1]]).frame(0).shape == (4, 4, 3)')
echo "test: installed Python package imports and renders"
# The Python package against the normal build's module and command.
./scripts/test-python.sh build
stage_done "Python package"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON -DQUORVANE_BUILD_BENCH=OFF
stage_done "sanitizer build and tests"
echo "test: both suites passed"

# The 32-bit Windows library: built, its export table read, and a Windows
# host run under Wine against the portable build.
./scripts/test-windows.sh
stage_done "Windows library under Wine"

# Every fuzz target for a short while, so that regressions show; a failing
# input is kept under fuzz/regressions/ and replayed by the suites above.
if command -v clang++ > /dev/null; then
  ./scripts/fuzz.sh "${QUORVANE_FUZZ_SECONDS:-45}"
  stage_done "fuzzing"
else
  echo "test: clang not installed, fuzz targets not run"
fi
