"""Prints how two commands' times compare, from hyperfine JSON exports.

Usage: python3 bench/ratio.py LABEL COMMAND COMPARED_WITH EXPORT...
The times of each command are pooled over all exports (interleaved rounds);
the ratio is of the medians, with the ratio of the means beside it.
"""
import json
import statistics
import sys

label, first, second, paths = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
times = {first: [], second: []}
for path in paths:
    for result in json.load(open(path))["results"]:
        if result["command"] in times:
            times[result["command"]] += result["times"]
a, b = (statistics.median(times[n]) for n in (first, second))
am, bm = (statistics.mean(times[n]) for n in (first, second))
print(f"{label}: {first} {a * 1000:.3f} ms, {second} {b * 1000:.3f} ms, ratio {a / b:.2f}"
      f" (medians of {len(times[second])} runs each; means {am * 1000:.3f} / {bm * 1000:.3f} ms, ratio {am / bm:.2f})")
