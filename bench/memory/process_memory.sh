#!/usr/bin/env bash
# Peak resident size of whole keldro processes, with and without a result
# log, on the files keldro_memory_bench writes (every kind of its table), as
# a multiple of the input: what a user sees, the program, the allocator's
# retention and the log included.
#
# Usage: bash bench/memory/process_memory.sh BUILD_DIR [MiB, default 8] [name filter]
#   BUILD_DIR holds keldro and keldro_memory_bench (Release, -DKELDRO_BENCH=ON).
set -euo pipefail
build="$(cd "$1" && pwd)"
mib="${2:-8}"
only="${3:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/files"
"$build/keldro_memory_bench" --write "$work/files" $((mib * 1024)) >/dev/null
# keldro takes its mode from the KELDRO.ini beside it: one install per mode.
for mode in 0 1; do
  mkdir -p "$work/bin$mode"
  cp "$build/keldro" "$work/bin$mode/keldro"
done

peak() {  # mode, options...: prints the peak resident size in KiB
  local mode="$1"
  shift
  printf '[SETTING]\nTARGET_FILE=%s\n' "$mode" >"$work/bin$mode/KELDRO.ini"
  rm -f "$work/out" "$work/log"
  /usr/bin/time -f %M -o "$work/time" "$work/bin$mode/keldro" "$@" >/dev/null 2>&1 || true
  cat "$work/time"
}

printf '%-24s %-10s %10s %9s %9s %8s %8s\n' file option input_B rss_KiB rss_l_KiB rss/B rss_l/B
for path in "$work"/files/*; do
  name="$(basename "$path")"
  [[ -n "$only" && "$name" != *"$only"* ]] && continue
  case "$name" in *.mmf) mode=0 out=out.mmf ;; *) mode=1 out=out.mld ;; esac
  size=$(stat -c %s "$path")
  for option in "-db -3" "-c1 50" "-db -3 -e"; do
    # shellcheck disable=SC2086
    plain=$(peak "$mode" -i "$path" -o "$work/$out" $option)
    # shellcheck disable=SC2086
    logged=$(peak "$mode" -i "$path" -o "$work/$out" -l "$work/log" $option)
    python3 -c "import sys; s=$size; p=$plain*1024; l=$logged*1024; b=8*s+(1<<20)
print('%-24s %-10s %10d %9d %9d %8.2f %8.2f %s' % ('$name', '$option', s, $plain, $logged, p/s, l/s,
      '' if max(p, l) <= b else 'over 8x+1MiB'))"
  done
done
