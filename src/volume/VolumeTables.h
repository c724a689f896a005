#pragma once
// The 0.5 dB attenuation tables and quantisers shared by the TAVI rules, the
// MFi rules and the "-mg" option.
#include <array>
#include <cstdint>

namespace keldro {

// Attenuation of volume v (0..127) in 0.5 dB steps on the square-law volume
// curve: round(80 * log10(127 / v)), and 192 for volume 0.
extern const std::array<std::uint8_t, 128> kVolumeToAttenuation;

// Volume for an attenuation of i half-dB steps (0..191): round(127 * 10^(-i/80));
// entry 192 is silence.
extern const std::array<std::uint8_t, 193> kAttenuationToVolume;

// Channel volume grid of 32 steps, attenuation in 0.01 dB; index i stands for
// channel volume 4i + 3 (index 0 for volume 0).
extern const std::array<std::int32_t, 32> kChannelVolumeSteps;

// Attenuation in half-dB steps of a volume; volumes outside 0 ... 127 count as
// the nearest end.
int attenuationOfVolume(int volume);

// Volume for an attenuation in half-dB steps; steps outside 0 ... 192 count as
// the nearest end (192 and more is silence).
int volumeOfAttenuation(int halfDbSteps);

// Files store levels as attenuation in half-dB steps; the settings and reports
// carry them in tenths of a dB (0 or below). The MaxGain is such an
// attenuation, 0 ... 24 steps (0 ... -12.0 dB).
inline constexpr int kMaxGainMostSteps = 24;

// Half-dB steps of attenuation of a level in tenths of a dB, truncated toward
// 0 dB (not limited to any range).
constexpr int attenuationStepsOfTenths(int tenths) { return (-2 * tenths) / 10; }

// Tenths of a dB of an attenuation of `steps` half-dB steps.
constexpr int tenthsOfAttenuationSteps(int steps) { return -5 * steps; }

// Rounds a MaxGain in tenths of a dB toward 0 dB to a 0.5 dB step and limits it
// to -12.0 ... 0.0 dB; the result is a multiple of 5 in -120 ... 0.
int quantizeMaxGainTenths(int tenths);

// Index into kChannelVolumeSteps nearest to an attenuation in 0.01 dB; the lower
// index wins ties.
int nearestChannelVolumeStep(std::int32_t attenuation);

}  // namespace keldro
