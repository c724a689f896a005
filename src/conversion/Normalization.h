#pragma once
// Normalising: each file gets the relative change that brings its peak level
// (FileInspection.h) to a target. keldro-batch --normalize and the byte-level
// interface decide alike through these functions.
#include <optional>
#include <string>

#include "conversion/FileInspection.h"

namespace keldro {

// The target of a text such as "-6" or "-6.05" in tenths of a dB (truncated);
// nullopt outside -60 ... 60 dB (or NaN), which is no target at all.
std::optional<int> normalizeTargetTenths(const std::string& text);

// The change for a file of peak level `peakTenths`: none within 0.5 dB of the
// target, else target - peak within -60 ... 60 dB.
std::optional<int> normalizingChange(int peakTenths, int targetTenths);

// What normalising does with an inspected file: nullopt, copy it unchanged
// (no volume to judge by, or already within 0.5 dB); otherwise convert it with
// this relative change. A file that cannot be inspected cannot be converted
// either: it goes through the ordinary flow with no change, which reports why
// in keldro's words.
std::optional<int> normalizingChangeFor(const Inspection& found, int targetTenths);

}  // namespace keldro
