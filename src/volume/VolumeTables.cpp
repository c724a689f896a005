#include "volume/VolumeTables.h"

#include <algorithm>
#include <cstdlib>

namespace keldro {

const std::array<std::uint8_t, 128> kVolumeToAttenuation = {
    192, 168, 144, 130, 120, 112, 106, 101, 96, 92, 88, 85, 82, 79, 77, 74, 72, 70, 68, 66, 64, 63, 61, 59, 58, 56,
    55,  54,  53,  51,  50,  49,  48,  47,  46, 45, 44, 43, 42, 41, 40, 39, 38, 38, 37, 36, 35, 35, 34, 33, 32, 32,
    31,  30,  30,  29,  28,  28,  27,  27,  26, 25, 25, 24, 24, 23, 23, 22, 22, 21, 21, 20, 20, 19, 19, 18, 18, 17,
    17,  16,  16,  16,  15,  15,  14,  14,  14, 13, 13, 12, 12, 12, 11, 11, 10, 10, 10, 9,  9,  9,  8,  8,  8,  7,
    7,   7,   6,   6,   6,   5,   5,   5,   4,  4,  4,  3,  3,  3,  3,  2,  2,  2,  1,  1,  1,  1,  0,  0};

const std::array<std::uint8_t, 193> kAttenuationToVolume = {
    127, 123, 120, 116, 113, 110, 107, 104, 101, 98, 95, 93, 90, 87, 85, 82, 80, 78, 76, 74, 71, 69, 67, 66, 64,
    62,  60,  58,  57,  55,  54,  52,  51,  49,  48, 46, 45, 44, 43, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31,
    30,  29,  28,  28,  27,  26,  25,  25,  24,  23, 23, 22, 21, 21, 20, 20, 19, 18, 18, 17, 17, 16, 16, 16, 15,
    15,  14,  14,  13,  13,  13,  12,  12,  12,  11, 11, 11, 10, 10, 10, 10, 9,  9,  9,  8,  8,  8,  8,  8,  7,
    7,   7,   7,   7,   6,   6,   6,   6,   6,   6,  5,  5,  5,  5,  5,  5,  5,  4,  4,  4,  4,  4,  4,  4,  4,
    3,   3,   3,   3,   3,   3,   3,   3,   3,   3,  3,  3,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,
    2,   2,   2,   2,   2,   1,   1,   1,   1,   1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,
    1,   1,   1,   1,   1,   1,   1,   1,   1,   1,  1,  1,  1,  1,  1,  1,  1,  0};

const std::array<std::int32_t, 32> kChannelVolumeSteps = {
    9600, 4795, 4249, 3710, 3300, 2967, 2691, 2449, 2238, 2051, 1882, 1727, 1584, 1453, 1331, 1219,
    1111, 1010, 914,  825,  738,  656,  579,  504,  434,  363,  298,  234,  171,  113,  56,   0,
};

int attenuationOfVolume(int volume) {
    return kVolumeToAttenuation[static_cast<std::size_t>(std::clamp(volume, 0, 127))];
}

int volumeOfAttenuation(int halfDbSteps) {
    return kAttenuationToVolume[static_cast<std::size_t>(std::clamp(halfDbSteps, 0, 192))];
}

int quantizeMaxGainTenths(int tenths) {
    return tenthsOfAttenuationSteps(std::clamp(attenuationStepsOfTenths(tenths), 0, kMaxGainMostSteps));
}

int nearestChannelVolumeStep(std::int32_t attenuation) {
    int best = 0;
    std::int64_t bestDistance = std::llabs(std::int64_t{kChannelVolumeSteps[0]} - attenuation);
    for (int i = 1; i < 32; ++i) {
        std::int64_t d = std::llabs(std::int64_t{kChannelVolumeSteps[static_cast<std::size_t>(i)]} - attenuation);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace keldro
