#include <gtest/gtest.h>

#include "volume/VolumeRules.h"

namespace keldro {
namespace {

TEST(VolumeRules, RelativeChannelVolumeLandsOnTheNearestGridStep) {
    struct Case {
        int volume;
        int dbTenths;
        int after;
    };
    const Case cases[] = {
        {99, -60, 71},   {127, -106, 71},  // 10.60 dB below full: 10.10 dB (71) is nearer than 11.11 dB (67)
        {0, 600, 15},    {3, -600, 0},     // beyond the grid's bottom: silence
        {200, -60, 200},                   // not a volume: left as it is
    };
    for (const Case& c : cases)
        EXPECT_EQ(relativeChannelVolume(c.volume, c.dbTenths * 0.1), c.after) << c.volume << " " << c.dbTenths;
}

}  // namespace
}  // namespace keldro
