#pragma once
// What to change and by how much: the one settings type of a conversion. The
// controllers fill it from the settings file and the command line; both
// engines read it and nothing else.
#include <array>
#include <cstddef>
#include <cstdint>

#include "volume/VolumeTables.h"

namespace keldro {

inline constexpr int kChannelEntries = 17;  // channels 1..16 (entries 0..15) and ADPCM (entry 16)
inline constexpr int kAdpcmEntry = 16;

struct VolumeSettings {
    std::array<std::int32_t, kChannelEntries> channelVolume{};  // 0..127 TAVI, 0..63 MFi
    std::array<std::int32_t, kChannelEntries> channelGiven{};   // 0 / 1
    std::int32_t dbTenths = 0;                                  // -600 ... 600
    std::int32_t masterVolume = 0;                              // 0 ... 127
    std::int32_t maxGainTenths = 0;                             // -120 ... 0, multiple of 5
    std::int32_t absoluteMode = 0;                              // 1 absolute values, 0 relative change
    bool regulateChorus = false;                                // "-e": chorus and effect levels follow the change

    bool isAbsolute() const { return absoluteMode != 0; }
    // The relative change in dB.
    double db() const { return dbTenths * 0.1; }
    // The absolute MaxGain as attenuation steps (0 ... 24).
    int maxGainSteps() const { return attenuationStepsOfTenths(maxGainTenths); }
    // The absolute value given for a channel entry, -1 when none was given.
    int channelValue(int entry) const {
        if (entry < 0 || entry >= kChannelEntries) return -1;
        const auto e = static_cast<std::size_t>(entry);
        return channelGiven[e] == 1 ? channelVolume[e] : -1;
    }
};

}  // namespace keldro
