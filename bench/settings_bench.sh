#!/usr/bin/env bash
# Time and peak memory of keldro's settings file on very large files. keldro
# run without arguments reads every key and writes three back, so a run costs
# one read and one write of the file. Each size (default 10 and 100 MB) is
# tried in five shapes of short lines:
#   keys     the [SETTING] section itself holds the lines ("Knnnnnn=1"), so
#            every look-up walks them and the written keys go after them;
#   after    [SETTING] first, then the lines in other sections;
#   comments [SETTING] first, then comment lines;
#   blank    [SETTING] holding empty lines only;
#   tiny     [SETTING] holding "k=" lines only.
# Prints the seconds of each run, the processor seconds it spent itself
# (user and system; on a busy machine the first is larger), its peak resident memory (as
# /usr/bin/time measures it) and that memory as a multiple of the file's
# size. Goal: 10 MB in under 0.5 s, memory at most 3 x the file.
#
# Usage: bash bench/settings_bench.sh [SIZE_MB...]   (default: 10 100)
#   KELDRO=path times another build of keldro.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10 100)

if [ -z "${KELDRO:-}" ]; then
  cmake -S . -B build-bench-ini -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
  cmake --build build-bench-ini --target keldro -j "$(nproc)" >/dev/null
  KELDRO=build-bench-ini/keldro
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$KELDRO" "$work/keldro"

python3 - "$work" "${sizes[@]}" <<'EOF'
import os, subprocess, sys

work, sizes = sys.argv[1], [int(s) for s in sys.argv[2:]]
ini = os.path.join(work, "KELDRO.ini")

def lines(shape, size):
    head = "[SETTING]\nTARGET_FILE=0\n"
    if shape == "after":
        head += "DB_VALUE=0.0\nMV_VALUE=100\nMG_VALUE=-9.0\n[OTHER]\n"
    elif shape == "comments":
        head += "DB_VALUE=0.0\n"
    parts, total, i = [head], len(head), 0
    while total < size:
        if shape == "comments":
            line = "; c%d\n" % i
        elif shape == "blank":
            line = "\n"
        elif shape == "tiny":
            line = "k=\n"
        elif shape == "after" and i % 1000 == 999:
            line = "[S%d]\n" % i
        else:
            line = "K%d=1\n" % i
        parts.append(line)
        total += len(line)
        i += 1
    return "".join(parts)

print("%-9s %8s %9s %9s %10s %8s" % ("shape", "size MB", "seconds", "cpu s", "peak MB", "x file"))
for size_mb in sizes:
    for shape in ("keys", "after", "comments", "blank", "tiny"):
        text = lines(shape, size_mb * 1000 * 1000)
        size = len(text)
        with open(ini, "w") as f:
            f.write(text)
        del text  # the child starts as a copy of this process: keep it small
        # /usr/bin/time measures from a small process of its own.
        run = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", os.path.join(work, "keldro")], capture_output=True)
        if run.returncode != 0 or run.stdout != b"0\n":
            sys.exit("keldro failed: %r" % run.stderr)
        seconds, user, system, peak_kb = run.stderr.decode().split()[-4:]
        seconds, cpu, peak_kb = float(seconds), float(user) + float(system), int(peak_kb)
        print("%-9s %8.1f %9.2f %9.2f %10.1f %8.2f" % (shape, size / 1e6, seconds, cpu, peak_kb / 1024, peak_kb * 1024 / size))
EOF
