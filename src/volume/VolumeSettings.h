#pragma once
// What to change and by how much, as carried by a controller.
#include <array>
#include <cstdint>

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
};

}  // namespace keldro
