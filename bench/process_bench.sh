#!/usr/bin/env bash
# Whole-process speed of keldro (release build in build-bench-proc), timed
# with hyperfine:
#  1. one conversion (-db -3) of each example, against `cp` of the same file:
#     interleaved, in rounds that alternate which command goes first, so that
#     a busy machine slows both alike; each writes over its output of the
#     run before, as a repeated conversion does;
#  2. 1 000 files converted one process each, against 1 000 `cp` processes.
# Prints the ratios keldro / cp. A conversion should cost little more than
# starting a process and copying the file.
#
# Usage: bash bench/process_bench.sh [number of files, default 1000]
#   ROUNDS (default 10) rounds of RUNS (default 50) runs of each command per example.
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000}"
rounds="${ROUNDS:-10}"
runs="${RUNS:-50}"

bash tools/deps.sh hyperfine >/dev/null
cmake -S . -B build-bench-proc -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-bench-proc --target keldro -j "$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# keldro takes its mode from the KELDRO.ini beside it: one install per mode.
for mode in 0 1; do
  mkdir -p "$work/bin$mode"
  cp build-bench-proc/keldro "$work/bin$mode/keldro"
  printf '[SETTING]\nTARGET_FILE=%s\n' "$mode" >"$work/bin$mode/KELDRO.ini"
done

ratio() {  # prints "name: keldro x.xxx ms, cp y.yyy ms, ratio z.zz" from hyperfine exports
  python3 bench/ratio.py "$1" keldro cp "${@:2}"
}

summary=()
# 1. Each example, one conversion against one copy.
for path in examples/*.mmf examples/*.mld; do
  example="${path##*/}"
  case "$example" in *.mld) bin=bin1 ;; *) bin=bin0 ;; esac
  ext="${example##*.}"
  cp "$path" "$work/in.$ext"
  "$work/$bin/keldro" -i "$work/in.$ext" -o "$work/out.$ext" -db -3 2>&1 >/dev/null | grep -Eqx "Converted.|Not converted." \
    || { echo "$example does not convert" >&2; exit 1; }
  keldro_cmd="$work/$bin/keldro -i $work/in.$ext -o $work/out.$ext -db -3"
  cp_cmd="cp $work/in.$ext $work/copy.$ext"
  exports=()
  for ((r = 0; r < rounds; r++)); do
    if ((r % 2 == 0)); then order=(-n keldro "$keldro_cmd" -n cp "$cp_cmd"); else order=(-n cp "$cp_cmd" -n keldro "$keldro_cmd"); fi
    hyperfine -N --style none --warmup 5 --runs "$runs" --export-json "$work/one$r.json" "${order[@]}" >/dev/null
    exports+=("$work/one$r.json")
  done
  summary+=("$(ratio "one $example" "${exports[@]}")")
  echo "${summary[-1]}"
done

# 2. 1 000 files, one process each (the examples over and over).
mkdir -p "$work/many" "$work/many-out" "$work/many-cp"
mapfile -t examples < <(ls examples/*.mmf examples/*.mld)
for ((i = 0; i < count; i++)); do
  src="${examples[i % ${#examples[@]}]}"
  cp "$src" "$work/many/f$i.${src##*.}"
done
cat >"$work/convert_all.sh" <<'LOOP'
#!/usr/bin/env bash
cd "$1"
for f in many/*; do
  case "$f" in *.mld) bin=bin1 ;; *) bin=bin0 ;; esac
  "./$bin/keldro" -i "$f" -o "many-out/${f#many/}" -db -3 >/dev/null 2>&1 || true
done
LOOP
cat >"$work/copy_all.sh" <<'LOOP'
#!/usr/bin/env bash
cd "$1"
for f in many/*; do cp "$f" "many-cp/${f#many/}"; done
LOOP
exports=()
for ((r = 0; r < 3; r++)); do
  hyperfine --style none --warmup 1 --runs 2 --export-json "$work/many$r.json" \
    -n keldro "bash $work/convert_all.sh $work" -n cp "bash $work/copy_all.sh $work" >/dev/null
  exports+=("$work/many$r.json")
done
summary+=("$(ratio "$count files, one process each" "${exports[@]}")")

echo
printf '%s\n' "${summary[@]}"
