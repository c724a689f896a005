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

// One rule, one record: the rule reads `before` from the field it works on
// and answers `applies`; the record then holds `after` and `action`.
struct Case {
    const char* what;
    Rule rule;
    VolumeSettings settings;
    int track;  // the record's kind: score track 1..4 VQ-2, 5 VQ-3, 6 VQ-5, 7 VQ-7; 255 the audio track
    int channel;
    int before;
    int after;
    bool applies;
    ActionCode action;
    int effectType = 0;  // before a note: the type of the effect in force
    Vq7FileLevels file = {};
};

// Runs one rule with the before-value in the field the rule reads; the
// after-value is taken from the field the rule writes.
bool apply(const Case& c, VolumeSettings& s, VolumeChangeRecord& r) {
    r.track = static_cast<std::uint8_t>(c.track);
    r.channel = static_cast<std::uint8_t>(c.channel);
    auto before = static_cast<std::uint8_t>(c.before);
    r.action = 99;  // every rule clears it first
    Vq7FileLevels file = c.file;
    switch (c.rule) {
        case Rule::Volume: r.beforeVolume = before; return tavi::volumeRule(s, file, r);
        case Rule::Inserted: r.beforeVolume = before; return tavi::insertedVolumeRule(s, file, r);
        case Rule::MaxGain: r.beforeGain = before; return tavi::maxGainRule(s, file, r);
        case Rule::Depth: r.beforeLevel = before; return tavi::effectDepthRule(s, file, r);
        case Rule::Chorus: r.beforeLevel = before; return tavi::chorusSendRule(s, file, r);
        case Rule::BeforeNote: r.beforeLevel = before; return tavi::chorusSendBeforeNoteRule(s, file, r, c.effectType);
    }
    return false;
}

int afterOf(const Case& c, const VolumeChangeRecord& r) {
    switch (c.rule) {
        case Rule::Volume:
        case Rule::Inserted: return r.afterVolume;
        case Rule::MaxGain: return r.afterGain;
        default: return r.afterLevel;
    }
}

TEST(TaviRules, ComputeTheConvertedValues) {
    const Case cases[] = {
        // Channel volumes on the 32-step grid.
        {.what = "VQ-2 0 dB keeps 99",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 1,
         .channel = 0,
         .before = 99,
         .after = 99,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 0 dB: 3 is silence",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 1,
         .channel = 0,
         .before = 3,
         .after = 0,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 0 dB: 96 joins 99",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 2,
         .channel = 1,
         .before = 96,
         .after = 99,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 0 dB: 100 steps to 103",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 3,
         .channel = 2,
         .before = 100,
         .after = 103,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 -6 dB",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 4,
         .channel = 3,
         .before = 99,
         .after = 71,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 -3 dB",
         .rule = Rule::Volume,
         .settings = relative(-30),
         .track = 1,
         .channel = 0,
         .before = 64,
         .after = 55,
         .applies = true,
         .action = kActionVolumeRelative},
        // 127 is the top of the grid, not a value above it: -3 dB moves it to 107.
        {.what = "VQ-2 -3 dB from 127",
         .rule = Rule::Volume,
         .settings = relative(-30),
         .track = 2,
         .channel = 1,
         .before = 127,
         .after = 107,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 value above 127 kept",
         .rule = Rule::Volume,
         .settings = relative(-30),
         .track = 2,
         .channel = 1,
         .before = 128,
         .after = 128,
         .applies = true,
         .action = kActionVolumeRelative},
        // 40 at -26.4 dB lands halfway between the steps of 7 and 11: the lower one wins.
        {.what = "VQ-2 tie between two steps",
         .rule = Rule::Volume,
         .settings = relative(-264),
         .track = 3,
         .channel = 2,
         .before = 40,
         .after = 7,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 +60 dB saturates",
         .rule = Rule::Volume,
         .settings = relative(600),
         .track = 1,
         .channel = 0,
         .before = 99,
         .after = 127,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "audio track -6 dB",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 255,
         .channel = 255,
         .before = 99,
         .after = 71,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-2 absolute, channel 5 given",
         .rule = Rule::Volume,
         .settings = withChannel(absolute(0, 0), 4, 80),
         .track = 2,
         .channel = 0,
         .before = 99,
         .after = 80,
         .applies = true,
         .action = kActionVolumeAbsolute},
        {.what = "VQ-2 absolute, channel 5 not given",
         .rule = Rule::Volume,
         .settings = withChannel(absolute(0, 0), 0, 80),
         .track = 2,
         .channel = 0,
         .before = 99,
         .after = 99,
         .applies = false,
         .action = kActionNone},
        {.what = "audio absolute uses ADPCM",
         .rule = Rule::Volume,
         .settings = withChannel(absolute(0, 0), 16, 50),
         .track = 255,
         .channel = 255,
         .before = 99,
         .after = 50,
         .applies = true,
         .action = kActionVolumeAbsolute},
        {.what = "inserted relative assumes 99",
         .rule = Rule::Inserted,
         .settings = relative(-60),
         .track = 1,
         .channel = 2,
         .before = 0,
         .after = 71,
         .applies = true,
         .action = kActionInsertedVolumeRelative},
        {.what = "inserted absolute",
         .rule = Rule::Inserted,
         .settings = withChannel(absolute(0, 0), 2, 40),
         .track = 1,
         .channel = 2,
         .before = 0,
         .after = 40,
         .applies = true,
         .action = kActionInsertedVolumeAbsolute},
        // Master volume through the attenuation tables.
        {.what = "VQ-3 0 dB round trip 99",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 5,
         .channel = 255,
         .before = 99,
         .after = 98,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-3 0 dB round trip 100",
         .rule = Rule::Volume,
         .settings = relative(0),
         .track = 5,
         .channel = 255,
         .before = 100,
         .after = 101,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-5 -6 dB",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 6,
         .channel = 255,
         .before = 100,
         .after = 71,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-5 +6 dB from silence",
         .rule = Rule::Volume,
         .settings = relative(60),
         .track = 6,
         .channel = 255,
         .before = 0,
         .after = 1,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-3 +6 dB at the top",
         .rule = Rule::Volume,
         .settings = relative(60),
         .track = 5,
         .channel = 255,
         .before = 127,
         .after = 127,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-5 -6 dB from the top",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 6,
         .channel = 255,
         .before = 127,
         .after = 90,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-3 value above 127 kept",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 5,
         .channel = 255,
         .before = 200,
         .after = 200,
         .applies = true,
         .action = kActionVolumeRelative},
        {.what = "VQ-3 absolute",
         .rule = Rule::Volume,
         .settings = absolute(77, 0),
         .track = 5,
         .channel = 255,
         .before = 100,
         .after = 77,
         .applies = true,
         .action = kActionVolumeAbsolute},
        {.what = "VQ-7 absolute keeps master",
         .rule = Rule::Volume,
         .settings = absolute(77, -60),
         .track = 7,
         .channel = 255,
         .before = 100,
         .after = 100,
         .applies = true,
         .action = kActionVolumeAbsolute},
        {.what = "unknown kind",
         .rule = Rule::Volume,
         .settings = relative(-60),
         .track = 9,
         .channel = 0,
         .before = 99,
         .after = 99,
         .applies = false,
         .action = kActionNone},
        // VQ-7 MaxGain.
        {.what = "MaxGain absolute",
         .rule = Rule::MaxGain,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 255,
         .before = 3,
         .after = 12,
         .applies = true,
         .action = kActionMaxGainAbsolute},
        {.what = "MaxGain without master volume",
         .rule = Rule::MaxGain,
         .settings = relative(-60),
         .track = 7,
         .channel = 255,
         .before = 4,
         .after = 4,
         .applies = true,
         .action = kActionMaxGainRelative,
         .file = levels(-1, -1)},
        {.what = "MaxGain takes the change",
         .rule = Rule::MaxGain,
         .settings = relative(-60),
         .track = 7,
         .channel = 255,
         .before = 0,
         .after = 20,
         .applies = true,
         .action = kActionMaxGainRelative,
         .file = levels(100, -1)},
        {.what = "MaxGain limited to -12 dB",
         .rule = Rule::MaxGain,
         .settings = relative(-150),
         .track = 7,
         .channel = 255,
         .before = 0,
         .after = 24,
         .applies = true,
         .action = kActionMaxGainRelative,
         .file = levels(100, -1)},
        {.what = "MaxGain not for VQ-3",
         .rule = Rule::MaxGain,
         .settings = relative(-60),
         .track = 5,
         .channel = 255,
         .before = 3,
         .after = 3,
         .applies = false,
         .action = kActionNone,
         .file = levels(100, -1)},
        // Effect depth follows the volume, chorus send moves the other way.
        {.what = "depth -6 dB",
         .rule = Rule::Depth,
         .settings = relative(-60),
         .track = 7,
         .channel = 255,
         .before = 100,
         .after = 70,
         .applies = true,
         .action = kActionEffectDepthRelative},
        {.what = "depth +6 dB",
         .rule = Rule::Depth,
         .settings = relative(60),
         .track = 7,
         .channel = 255,
         .before = 64,
         .after = 90,
         .applies = true,
         .action = kActionEffectDepthRelative},
        {.what = "depth never below 1",
         .rule = Rule::Depth,
         .settings = relative(-60),
         .track = 7,
         .channel = 255,
         .before = 1,
         .after = 1,
         .applies = true,
         .action = kActionEffectDepthRelative},
        {.what = "chorus -6 dB capped",
         .rule = Rule::Chorus,
         .settings = relative(-60),
         .track = 7,
         .channel = 3,
         .before = 100,
         .after = 127,
         .applies = true,
         .action = kActionChorusSendRelative},
        {.what = "chorus -6 dB",
         .rule = Rule::Chorus,
         .settings = relative(-60),
         .track = 7,
         .channel = 3,
         .before = 64,
         .after = 90,
         .applies = true,
         .action = kActionChorusSendRelative},
        {.what = "chorus +6 dB",
         .rule = Rule::Chorus,
         .settings = relative(60),
         .track = 7,
         .channel = 3,
         .before = 64,
         .after = 45,
         .applies = true,
         .action = kActionChorusSendRelative},
        {.what = "depth absolute, gain lowered",
         .rule = Rule::Depth,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 255,
         .before = 100,
         .after = 79,
         .applies = true,
         .action = kActionEffectDepthAbsolute,
         .file = levels(-1, 4)},
        {.what = "depth absolute, gain raised",
         .rule = Rule::Depth,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 255,
         .before = 100,
         .after = 125,
         .applies = true,
         .action = kActionEffectDepthAbsolute,
         .file = levels(-1, 20)},
        // Absolute mode goes by the largest MaxGain of the file, not the one in force.
        {.what = "depth absolute, largest gain",
         .rule = Rule::Depth,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 255,
         .before = 100,
         .after = 79,
         .applies = true,
         .action = kActionEffectDepthAbsolute,
         .file = Vq7FileLevels{-1, 4, 20, -1}},
        {.what = "chorus absolute, gain lowered",
         .rule = Rule::Chorus,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 3,
         .before = 100,
         .after = 125,
         .applies = true,
         .action = kActionChorusSendAbsolute,
         .file = levels(-1, 4)},
        {.what = "chorus absolute, gain raised",
         .rule = Rule::Chorus,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 3,
         .before = 100,
         .after = 79,
         .applies = true,
         .action = kActionChorusSendAbsolute,
         .file = levels(-1, 20)},
        {.what = "chorus not for VQ-5",
         .rule = Rule::Chorus,
         .settings = relative(-60),
         .track = 6,
         .channel = 3,
         .before = 64,
         .after = 64,
         .applies = false,
         .action = kActionNone},
        {.what = "before note, chorus effect",
         .rule = Rule::BeforeNote,
         .settings = relative(-60),
         .track = 7,
         .channel = 3,
         .before = 64,
         .after = 90,
         .applies = true,
         .action = kActionChorusBeforeNoteRelative,
         .effectType = 0x4900},
        {.what = "before note, other effect puts back",
         .rule = Rule::BeforeNote,
         .settings = absolute(0, -60),
         .track = 7,
         .channel = 3,
         .before = 64,
         .after = 64,
         .applies = true,
         .action = kActionChorusBeforeNoteAbsolute,
         .effectType = 0x0100,
         .file = levels(-1, 4)},
        {.what = "before note, chorus effect not VQ-7",
         .rule = Rule::BeforeNote,
         .settings = relative(-60),
         .track = 5,
         .channel = 3,
         .before = 64,
         .after = 64,
         .applies = false,
         .action = kActionNone,
         .effectType = 0x5301},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VolumeSettings s = c.settings;
        VolumeChangeRecord r;
        EXPECT_EQ(apply(c, s, r), c.applies) << ::testing::PrintToString(r);
        EXPECT_EQ(afterOf(c, r), c.after) << ::testing::PrintToString(r);
        EXPECT_EQ(r.action, c.action) << ::testing::PrintToString(r);
    }
}

TEST(TaviRules, InsertedVolumeReportsTheAssumedBefore) {
    VolumeSettings s = relative(-60);
    VolumeChangeRecord r;
    r.track = 1;
    r.beforeVolume = 5;
    ASSERT_TRUE(tavi::insertedVolumeRule(s, Vq7FileLevels{}, r));
    EXPECT_EQ(r.beforeVolume, 99);
}

// In relative mode the MaxGain takes as much of the change as -12..0 dB allows
// and the master volume the rest, so their total moves by exactly the change.
// The run's stored MaxGain setting plays no part once the rule has chosen,
// even where it chose 0 dB.
TEST(TaviRules, Vq7SplitsARelativeChangeBetweenMaxGainAndMasterVolume) {
    struct Split {
        int dbTenths, gainBefore, gainAfter, maxGainTenths, masterAfter;
        int masterBefore = 100;
        int storedMaxGainTenths = 0;  // the run's MaxGain setting before the file
    } splits[] = {
        {-60, 0, 20, -100, 127},  // all of it fits into the MaxGain: master back to full
        {-150, 0, 24, -120, 85},  // MaxGain at its limit, master takes the remaining 3 dB
        {0, 4, 12, -60, 127},
        // +4 dB lifts the loudest master (100) to the top: MaxGain 0 dB, and a
        // quieter master keeps 8 of its 24 steps, whatever the stored -6 dB says.
        {40, 0, 0, 0, 80, 64, -60},
    };
    for (const Split& t : splits) {
        VolumeSettings s = relative(t.dbTenths);
        s.maxGainTenths = t.storedMaxGainTenths;
        VolumeChangeRecord gain;
        gain.track = 7;
        gain.beforeGain = static_cast<std::uint8_t>(t.gainBefore);
        Vq7FileLevels file = levels(100, -1);
        file.maxGainInForce = t.gainBefore;  // as the engine does: the MaxGain met is in force
        ASSERT_TRUE(tavi::maxGainRule(s, file, gain));
        EXPECT_EQ(gain.afterGain, t.gainAfter) << t.dbTenths;
        EXPECT_EQ(tenthsOfAttenuationSteps(file.chosenMaxGain), t.maxGainTenths) << t.dbTenths;

        // The master volume rule works from what the MaxGain rule chose.
        VolumeChangeRecord master;
        master.track = 7;
        master.beforeVolume = static_cast<std::uint8_t>(t.masterBefore);
        ASSERT_TRUE(tavi::volumeRule(s, file, master));
        EXPECT_EQ(master.afterVolume, t.masterAfter) << t.dbTenths;
        EXPECT_EQ(master.action, kActionVolumeRelative);
    }
}

}  // namespace
}  // namespace keldro
