#pragma once
// Shared by the engine fuzz targets: the first four input bytes choose the
// run's volume settings, the rest is the file. Seeds carry such a prefix.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "conversion/ByteConversion.h"
#include "conversion/Controllers.h"
#include "volume/VolumeSettings.h"

namespace keldro::fuzz {

inline constexpr std::size_t kSettingsPrefix = 4;
inline constexpr LocalDateTime kToday{2024, 2, 29, 0, 0, 0};

// b0: bit 0 absolute values instead of a relative change, bit 1 regulate
// chorus, bits 2..7 pick the given channels; b1: dB in half-dB steps
// (signed); b2: master volume and MaxGain; b3: the absolute channel value.
inline ConversionSettings settingsFrom(const std::uint8_t* p) {
    ConversionSettings s;
    char text[32];
    if (p[0] & 1) {
        s.volume.push_back({"mv", std::to_string(p[2] & 0x7F)});
        std::snprintf(text, sizeof text, "%.1f", -static_cast<double>(p[2] % 25) / 2.0);
        s.volume.push_back({"mg", text});
        const int pattern = p[0] >> 2;
        for (int e = 0; e < kChannelEntries; ++e)
            if ((pattern >> (e % 6)) & 1)
                s.volume.push_back(
                    {e == kAdpcmEntry ? "ca" : "c" + std::to_string(e + 1), std::to_string(p[3] & 0x7F)});
    } else {
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(static_cast<std::int8_t>(p[1])) / 2.0);
        s.volume.push_back({"db", text});
    }
    s.regulateChorus = (p[0] >> 1) & 1;
    return s;
}

// The same settings on a controller, for targets that drive an engine directly.
inline void applySettings(VolumeController& c, const std::uint8_t* p) {
    const ConversionSettings s = settingsFrom(p);
    applyDefaultSettings(c);
    applyVolumeOptions(c, s.volume);
    c.setRegulateChorus(s.regulateChorus);
    c.job().setSettings(&c.settings());
    c.job().setClock([](LocalDateTime& out) {
        out = kToday;
        return true;
    });
}

}  // namespace keldro::fuzz
