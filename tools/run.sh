#!/usr/bin/env bash
# Builds the program in release mode and runs it: prints its version line and help.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target keldro
./build/keldro -v -h
