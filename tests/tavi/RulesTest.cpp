#include <gtest/gtest.h>

#include "tavi/Rules.h"
#include "volume/VolumeTables.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

enum class Rule { Volume, Inserted, MaxGain, Depth, Chorus, BeforeNote };

VolumeSettings relative(int dbTenths) {
    VolumeSettings s;
    s.dbTenths = dbTenths;
    return s;
}

VolumeSettings absolute(int masterVolume, int maxGainTenths) {
    VolumeSettings s;
    s.absoluteMode = 1;
    s.masterVolume = masterVolume;
    s.maxGainTenths = maxGainTenths;
    return s;
}

// What the engine found in a VQ-7 file: its loudest master volume and its
// MaxGain (the largest, and so far the one in force).
Vq7FileLevels levels(int loudestMaster, int fileGain) {
    Vq7FileLevels found;
    found.loudestMasterVolume = loudestMaster;
    found.largestMaxGain = fileGain;
    found.maxGainInForce = fileGain;
    return found;
}

VolumeSettings withChannel(VolumeSettings s, int entry, int volume) {
    s.channelVolume[static_cast<std::size_t>(entry)] = volume;
    s.channelGiven[static_cast<std::size_t>(entry)] = 1;
    return s;
}

struct Case {
    const char* what;
    Rule rule;
    VolumeSettings settings;
    int kind;
    int channel;
    int before;
    int after;
    int yes;
    int action;
    int effectType = 0;
    Vq7FileLevels file = {};
};

// Runs one rule with the before-value in the field the rule reads and returns
// the record; the after-value is taken from the field the rule writes.
int apply(const Case& c, VolumeSettings& s, VolumeChangeRecord& r) {
    r.track = static_cast<std::uint8_t>(c.kind);
    r.channel = static_cast<std::uint8_t>(c.channel);
    auto before = static_cast<std::uint8_t>(c.before);
    r.action = 99;  // every rule clears it first
    r.vq7 = c.file;
    switch (c.rule) {
    case Rule::Volume: r.beforeVolume = before; return tavi::volumeRule(s, 2, r);
    case Rule::Inserted: r.beforeVolume = before; return tavi::insertedVolumeRule(s, 2, r);
    case Rule::MaxGain: r.beforeGain = before; return tavi::maxGainRule(s, 7, r);
    case Rule::Depth: r.beforeLevel = before; return tavi::effectDepthRule(s, 7, r);
    case Rule::Chorus: r.beforeLevel = before; return tavi::chorusSendRule(s, 7, r);
    case Rule::BeforeNote: r.beforeLevel = before; return tavi::chorusSendBeforeNoteRule(s, 7, r, c.effectType);
    }
    return -1;
}

int afterOf(const Case& c, const VolumeChangeRecord& r) {
    switch (c.rule) {
    case Rule::Volume: case Rule::Inserted: return r.afterVolume;
    case Rule::MaxGain: return r.afterGain;
    default: return r.afterLevel;
    }
}

TEST(TaviRules, ComputeTheConvertedValues) {
    const Case cases[] = {
        // Channel volumes on the 32-step grid.
        {"VQ-2 0 dB keeps 99", Rule::Volume, relative(0), 1, 0, 99, 99, 1, 1},
        {"VQ-2 0 dB: 3 is silence", Rule::Volume, relative(0), 1, 0, 3, 0, 1, 1},
        {"VQ-2 0 dB: 96 joins 99", Rule::Volume, relative(0), 2, 1, 96, 99, 1, 1},
        {"VQ-2 0 dB: 100 steps to 103", Rule::Volume, relative(0), 3, 2, 100, 103, 1, 1},
        {"VQ-2 -6 dB", Rule::Volume, relative(-60), 4, 3, 99, 71, 1, 1},
        {"VQ-2 -3 dB", Rule::Volume, relative(-30), 1, 0, 64, 55, 1, 1},
        // 127 is the top of the grid, not a value above it: -3 dB moves it to 107.
        {"VQ-2 -3 dB from 127", Rule::Volume, relative(-30), 2, 1, 127, 107, 1, 1},
        {"VQ-2 value above 127 kept", Rule::Volume, relative(-30), 2, 1, 128, 128, 1, 1},
        // 40 at -26.4 dB lands halfway between the steps of 7 and 11: the lower one wins.
        {"VQ-2 tie between two steps", Rule::Volume, relative(-264), 3, 2, 40, 7, 1, 1},
        {"VQ-2 +60 dB saturates", Rule::Volume, relative(600), 1, 0, 99, 127, 1, 1},
        {"audio track -6 dB", Rule::Volume, relative(-60), 255, 255, 99, 71, 1, 1},
        {"VQ-2 absolute, channel 5 given", Rule::Volume, withChannel(absolute(0, 0), 4, 80), 2, 0, 99, 80, 1, 2},
        {"VQ-2 absolute, channel 5 not given", Rule::Volume, withChannel(absolute(0, 0), 0, 80), 2, 0, 99, 99, 0, 0},
        {"audio absolute uses ADPCM", Rule::Volume, withChannel(absolute(0, 0), 16, 50), 255, 255, 99, 50, 1, 2},
        {"inserted relative assumes 99", Rule::Inserted, relative(-60), 1, 2, 0, 71, 1, 3},
        {"inserted absolute", Rule::Inserted, withChannel(absolute(0, 0), 2, 40), 1, 2, 0, 40, 1, 4},
        // Master volume through the attenuation tables.
        {"VQ-3 0 dB round trip 99", Rule::Volume, relative(0), 5, 255, 99, 98, 1, 1},
        {"VQ-3 0 dB round trip 100", Rule::Volume, relative(0), 5, 255, 100, 101, 1, 1},
        {"VQ-5 -6 dB", Rule::Volume, relative(-60), 6, 255, 100, 71, 1, 1},
        {"VQ-5 +6 dB from silence", Rule::Volume, relative(60), 6, 255, 0, 1, 1, 1},
        {"VQ-3 +6 dB at the top", Rule::Volume, relative(60), 5, 255, 127, 127, 1, 1},
        {"VQ-5 -6 dB from the top", Rule::Volume, relative(-60), 6, 255, 127, 90, 1, 1},
        {"VQ-3 value above 127 kept", Rule::Volume, relative(-60), 5, 255, 200, 200, 1, 1},
        {"VQ-3 absolute", Rule::Volume, absolute(77, 0), 5, 255, 100, 77, 1, 2},
        {"VQ-7 absolute keeps master", Rule::Volume, absolute(77, -60), 7, 255, 100, 100, 1, 2},
        {"unknown kind", Rule::Volume, relative(-60), 9, 0, 99, 99, 0, 0},
        // VQ-7 MaxGain.
        {"MaxGain absolute", Rule::MaxGain, absolute(0, -60), 7, 255, 3, 12, 1, 6},
        {"MaxGain without master volume", Rule::MaxGain, relative(-60), 7, 255, 4, 4, 1, 5, 0, levels(-1, -1)},
        {"MaxGain takes the change", Rule::MaxGain, relative(-60), 7, 255, 0, 20, 1, 5, 0, levels(100, -1)},
        {"MaxGain limited to -12 dB", Rule::MaxGain, relative(-150), 7, 255, 0, 24, 1, 5, 0, levels(100, -1)},
        {"MaxGain not for VQ-3", Rule::MaxGain, relative(-60), 5, 255, 3, 3, 0, 0, 0, levels(100, -1)},
        // Effect depth follows the volume, chorus send moves the other way.
        {"depth -6 dB", Rule::Depth, relative(-60), 7, 255, 100, 70, 1, 7},
        {"depth +6 dB", Rule::Depth, relative(60), 7, 255, 64, 90, 1, 7},
        {"depth never below 1", Rule::Depth, relative(-60), 7, 255, 1, 1, 1, 7},
        {"chorus -6 dB capped", Rule::Chorus, relative(-60), 7, 3, 100, 127, 1, 9},
        {"chorus -6 dB", Rule::Chorus, relative(-60), 7, 3, 64, 90, 1, 9},
        {"chorus +6 dB", Rule::Chorus, relative(60), 7, 3, 64, 45, 1, 9},
        {"depth absolute, gain lowered", Rule::Depth, absolute(0, -60), 7, 255, 100, 79, 1, 8, 0, levels(-1, 4)},
        {"depth absolute, gain raised", Rule::Depth, absolute(0, -60), 7, 255, 100, 125, 1, 8, 0, levels(-1, 20)},
        // Absolute mode goes by the largest MaxGain of the file, not the one in force.
        {"depth absolute, largest gain", Rule::Depth, absolute(0, -60), 7, 255, 100, 79, 1, 8, 0, {-1, 4, 20, -1}},
        {"chorus absolute, gain lowered", Rule::Chorus, absolute(0, -60), 7, 3, 100, 125, 1, 10, 0, levels(-1, 4)},
        {"chorus absolute, gain raised", Rule::Chorus, absolute(0, -60), 7, 3, 100, 79, 1, 10, 0, levels(-1, 20)},
        {"chorus not for VQ-5", Rule::Chorus, relative(-60), 6, 3, 64, 64, 0, 0},
        {"before note, chorus effect", Rule::BeforeNote, relative(-60), 7, 3, 64, 90, 1, 11, 0x4900},
        {"before note, other effect puts back", Rule::BeforeNote, absolute(0, -60), 7, 3, 64, 64, 1, 12, 0x0100, levels(-1, 4)},
        {"before note, chorus effect not VQ-7", Rule::BeforeNote, relative(-60), 5, 3, 64, 64, 0, 0, 0x5301},
    };
    for (const Case& c : cases) {
        VolumeSettings s = c.settings;
        VolumeChangeRecord r;
        EXPECT_EQ(apply(c, s, r), c.yes) << c.what;
        EXPECT_EQ(afterOf(c, r), c.after) << c.what;
        EXPECT_EQ(r.action, c.action) << c.what;
    }
}

TEST(TaviRules, InsertedVolumeReportsTheAssumedBefore) {
    VolumeSettings s = relative(-60);
    VolumeChangeRecord r;
    r.track = 1;
    r.beforeVolume = 5;
    ASSERT_TRUE(tavi::insertedVolumeRule(s, 2, r));
    EXPECT_EQ(r.beforeVolume, 99);
}

// In relative mode the MaxGain takes as much of the change as -12..0 dB allows
// and the master volume the rest, so their total moves by exactly the change.
TEST(TaviRules, Vq7SplitsARelativeChangeBetweenMaxGainAndMasterVolume) {
    struct Split {
        int dbTenths, gainBefore, gainAfter, maxGainTenths, masterAfter;
    } splits[] = {
        {-60, 0, 20, -100, 127},  // all of it fits into the MaxGain: master back to full
        {-150, 0, 24, -120, 85},  // MaxGain at its limit, master takes the remaining 3 dB
        {0, 4, 12, -60, 127},
    };
    for (const Split& t : splits) {
        const VolumeSettings s = relative(t.dbTenths);
        VolumeChangeRecord gain;
        gain.track = 7;
        gain.beforeGain = static_cast<std::uint8_t>(t.gainBefore);
        gain.vq7 = levels(100, -1);
        gain.vq7.maxGainInForce = t.gainBefore;  // as the engine does: the MaxGain met is in force
        ASSERT_TRUE(tavi::maxGainRule(s, 7, gain));
        EXPECT_EQ(gain.afterGain, t.gainAfter) << t.dbTenths;
        EXPECT_EQ(tenthsOfAttenuationSteps(gain.vq7.chosenMaxGain), t.maxGainTenths) << t.dbTenths;

        // The master volume rule works from what the MaxGain rule chose.
        VolumeChangeRecord master;
        master.track = 7;
        master.beforeVolume = 100;
        master.vq7 = gain.vq7;
        ASSERT_TRUE(tavi::volumeRule(s, 7, master));
        EXPECT_EQ(master.afterVolume, t.masterAfter) << t.dbTenths;
        EXPECT_EQ(master.action, kActionVolumeRelative);
    }
}

}  // namespace
}  // namespace keldro
