#!/usr/bin/env bash
# Builds the program in release mode and converts a bundled example: a VQ-2 file
# made 3 dB quieter, with its result log printed. The build folder is complete
# for `cmake --install build` (manual pages and libraries included).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
./build/keldro -v
./build/keldro -i examples/vq2_bell.mmf -o build/vq2_bell_quieter.mmf -db -3 -l build/vq2_bell_log.txt || true
cat build/vq2_bell_log.txt
