#include "volume/VolumeRules.h"

#include <algorithm>

#include "volume/VolumeTables.h"

namespace keldro {

int relativeChannelVolume(int volume, double db) {
    if (volume > 127) return volume;
    const std::int32_t target = kChannelVolumeSteps[static_cast<std::size_t>(volume >> 2)] - static_cast<int>(db * 100);
    const int step = nearestChannelVolumeStep(std::clamp(target, 0, 9600));
    return step == 0 ? 0 : 4 * step + 3;
}

bool isChorusLikeEffect(int effectType) {
    return effectType == 0x4900 || effectType == 0x4A00 || effectType == 0x4B00 || effectType == 0x5301;
}

int scaleEffectLevel(int level, double factor) {
    const double x = level * factor;
    if (x >= 127) return 127;
    if (!(x > 1)) return 1;
    return static_cast<int>(x);
}

}  // namespace keldro
