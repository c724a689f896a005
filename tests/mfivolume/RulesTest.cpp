#include <random>

#include "VolumeTestSupport.h"
#include "mfivolume/Rules.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

const mfi::Date kToday{2026, 12, 10};

VolumeSettings relative(int db) {
    VolumeSettings s;
    s.dbTenths = 10 * db;
    return s;
}

VolumeSettings absolute(int gainSteps = 24) {
    VolumeSettings s;
    s.absoluteMode = 1;
    s.maxGainTenths = tenthsOfAttenuationSteps(gainSteps);
    return s;
}

std::vector<int> masterVolumes(mfi::VolumeFile& file) {
    std::vector<int> volumes;
    for (int i = file.nextMasterVolume(0); i >= 0; i = file.nextMasterVolume(i + 1))
        volumes.push_back(file.eventAt(0, i)->masterVolume());
    return volumes;
}

struct MaxGainCase {
    const char* name;
    std::uint8_t gain;
    std::uint8_t volume1, volume2;
    VolumeSettings settings;
    int gainAfter;
    std::vector<int> volumesAfter;
};

TEST(MfiMaxGainRule, SplitsTheChangeBetweenMaxGainAndMasterVolumes) {
    const MaxGainCase cases[] = {
        {"0 dB still moves a volume by one table step", 10, 127, 100, relative(0), 10, {127, 101}},
        {"+6 dB: MaxGain clamps at 0, master volumes take the rest", 10, 127, 64, relative(6), 0, {127, 67}},
        {"-10 dB goes into the MaxGain", 0, 127, 100, relative(-10), 20, {127, 101}},
        {"-12 dB fills the MaxGain to its bound of 24 steps", 0, 127, 100, relative(-12), 24, {127, 101}},
        {"-15 dB: MaxGain at its bound, master volumes take the rest", 0, 127, 100, relative(-15), 24, {107, 85}},
        {"absolute sets the MaxGain only", 10, 127, 100, absolute(4), 4, {127, 100}},
    };
    for (const MaxGainCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ByteVector in = mfiFile("0300", {MfiTrackBuilder()
                                                   .maxGain(0, c.gain)
                                                   .masterVolume(0, c.volume1)
                                                   .masterVolume(0, c.volume2)
                                                   .note(0, 0)
                                                   .note(4, 0)});
        ByteVector out;
        ASSERT_TRUE(applyMaxGainRule(in, out, c.settings, kToday));
        mfi::VolumeFile converted = parsed(out);
        EXPECT_EQ(converted.maxGainValue(), c.gainAfter);
        EXPECT_EQ(masterVolumes(converted), c.volumesAfter);
    }
}

struct ChannelCase {
    const char* name;
    MfiTrackBuilder track;
    VolumeSettings settings;
    // (channel, volume) of every channel volume event of track 0 after the rule.
    std::vector<std::pair<int, int>> volumesAfter;
};

std::vector<std::pair<int, int>> channelVolumes(mfi::VolumeFile& file) {
    std::vector<std::pair<int, int>> out;
    for (int i = file.nextVolumeEvent(0, 0); i >= 0; i = file.nextVolumeEvent(0, i + 1)) {
        const mfi::Event& e = *file.eventAt(0, i);
        if (e.isChannelVolume())
            out.emplace_back(e.channel(), e.channelVolume());
        else
            out.emplace_back(16, e.adpcmVolume());
    }
    return out;
}

TEST(MfiChannelVolumeRule, ConvertsAndInsertsChannelAndAdpcmVolumes) {
    VolumeSettings channel1At50 = absolute();
    giveChannel(channel1At50, 0, 50);
    VolumeSettings adpcmAt20 = absolute();
    giveChannel(adpcmAt20, 16, 20);
    const ChannelCase cases[] = {
        {"+3 dB: 40 becomes 49, 63 stays",
         setup().channelVolume(0, 0, 40).channelVolume(0, 1, 63).note(0, 0).note(0, 1),
         relative(3),
         {{0, 49}, {1, 63}}},
        {"a channel that plays first gets a volume 63",
         setup().note(0, 2).channelVolume(5, 2, 40).note(0, 2),
         relative(3),
         {{2, 63}, {2, 49}}},
        {"channels that play first get their volumes in channel order",
         setup().note(0, 3).note(0, 1).channelVolume(5, 1, 40).note(0, 0).channelVolume(0, 0, 20),
         relative(3),
         {{0, 63}, {1, 63}, {3, 63}, {1, 49}, {0, 25}}},
        {"a channel that never plays is left alone",
         setup().channelVolume(0, 3, 40).note(0, 0),
         relative(3),
         {{3, 40}, {0, 63}}},
        {"absolute: only the given channel, inserted and set",
         setup().note(0, 0).note(0, 1).channelVolume(3, 2, 30).note(0, 2),
         channel1At50,
         {{0, 50}, {2, 30}}},
        {"ADPCM relative, with a volume inserted",
         setup().adpcmNote(0).adpcmVolume(3, 40).note(0, 0),
         relative(3),
         {{0, 63}, {16, 63}, {16, 49}}},
        {"ADPCM absolute", setup().adpcmVolume(0, 40).adpcmNote(0).note(0, 0), adpcmAt20, {{16, 20}}},
        {"ADPCM without a given value stays",
         setup().adpcmVolume(0, 40).adpcmNote(0).note(0, 0),
         absolute(),
         {{16, 40}}},
    };
    for (const ChannelCase& c : cases) {
        SCOPED_TRACE(c.name);
        ByteVector out;
        ASSERT_TRUE(applyChannelVolumeRule(mfiFile("0200", {c.track}), out, c.settings, kToday));
        mfi::VolumeFile converted = parsed(out);
        EXPECT_EQ(channelVolumes(converted), c.volumesAfter);
    }
}

// Every search stops after a hit at the track's second-last event, and so
// does the walk over the volumes: a volume of another channel right after it
// keeps its value.
TEST(MfiChannelVolumeRule, StopsAfterAVolumeAtTheSecondLastEvent) {
    ByteVector out;
    ASSERT_TRUE(applyChannelVolumeRule(
        mfiFile("0200", {setup().note(0, 0).note(0, 1).channelVolume(1, 0, 40).channelVolume(1, 1, 40)}), out,
        relative(3), kToday));
    mfi::VolumeFile converted = parsed(out);
    std::vector<std::pair<int, int>> volumes;
    for (int i = 0; i < converted.eventCount(0); ++i)
        if (const mfi::Event& e = *converted.eventAt(0, i); e.isChannelVolume())
            volumes.emplace_back(e.channel(), e.channelVolume());
    EXPECT_EQ(volumes, (std::vector<std::pair<int, int>>{{0, 63}, {1, 63}, {0, 49}, {1, 40}}));
}

MfiTrackBuilder setupWithGain(std::uint8_t gain = 10) {
    return MfiTrackBuilder().maxGain(0, gain).masterVolume(0, 100);
}

std::vector<std::pair<int, int>> sends(mfi::VolumeFile& file, int track) {
    std::vector<std::pair<int, int>> out;  // (tick, value)
    for (int w = file.nextEffectSend(track, 0); w >= 0; w = file.nextEffectSend(track, w + 1))
        out.emplace_back(file.eventAt(track, w)->time(), file.eventAt(track, w)->effectSendValue());
    return out;
}

int levelOfBlock(mfi::VolumeFile& file, int block) {
    std::array<std::uint8_t, 1024> bytes{};
    file.readEffectBlocks(file.firstEffectSettings(), bytes.data(), 1024);
    return bytes[static_cast<std::size_t>(block * 32 + 12)];
}

TEST(MfiEffectRegulation, ScalesRegulatedLevelsUpAndTheirSendsDown) {
    const ByteVector blocks = joined({effectBlock(0x4900, 100), effectBlock(0x1234, 50)});
    const ByteVector in =
        mfiFile("0400", {setupWithGain().effectSettings(0, blocks).effectSend(0, 0, false, 100).note(0, 0).note(1, 0)});
    VolumeSettings plus3 = relative(3);
    plus3.regulateChorus = true;
    VolumeSettings absoluteSteps4 = absolute(4);  // from MaxGain 10 to 4: +3 dB
    absoluteSteps4.regulateChorus = true;
    for (const VolumeSettings& settings : {plus3, absoluteSteps4}) {
        ByteVector out;
        ASSERT_TRUE(applyMaxGainRule(in, out, settings, kToday));
        mfi::VolumeFile converted = parsed(out);
        EXPECT_EQ(levelOfBlock(converted, 0), 118);
        EXPECT_EQ(levelOfBlock(converted, 1), 50);
        EXPECT_EQ(sends(converted, 0), (std::vector<std::pair<int, int>>{{0, 84}}));
    }
}

// (tick, send code, value) of every effect send of a track; the code is the
// channel, plus 16 for an A channel.
std::vector<std::array<int, 3>> codedSends(mfi::VolumeFile& file, int track) {
    std::vector<std::array<int, 3>> out;
    for (int w = file.nextEffectSend(track, 0); w >= 0; w = file.nextEffectSend(track, w + 1)) {
        const mfi::Event& send = *file.eventAt(track, w);
        out.push_back({send.time(), send.effectSendCode(), send.effectSendValue()});
    }
    return out;
}

TEST(MfiEffectRegulation, CopiesTheSendInForceWhereASelectionSwitchesType) {
    // Block 0 is not regulated, block 1 is; a selection of block 1 at tick 10
    // in track 0. The send at tick 0 is under the unregulated type; its copy
    // before the sound at tick 20 is under the selected one and moves down.
    // A channels sound through 0x7F 0x00 events, the others through notes.
    const ByteVector blocks = joined({effectBlock(0x1000, 90), effectBlock(0x4900, 100)});
    struct Slot {
        const char* name;
        int track, channel;
        bool onAChannel;
        int copyAt;  // index of the copy in its track
    } slots[] = {
        {"channel 1 of track 0", 0, 1, false, 6},
        {"A channel 0 of track 0", 0, 0, true, 6},
        {"channel 2 of track 1", 1, 2, false, 2},
        {"A channel 2 of track 1", 1, 2, true, 2},
    };
    for (const Slot& c : slots) {
        SCOPED_TRACE(c.name);
        auto sound = [&](MfiTrackBuilder& t, std::uint8_t delta) -> MfiTrackBuilder& {
            return c.onAChannel ? kind52(t, delta, c.channel) : t.note(delta, c.channel);
        };
        MfiTrackBuilder track0 = setupWithGain().effectSettings(0, blocks);
        MfiTrackBuilder track1;
        MfiTrackBuilder& playing = c.track == 0 ? track0 : track1;
        playing.effectSend(0, c.channel, c.onAChannel, 80);
        sound(playing, 0);
        track0.effectSelect(10, 65);
        sound(playing, c.track == 0 ? 10 : 20);
        sound(playing, 5);
        if (c.track != 0) track0.nop(10);
        mfi::VolumeFile model = parsed(c.track == 0 ? mfiFile("0400", {track0}) : mfiFile("0400", {track0, track1}));
        regulateEffects(model, 3.0);
        const int code = c.channel + (c.onAChannel ? 16 : 0);
        EXPECT_EQ(codedSends(model, c.track), (std::vector<std::array<int, 3>>{{0, code, 80}, {20, code, 67}}));
        EXPECT_TRUE(model.eventAt(c.track, c.copyAt)->isEffectSend());
        EXPECT_EQ(model.eventAt(c.track, c.copyAt + 1)->kind(), c.onAChannel ? EventKind::Escape00 : EventKind::Note);
        EXPECT_EQ(levelOfBlock(model, 0), 90);
        EXPECT_EQ(levelOfBlock(model, 1), 118);
    }
}

// A send at the very tick of a selection is still under the type before it;
// the copy made for the selection carries its value under the new type.
TEST(MfiEffectRegulation, ASendAtTheTickOfASelectionIsUnderTheTypeBefore) {
    const ByteVector blocks = joined({effectBlock(0x1000, 90), effectBlock(0x4900, 100)});
    const ByteVector in =
        mfiFile("0400", {setupWithGain().effectSettings(0, blocks).effectSelect(10, 65).nop(20),
                         MfiTrackBuilder().effectSend(10, 2, false, 80).note(0, 2).note(10, 2).note(5, 2)});
    mfi::VolumeFile model = parsed(in);
    regulateEffects(model, 3.0);
    EXPECT_EQ(sends(model, 1), (std::vector<std::pair<int, int>>{{10, 80}, {20, 67}}));
}

TEST(MfiEffectRegulation, KeepsLevelsWithinOneTo127) {
    const ByteVector blocks = joined({effectBlock(0x4A00, 120), effectBlock(0x4B00, 2), effectBlock(0x5301, 0)});
    mfi::VolumeFile up = parsed(
        mfiFile("0400", {setupWithGain().effectSettings(0, blocks).effectSend(0, 0, true, 1).note(0, 0).note(1, 0)}));
    regulateEffects(up, 60.0);
    EXPECT_EQ(levelOfBlock(up, 0), 127);
    EXPECT_EQ(levelOfBlock(up, 2), 1);  // 0 is not kept
    EXPECT_EQ(sends(up, 0), (std::vector<std::pair<int, int>>{{0, 1}}));
    mfi::VolumeFile down = parsed(mfiFile("0400", {setupWithGain().effectSettings(0, blocks).note(0, 0).note(1, 0)}));
    regulateEffects(down, -60.0);
    EXPECT_EQ(levelOfBlock(down, 1), 1);
}

// A send of 0 keeps the effect off on its channel: it is neither scaled (the
// floor of 1 would switch the effect on) nor copied where a selection
// switches to a regulated type. The send of 40 beside it shows the
// regulation at work: -3 dB moves it up, and its copy follows.
TEST(MfiEffectRegulation, ASendOfZeroStaysZero) {
    VolumeSettings minus3 = relative(-3);
    minus3.regulateChorus = true;
    const struct {
        const char* what;
        ByteVector blocks;
        std::vector<std::pair<int, int>> sendsAfter;  // (tick, value) of track 0
    } cases[] = {
        {"under the regulated type from the start (the selection names no block)",
         effectBlock(0x4900, 100),
         {{0, 0}, {0, 47}, {15, 47}}},
        {"before a selection of the regulated type",
         joined({effectBlock(0x1000, 90), effectBlock(0x4900, 100)}),
         {{0, 0}, {0, 40}, {15, 47}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteVector in = mfiFile("0400", {setupWithGain()
                                                   .effectSettings(0, c.blocks)
                                                   .effectSend(0, 0, false, 0)
                                                   .effectSend(0, 1, false, 40)
                                                   .note(0, 0)
                                                   .note(0, 1)
                                                   .effectSelect(10, 65)
                                                   .note(5, 0)
                                                   .note(0, 1)
                                                   .nop(5)});
        ByteVector out;
        ASSERT_TRUE(applyMaxGainRule(in, out, minus3, kToday));
        mfi::VolumeFile converted = parsed(out);
        EXPECT_EQ(sends(converted, 0), c.sendsAfter);
    }
}

TEST(MfiEffectRegulation, NeedsAFullEffectBlock) {
    mfi::VolumeFile file =
        parsed(mfiFile("0400", {setupWithGain().effectSettings(0, ByteVector(31, 0)).note(0, 0).note(1, 0)}));
    ByteVector before, after;
    ASSERT_TRUE(file.write(before, kToday));
    regulateEffects(file, 3.0);
    ASSERT_TRUE(file.write(after, kToday));
    EXPECT_EQ(after, before);
}

// Random files with selections, sends and sounding events: planning all send
// copies at once must give the model that placing them one by one gives.
TEST(MfiEffectRegulation, BatchedCopiesMatchOneByOne) {
    std::mt19937 rng(11);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int copiesSeen = 0;
    for (int round = 0; round < 300; ++round) {
        MfiBuilder builder;
        builder.canonicalInfo("0400");
        ByteVector blocks;
        for (int b = 0; b < 1 + pick(4); ++b) blocks = joined({blocks, effectBlock(pick(2) ? 0x4900 : 0x2000, 64)});
        const int tracks = 1 + pick(4);
        for (int t = 0; t < tracks; ++t) {
            MfiTrackBuilder track = t == 0 ? setupWithGain().effectSettings(0, blocks) : MfiTrackBuilder();
            for (int e = 0; e < 5 + pick(40); ++e) {
                const auto delta = static_cast<std::uint8_t>(pick(3) == 0 ? pick(20) : 0);
                const int channel = pick(4);
                switch (pick(t == 0 ? 7 : 6)) {
                    case 0:
                    case 1: track.note(delta, channel); break;
                    case 2: kind52(track, delta, channel); break;
                    case 3: kind46(track, delta, channel); break;
                    case 4:
                    case 5: track.effectSend(delta, channel, pick(2) == 1, static_cast<std::uint8_t>(pick(100))); break;
                    default: track.effectSelect(delta, static_cast<std::uint8_t>(64 + pick(5))); break;
                }
            }
            builder.trac(track);
        }
        const ByteVector in = builder.build();
        mfi::VolumeFile batched;
        mfi::VolumeFile oneByOne;
        if (batched.parse(in) != Result::Converted) continue;
        ASSERT_EQ(oneByOne.parse(in), Result::Converted);
        const double db = pick(2) ? 3.0 : -4.5;
        regulateEffects(batched, db, SendCopyPlanning::Batched);
        regulateEffects(oneByOne, db, SendCopyPlanning::OneByOne);
        ByteVector a, b;
        ASSERT_TRUE(batched.write(a, kToday));
        ASSERT_TRUE(oneByOne.write(b, kToday));
        if (a.size() > in.size()) ++copiesSeen;
        ASSERT_EQ(a, b) << round;
    }
    EXPECT_GT(copiesSeen, 20);
}

}  // namespace
}  // namespace keldro::test
