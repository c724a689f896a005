#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60).
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash tools/deps.sh clang libfuzzer
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELDRO_FUZZ=ON -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus" build-fuzz/artifacts
  seeds=()
  [ -d "fuzz/seeds/$t" ] && seeds+=("fuzz/seeds/$t")
  echo "== $t (${seconds}s)"
  if ! ASAN_OPTIONS=detect_leaks=1 ./build-fuzz/"$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=10 -max_len=65536 -artifact_prefix=build-fuzz/artifacts/"$t"- -print_final_stats=1 \
      "$corpus" "${seeds[@]}" 2>build-fuzz/"$t".log; then
    status=1
    tail -40 build-fuzz/"$t".log
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-fuzz/"$t".log || true
  fi
done
exit $status
