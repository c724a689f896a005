#include "conversion/Normalization.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Text.h"

namespace keldro {
namespace {

constexpr int kWithinTenths = 5;  // 0.5 dB
constexpr int kMaxChangeTenths = 600;
constexpr double kMaxChangeDb = 60.0;

}  // namespace

std::optional<int> normalizeTargetTenths(const std::string& text) {
    const double target = strtodLike(text);
    if (!(target >= -kMaxChangeDb && target <= kMaxChangeDb)) return std::nullopt;
    return truncateToInt(target * 10.0);
}

std::optional<int> normalizingChange(int peakTenths, int targetTenths) {
    // Computed in 64 bits: no pair of ints overflows it.
    const long long change = static_cast<long long>(targetTenths) - peakTenths;
    if (std::llabs(change) <= kWithinTenths) return std::nullopt;
    return static_cast<int>(std::clamp<long long>(change, -kMaxChangeTenths, kMaxChangeTenths));
}

std::optional<int> normalizingChangeFor(const Inspection& found, int targetTenths) {
    if (!found.ok()) return 0;
    if (!found.peakTenths) return std::nullopt;
    return normalizingChange(*found.peakTenths, targetTenths);
}

}  // namespace keldro
