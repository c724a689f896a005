#!/usr/bin/env bash
# Whole-process speed of keldro (release build in build-bench-proc), timed
# with hyperfine:
#  1. one conversion (-db -3) of a typical example of each format, against
#     `cp` of the same file;
#  2. 1 000 files converted one process each, against 1 000 `cp` processes.
# Prints the ratios keldro / cp. A conversion should cost little more than
# starting a process and copying the file.
#
# Usage: bash bench/process_bench.sh [number of files, default 1000]
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000}"

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

ratio() {  # prints "name: keldro x.xxx ms, cp y.yyy ms, ratio z.zz" from a hyperfine export
  python3 - "$@" <<'PY'
import json, sys
name, path = sys.argv[1], sys.argv[2]
r = {x["command"]: x["mean"] for x in json.load(open(path))["results"]}
k, c = r["keldro"], r["cp"]
print(f"{name}: keldro {k * 1000:.3f} ms, cp {c * 1000:.3f} ms, ratio {k / c:.2f}")
PY
}

summary=()
# 1. One file of each format: the VQ-7 chorus file, the compressed VQ-3 file, an MFi 3.1 file.
for example in vq7_chorus.mmf vq3_packed.mmf mfi31_waltz.mld; do
  case "$example" in *.mld) bin=bin1 ;; *) bin=bin0 ;; esac
  ext="${example##*.}"
  cp "examples/$example" "$work/in.$ext"
  "$work/$bin/keldro" -i "$work/in.$ext" -o "$work/out.$ext" -db -3 2>&1 >/dev/null | grep -qx "Converted." \
    || { echo "$example does not convert" >&2; exit 1; }
  hyperfine -N --warmup 20 --min-runs 300 --export-json "$work/one.json" \
    -n keldro "$work/$bin/keldro -i $work/in.$ext -o $work/out.$ext -db -3" \
    -n cp "cp $work/in.$ext $work/copy.$ext"
  summary+=("$(ratio "one $example" "$work/one.json")")
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
hyperfine --warmup 1 --runs 5 --export-json "$work/many.json" \
  -n keldro "bash $work/convert_all.sh $work" -n cp "bash $work/copy_all.sh $work"
summary+=("$(ratio "$count files, one process each" "$work/many.json")")

echo
printf '%s\n' "${summary[@]}"
