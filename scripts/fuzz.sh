#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/, ASan + UBSan +
# libFuzzer) and runs each for the given number of seconds (default 60),
# starting from the project's seeds and the corpus kept from earlier runs.
# An input that fails is written to fuzz/regressions/<target>/, where the
# normal test suite replays it; the script then fails.
#   scripts/fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(draw_morph avi_reader gif_still bit_accumulator quantize)
dir=build-fuzz
jobs=$(nproc)

if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQUORVANE_FUZZ=ON -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_TOOLS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
fi
cmake --build "$dir" -j "$jobs" --target "${targets[@]/#/fuzz_}"
[ -d "$dir/seeds" ] || ./scripts/make-fuzz-seeds.sh "$dir/seeds"

status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  kept="fuzz/regressions/$target"
  mkdir -p "$corpus" "$kept"
  log="$dir/fuzz-$target.log"
  echo "fuzz: $target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$kept/" "$corpus" "$dir/seeds/$target" > "$log" 2>&1; then
    echo "fuzz: $target FAILED; the input is kept in $kept/ (log: $log)"
    tail -n 40 "$log"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  line=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(echo "$line" | grep -o 'cov: [0-9]*' || true)
  ft=$(echo "$line" | grep -o 'ft: [0-9]*' || true)
  summary+=("$target: $runs runs, $cov, $ft")
done
printf 'fuzz: %s\n' "${summary[@]}"
exit $status
