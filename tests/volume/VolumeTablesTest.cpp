#include <gtest/gtest.h>

#include <cmath>

#include "volume/VolumeTables.h"

namespace keldro {
namespace {

TEST(VolumeTables, MatchTheirFormulasAndKnownRows) {
    EXPECT_EQ(kVolumeToAttenuation[0], 192);
    for (int v = 1; v < 128; ++v)
        EXPECT_EQ(kVolumeToAttenuation[static_cast<std::size_t>(v)],
                  static_cast<int>(std::floor(80.0 * std::log10(127.0 / v) + 0.5)))
            << v;
    for (int i = 0; i < 192; ++i)
        EXPECT_EQ(kAttenuationToVolume[static_cast<std::size_t>(i)],
                  static_cast<int>(std::floor(127.0 * std::pow(10.0, -i / 80.0) + 0.5)))
            << i;
    EXPECT_EQ(kAttenuationToVolume[192], 0);
    const int v2a[][2] = {{1, 168}, {2, 144}, {64, 24}, {100, 8}, {126, 0}, {127, 0}};
    for (auto [v, a] : v2a) EXPECT_EQ(kVolumeToAttenuation[static_cast<std::size_t>(v)], a);
    const int a2v[][2] = {{0, 127}, {1, 123}, {12, 90}, {20, 71}, {120, 4}, {191, 1}};
    for (auto [a, v] : a2v) EXPECT_EQ(kAttenuationToVolume[static_cast<std::size_t>(a)], v);
}

TEST(VolumeTables, LookupsTakeValuesBeyondTheTablesAsTheNearestEnd) {
    // Volume 0 is silence; a cut of 192 steps or more silences, a boost beyond
    // full volume stays at full volume.
    const int v2a[][2] = {{0, 192}, {127, 0}, {128, 0}};
    for (auto [v, a] : v2a) EXPECT_EQ(attenuationOfVolume(v), a) << v;
    const int a2v[][2] = {{-3, 127}, {191, 1}, {192, 0}, {250, 0}};
    for (auto [a, v] : a2v) EXPECT_EQ(volumeOfAttenuation(a), v) << a;
}

TEST(VolumeTables, MaxGainQuantizeRoundsTowardZeroDbAndClamps) {
    const int cases[][2] = {{-90, -90}, {-93, -90}, {-95, -95}, {-200, -120}, {4, 0}, {0, 0}, {-4, 0}, {-5, -5}};
    for (auto [in, out] : cases) EXPECT_EQ(quantizeMaxGainTenths(in), out) << in;
}

}  // namespace
}  // namespace keldro
