#!/usr/bin/env bash
# Installs what a fresh machine lacks for building and testing, from Debian's packages.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake ] || need+=(libgtest-dev)
[ -d /usr/lib/x86_64-linux-gnu/cmake/benchmark ] || need+=(libbenchmark-dev)
for extra in "$@"; do
  case "$extra" in
    hyperfine) command -v hyperfine >/dev/null || need+=(hyperfine) ;;
    clang-format) { command -v clang-format-14 >/dev/null || command -v clang-format >/dev/null; } || need+=(clang-format-14) ;;
    clang) { command -v clang++-14 >/dev/null || command -v clang++ >/dev/null; } || need+=(clang-14) ;;
    time) [ -x /usr/bin/time ] || need+=(time) ;;
    libfuzzer) [ -e /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a ] || need+=(libclang-rt-14-dev) ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi
