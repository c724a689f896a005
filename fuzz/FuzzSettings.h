#pragma once
// Shared by the engine fuzz targets: the first four input bytes choose the
// run's volume settings, the rest is the file. Seeds carry such a prefix.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "conversion/Controllers.h"
#include "platform/Clock.h"

namespace keldro::fuzz {

inline constexpr std::size_t kSettingsPrefix = 4;

// b0: bit 0 absolute mode, bit 1 regulate chorus, bits 2..7 pick the given
// channels; b1: dB in half-dB steps (signed); b2: master volume and MaxGain;
// b3: the absolute channel value.
inline void applySettings(VolumeController& c, const std::uint8_t* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(static_cast<std::int8_t>(p[1])) / 2.0);
    c.setDb(text);
    c.setMasterVolume(p[2] & 0x7F);
    std::snprintf(text, sizeof text, "%.1f", -static_cast<double>(p[2] % 25) / 2.0);
    c.setMaxGain(text);
    const int pattern = p[0] >> 2;
    for (int e = 0; e < kChannelEntries; ++e) {
        c.setChannel(e, p[3] & 0x7F);
        c.setChannelGiven(e, (pattern >> (e % 6)) & 1);
    }
    c.setAbsoluteMode(p[0] & 1);
    c.job().setRegulateChorus((p[0] >> 1) & 1);
    c.job().setDbTenths(c.settings().dbTenths);
    c.job().setClock([](LocalDateTime& out) {
        out = LocalDateTime{};
        out.year = 2024;
        out.month = 2;
        out.day = 29;
        return true;
    });
}

}  // namespace keldro::fuzz
