#!/usr/bin/env bash
# Runs keldro and keldro-batch of two builds on the same inputs with the same
# settings and prints every difference in what they leave behind: output
# files, standard output, standard error, exit status, result logs and
# result files (their date and time masked) and the settings file keldro
# writes back. A refactor or speed-up must show none.
#
# Inputs: examples/, the files tools/make_examples.py and
# tools/make_mfi_examples.py write, and every seed in fuzz/seeds/ as it is and
# without its first four bytes (the engine targets' settings prefix). Each
# input is run as ".mmf" and as ".mld": keldro in TAVI mode (TARGET_FILE=0)
# on the one and in MFi mode (TARGET_FILE=1) on the other, keldro-batch on
# the whole folder. Both builds run in the same folder one after the other,
# so paths in messages and logs are the same.
#
# Usage: bash tools/compare_builds.sh OLD_BUILD_DIR NEW_BUILD_DIR
#   Each folder holds keldro and keldro-batch, e.g. a Release build of each commit:
#     git worktree add /tmp/old <commit>
#     cmake -S /tmp/old -B build-old -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF
#     cmake --build build-old --target keldro keldro-batch
# Exit status: 0 when nothing differs, 1 when something does, 2 for bad usage.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OLD_BUILD_DIR NEW_BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
for dir in "$old" "$new"; do
  for program in keldro keldro-batch; do
    [ -x "$dir/$program" ] || { echo "$dir/$program: no such program" >&2; exit 2; }
  done
done

export LC_ALL=C
umask 022
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Keldro's volume options, one run per input each ("" takes the settings file's defaults).
keldro_settings=(
  ""
  "-db -3"
  "-db 6 -e"
  "-db -60"
  "-mv 90 -mg -4.5"
  "-mg 0 -c1 40 -c2 127 -c16 10 -ca 30 -e"
  "-c3 50 -db 2.5 -mv 20"
)
# Runs without a file to convert, once per mode.
keldro_once=("" "-h" "-v" "-db abc" "-i missing.mmf -o out.mmf" "-i in/examples/vq2_bell.mmf -o out.mmf -db 99"
  "-i in/examples/vq2_bell.mmf -o out" "-i in/examples/mfi30_march.mld -o out.mld -l in")
# keldro-batch runs over the whole input folder.
batch_settings=(
  "--db -3"
  "--db 6 --regulate"
  "--mv 90 --mg -4.5"
  "--c1 40 --ca 30 --regulate"
  "--inspect"
  "--inspect --csv"
  "--normalize -6"
  "--normalize 3 --regulate"
)
batch_once=("--help" "--version" "--db" "--jobs 0 in")

# The inputs, each under both extensions.
inputs=$work/inputs
add_input() {  # folder, name, source file [, bytes to skip]
  mkdir -p "$inputs/$1"
  tail -c +"$((${4:-0} + 1))" "$3" >"$inputs/$1/$2.mmf"
  cp "$inputs/$1/$2.mmf" "$inputs/$1/$2.mld"
}
python3 "$root/tools/make_examples.py" "$work/generated" >/dev/null
python3 "$root/tools/make_mfi_examples.py" "$work/generated" >/dev/null
for f in "$root"/examples/* "$work"/generated/*; do
  name=$(basename "$f")
  add_input "$(basename "$(dirname "$f")")" "${name%.*}" "$f"
done
for f in "$root"/fuzz/seeds/*/*; do
  target=$(basename "$(dirname "$f")")
  add_input "seeds-$target" "$(basename "$f")" "$f"
  add_input "seeds-$target" "$(basename "$f")-body" "$f" 4
done

# Runs one command in $run and keeps in $results/NAME its standard output,
# standard error and exit status, and the files and folders named after "--".
keep() {
  local dest=$results/$1 cmd=() status=0 file
  shift
  while [ "$1" != "--" ]; do cmd+=("$1"); shift; done
  shift
  mkdir -p "$dest"
  (cd "$run" && timeout 60 "${cmd[@]}" >"$dest/stdout" 2>"$dest/stderr" </dev/null) || status=$?
  echo "$status" >"$dest/status"
  for file in "$@"; do
    if [ -e "$run/$file" ]; then mv "$run/$file" "$dest/"; fi
  done
  # The texts that carry the time of the run: the streams, result logs and result files.
  find "$dest" -type f \( -name stdout -o -name stderr -o -name log.txt -o -name KELDRO_result.txt \) \
    -exec sed -E -i 's#[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}#YYYY/MM/DD hh:mm:ss#g' {} +
}

runs=0
run_build() {  # build folder, results folder
  local build=$1 mode ext s opts f rel
  results=$2
  run=$work/run
  rm -rf "$run"
  mkdir -p "$run" "$results"
  cp -r "$inputs" "$run/in"
  for mode in 0 1; do
    mkdir -p "$run/bin$mode"
    cp "$build/keldro" "$run/bin$mode/keldro"
  done
  cp "$build/keldro-batch" "$run/keldro-batch"
  for mode in 0 1; do
    ext=mmf
    [ "$mode" = 1 ] && ext=mld
    # A fresh settings file for every run; what the run wrote back is compared.
    local ini=$run/bin$mode/KELDRO.ini
    for s in "${!keldro_once[@]}"; do
      printf '[SETTING]\nTARGET_FILE=%s\n' "$mode" >"$ini"
      read -r -a opts <<<"${keldro_once[$s]}"
      keep "keldro-$mode-once$s" "bin$mode/keldro" "${opts[@]}" -- out out.mmf out.mld "bin$mode/KELDRO.ini"
      runs=$((runs + 1))
    done
    for s in "${!keldro_settings[@]}"; do
      read -r -a opts <<<"${keldro_settings[$s]}"
      while IFS= read -r f; do
        rel=${f#"$run"/}
        printf '[SETTING]\nTARGET_FILE=%s\n' "$mode" >"$ini"
        keep "keldro-$mode-s$s/${rel//\//_}" "bin$mode/keldro" -i "$rel" -o "out.$ext" -l log.txt "${opts[@]}" \
          -- "out.$ext" log.txt "bin$mode/KELDRO.ini"
        runs=$((runs + 1))
      done < <(find "$run/in" -name "*.$ext" -type f | sort)
    done
  done
  for s in "${!batch_settings[@]}"; do
    read -r -a opts <<<"${batch_settings[$s]}"
    keep "batch-s$s" ./keldro-batch --jobs 1 "${opts[@]}" --out batch-out in -- batch-out
    runs=$((runs + 1))
  done
  for s in "${!batch_once[@]}"; do
    read -r -a opts <<<"${batch_once[$s]}"
    keep "batch-once$s" ./keldro-batch "${opts[@]}" --
    runs=$((runs + 1))
  done
}

day_before=$(date +%F)
run_build "$old" "$work/old"
run_build "$new" "$work/new"
day_after=$(date +%F)

# How many runs ended with exit status 0, to show the runs did convert.
succeeded=$(find "$work/old" -name status -exec cat {} + | grep -cx 0 || true)
echo "$((runs / 2)) runs of each build, $succeeded of them with exit status 0 in the old one"
if diff -rq "$work/old" "$work/new" >"$work/differences"; then
  echo "no differences"
  exit 0
fi
while IFS= read -r line; do
  echo "$line" | sed "s#$work/##g"
  if [[ "$line" =~ ^Files\ (.*)\ and\ (.*)\ differ$ ]]; then
    a=${BASH_REMATCH[1]}
    b=${BASH_REMATCH[2]}
    if grep -qI . "$a" && grep -qI . "$b"; then
      diff -u "$a" "$b" | sed "s#$work/##g" | head -20 || true
    else
      cmp -l "$a" "$b" 2>&1 | head -10 | sed "s#$work/##g" || true
    fi
  fi
done <"$work/differences"
echo "$(wc -l <"$work/differences") differences"
if [ "$day_before" != "$day_after" ]; then
  echo "note: the day turned during the runs; MFi outputs carry the date of their conversion" >&2
fi
exit 1
