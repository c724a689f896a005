#!/usr/bin/env bash
# Converts 1 000 example files (-3 dB) twice: once with keldro-batch, once with
# one keldro process per file from a shell loop, checks that both give the same
# bytes, and prints how much faster the batch is. Then times keldro-batch
# against `cp -r` of the same folder, interleaved (rounds alternate which goes
# first; each starts without its output folder), and prints keldro-batch / cp -r.
# Uses hyperfine when it can be installed, else bash's `time`.
#
# Usage: bash bench/batch_bench.sh [number of files, default 1000]
#   WORK=folder puts the files there (a tmpfs such as /dev/shm times the
#   programs rather than the disk); ROUNDS (default 10) rounds of 5 runs each.
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000}"

bash tools/deps.sh hyperfine >/dev/null 2>&1 || true
bash tools/deps.sh >/dev/null
cmake -S . -B build-batch-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-batch-release --target keldro keldro-batch -j "$(nproc)" >/dev/null

work="$(mktemp -d ${WORK:+-p "$WORK"})"
rounds="${ROUNDS:-10}"
trap 'rm -rf "$work"' EXIT

# The collection: the examples over and over, 100 files to a folder.
mapfile -t examples < <(ls examples/*.mmf examples/*.mld 2>/dev/null)
for ((i = 0; i < count; i++)); do
  src="${examples[i % ${#examples[@]}]}"
  dir="$work/in/d$((i / 100))"
  mkdir -p "$dir"
  cp "$src" "$dir/f$i.${src##*.}"
done

# keldro reads its mode from the KELDRO.ini beside it: one install per mode.
for mode in 0 1; do
  mkdir -p "$work/bin$mode"
  cp build-batch-release/keldro "$work/bin$mode/keldro"
  printf '[SETTING]\nTARGET_FILE=%s\n' "$mode" > "$work/bin$mode/KELDRO.ini"
done
cat > "$work/per_file.sh" <<'LOOP'
#!/usr/bin/env bash
# One keldro process per file, the way collections are converted without the batch.
cd "$1"
rm -rf out-loop
for f in $(cd in && find . -type f | sort); do
  case "${f,,}" in *.mld) bin=bin1 ;; *) bin=bin0 ;; esac
  mkdir -p "out-loop/in/$(dirname "$f")"
  "./$bin/keldro" -i "in/$f" -o "out-loop/in/$f" -db -3 >/dev/null 2>&1 || true
done
LOOP
batch_cmd="cd '$work' && rm -rf out-batch && '$PWD/build-batch-release/keldro-batch' --db -3 --out out-batch in 2>/dev/null"
loop_cmd="bash '$work/per_file.sh' '$work'"

echo "files: $count ($(ls "${examples[@]}" | wc -l) examples repeated), processors: $(nproc)"
if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs 5 --export-json "$work/times.json" -n keldro-batch "$batch_cmd" -n "keldro per file" "$loop_cmd"
  python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"ratio (keldro per file / keldro-batch): {r['keldro per file'] / r['keldro-batch']:.1f}")
PY
else
  t0=$(date +%s.%N); bash -c "$batch_cmd"; t1=$(date +%s.%N)
  bash -c "$loop_cmd"; t2=$(date +%s.%N)
  python3 -c "b=$t1-$t0; l=$t2-$t1; print(f'keldro-batch {b:.3f} s, keldro per file {l:.3f} s, ratio {l/b:.1f}')"
fi

# Both ways must give the same bytes.
if diff -r "$work/out-batch/in" "$work/out-loop/in" >/dev/null; then
  echo "outputs identical: yes"
else
  echo "outputs identical: NO" && exit 1
fi

# keldro-batch against cp -r of the same folder: the conversion should cost
# little more than copying the files.
batch_only="'$PWD/build-batch-release/keldro-batch' --db -3 --out '$work/out-batch' '$work/in'"
copy_cmd="cp -r '$work/in' '$work/out-copy'"
prepare="rm -rf '$work/out-batch' '$work/out-copy'"
if command -v hyperfine >/dev/null; then
  exports=()
  for ((r = 0; r < rounds; r++)); do
    if ((r % 2 == 0)); then order=(-n keldro-batch "$batch_only" -n "cp -r" "$copy_cmd"); else order=(-n "cp -r" "$copy_cmd" -n keldro-batch "$batch_only"); fi
    hyperfine -N --style none --warmup 1 --runs 5 --prepare "$prepare" --export-json "$work/copy$r.json" "${order[@]}" >/dev/null
    exports+=("$work/copy$r.json")
  done
  python3 bench/ratio.py "$count files" keldro-batch "cp -r" "${exports[@]}"
else
  bash -c "$prepare"; t0=$(date +%s.%N); bash -c "$batch_only" 2>/dev/null; t1=$(date +%s.%N)
  bash -c "$copy_cmd"; t2=$(date +%s.%N)
  python3 -c "b=$t1-$t0; c=$t2-$t1; print(f'keldro-batch {b:.3f} s, cp -r {c:.3f} s, ratio {b/c:.2f}')"
fi
