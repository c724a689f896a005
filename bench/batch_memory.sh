#!/usr/bin/env bash
# Peak memory (maximum resident set size) of keldro-batch over many small
# files: converting into a new output folder, converting again over those
# outputs, normalising, and inspecting. Apart from the list of files (and
# what it prints: --normalize's change per file, the --inspect table), the
# memory should not grow with the number of files.
#
# Usage: bash bench/batch_memory.sh [number of files, default 100000]
#   WORK=folder puts the files there (a tmpfs such as /dev/shm is quickest).
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-100000}"

bash tools/deps.sh >/dev/null
[ -x /usr/bin/time ] || bash tools/deps.sh time >/dev/null
cmake -S . -B build-batch-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-batch-release --target keldro-batch -j "$(nproc)" >/dev/null
batch="$PWD/build-batch-release/keldro-batch"

work="$(mktemp -d ${WORK:+-p "$WORK"})"
trap 'rm -rf "$work"' EXIT

# The examples over and over, 1 000 files to a folder.
python3 - "$work/in" "$count" examples/*.mmf examples/*.mld <<'PY'
import os, sys
root, count, examples = sys.argv[1], int(sys.argv[2]), sorted(sys.argv[3:])
data = [(open(p, "rb").read(), p.rsplit(".", 1)[1]) for p in examples]
for i in range(count):
    folder = f"{root}/d{i // 1000:03d}"
    if i % 1000 == 0:
        os.makedirs(folder)
    body, ext = data[i % len(data)]
    with open(f"{folder}/file_number_{i:06d}.{ext}", "wb") as f:
        f.write(body)
PY

peak() {  # label, then the arguments
  local label="$1"
  shift
  local stats="$work/time.txt"
  (cd "$work" && /usr/bin/time -v "$batch" "$@" >/dev/null 2>"$stats") || true
  local kb
  kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$stats")
  awk -v label="$label" -v kb="$kb" -v n="$count" \
    'BEGIN { printf "%-30s %8.1f MB  %6.0f bytes per file\n", label, kb / 1024, kb * 1024 / n }'
}

echo "files: $count"
peak "convert (new output folder)" --db -3 --out out in
peak "convert (over those outputs)" --db -3 --out out in
peak "normalise" --normalize -6 --out out-normalised in
peak "inspect (table)" --inspect in
peak "inspect (CSV)" --inspect --csv in
