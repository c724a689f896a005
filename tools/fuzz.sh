#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60), one after the other.
# Each target keeps its growing corpus in build-fuzz/corpus/<target> and starts
# from the committed seeds in fuzz/seeds/<target>; extra libFuzzer flags for a
# target may sit in fuzz/<target>.options. Crashing inputs land in
# build-fuzz/artifacts/. Exit status 1 when any target found something.
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash tools/deps.sh clang libfuzzer
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELDRO_FUZZ=ON -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus" build-fuzz/artifacts
  seeds=()
  [ -d "fuzz/seeds/$t" ] && seeds+=("fuzz/seeds/$t")
  extra=()
  [ -f "fuzz/$t.options" ] && read -r -a extra <"fuzz/$t.options"
  echo "== $t (${seconds}s)"
  # No single allocation may exceed 128 MiB: inputs are at most 64 KiB, and the
  # largest honest buffer is a 16 MiB expanded score sequence.
  if ! ASAN_OPTIONS=detect_leaks=1 ./build-fuzz/"$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -malloc_limit_mb=128 -timeout=10 -max_len=65536 -artifact_prefix=build-fuzz/artifacts/"$t"- \
      -print_final_stats=1 "${extra[@]}" "$corpus" "${seeds[@]}" 2>build-fuzz/"$t".log; then
    status=1
    tail -40 build-fuzz/"$t".log
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-fuzz/"$t".log || true
  fi
done
exit $status
