#include "VolumeTestSupport.h"
#include "volume/Result.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

const mfi::Date kToday{2026, 3, 7};

struct Reported {
    Result result = Result::Converted;
    VolumeChangeList changes;
};

// Converts a file as the per-file flow does and reports the changes.
Reported convertAndReport(const ByteVector& in, const VolumeSettings& settings, int version) {
    ByteVector work(2 * in.size() + 200, 0);
    std::size_t length = 0;
    const Result pass = passOnBytes(in, version, work, length, settings, &kToday);
    Reported out;
    EXPECT_EQ(pass, Result::Converted);
    if (!ok(pass)) return out;
    work.resize(length);
    mfi::VolumeFile source = parsed(in);
    mfi::VolumeFile converted = parsed(work);
    out.result = version == 20 ? reportChannelVolumeChanges(version, source, converted, settings, out.changes)
                               : reportMaxGainChanges(source, converted, settings, out.changes);
    if (isSuccess(out.result)) reportEffectChanges(version, source, converted, settings, out.changes);
    return out;
}

// The fields a test looks at: track, channel, before/after of the column the action uses, action, position.
struct Row {
    int track, channel, before, after, action;
    std::uint64_t position;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    os << "{track " << r.track << ", channel " << r.channel << ", " << r.before << "->" << r.after << ", action ";
    printAction(r.action, &os);
    return os << ", position " << r.position << "}";
}

std::vector<Row> rows(const VolumeChangeList& changes) {
    std::vector<Row> out;
    for (const VolumeChangeRecord& r : changes) {
        int before = r.beforeVolume, after = r.afterVolume;
        if (r.action == kActionMaxGainRelative || r.action == kActionMaxGainAbsolute)
            before = r.beforeGain, after = r.afterGain;
        if (r.action >= kActionEffectDepthRelative) before = r.beforeLevel, after = r.afterLevel;
        out.push_back({r.track, r.channel, before, after, r.action, r.position});
    }
    return out;
}

// MaxGain 10, master volumes 100 (tick 0) and 90 (tick 5, 50 ms), notes from tick 0.
ByteVector version30File() {
    return mfiFile("0300",
                   {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).masterVolume(5, 90).note(1, 0)});
}

TEST(MfiMaxGainReport, RelativeRecordsMaxGainAndEveryMasterVolume) {
    VolumeSettings settings;  // relative 0 dB: the loudest volume 100 moves the MaxGain to 18
    const Reported r = convertAndReport(version30File(), settings, 30);
    EXPECT_EQ(r.result, Result::Converted);
    EXPECT_EQ(rows(r.changes), (std::vector<Row>{{0, 0, 10, 18, kActionMaxGainRelative, 0},
                                                 {0, 0, 100, 127, kActionVolumeRelative, 0},
                                                 {0, 0, 90, 113, kActionVolumeRelative, 50}}));
}

TEST(MfiMaxGainReport, AbsoluteRecordsTheMaxGainOnly) {
    VolumeSettings settings;
    settings.absoluteMode = 1;
    settings.maxGainTenths = tenthsOfAttenuationSteps(4);
    const Reported r = convertAndReport(version30File(), settings, 30);
    EXPECT_EQ(r.result, Result::Converted);
    EXPECT_EQ(rows(r.changes), (std::vector<Row>{{0, 0, 10, 4, kActionMaxGainAbsolute, 0}}));
}

TEST(MfiMaxGainReport, ChecksTheOrderOfMaxGainMasterVolumeAndFirstSound) {
    struct Case {
        const char* name;
        MfiTrackBuilder track0;
        Result result;
    };
    const Case cases[] = {
        {"master volume between MaxGain and first note",
         MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(1, 0), Result::Converted},
        {"MaxGain after the first note", MfiTrackBuilder().masterVolume(0, 100).note(0, 0).maxGain(1, 10).note(1, 0),
         Result::NoMaxGain},
        {"MaxGain after the first note by index only",
         MfiTrackBuilder().note(0, 0).maxGain(0, 10).masterVolume(0, 100).note(1, 0), Result::NoMaxGain},
        {"master volume before the MaxGain",
         MfiTrackBuilder().masterVolume(0, 100).maxGain(0, 10).masterVolume(0, 90).note(1, 0), Result::NoMaxGain},
        {"first master volume after the first note",
         MfiTrackBuilder().maxGain(0, 10).note(0, 0).masterVolume(0, 100).note(1, 0), Result::NoMasterVolume},
        {"first master volume later than the first sound",
         MfiTrackBuilder().maxGain(0, 10).masterVolume(3, 100).nop(0).nop(0), Result::NoMasterVolume},
        {"nothing sounds", MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).nop(0), Result::Converted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VolumeSettings settings;
        // A note of track 1 at tick 1 for the case of a master volume after the first sound.
        const ByteVector in = std::string_view(c.name) == "first master volume later than the first sound"
                                  ? mfiFile("0300", {c.track0, MfiTrackBuilder().note(1, 0).note(1, 0)})
                                  : mfiFile("0300", {c.track0});
        EXPECT_EQ(convertAndReport(in, settings, 30).result, c.result);
    }
}

TEST(MfiChannelVolumeReport, RelativeRecordsConvertedAndInsertedVolumes) {
    VolumeSettings settings;
    settings.dbTenths = 30;
    const ByteVector in =
        mfiFile("0200", {setup().channelVolume(0, 0, 40).note(0, 0).note(0, 1).adpcmVolume(0, 40).adpcmNote(5)});
    const Reported r = convertAndReport(in, settings, 20);
    EXPECT_EQ(r.result, Result::Converted);
    // Channel 0 converted, channel 1 given a volume before it plays, the ADPCM volume converted.
    EXPECT_EQ(rows(r.changes), (std::vector<Row>{{0, 0, 40, 49, kActionVolumeRelative, 0},
                                                 {0, 1, 63, 63, kActionInsertedVolumeRelative, 0},
                                                 {255, 255, 40, 49, kActionVolumeRelative, 0}}));
    // A record for every volume event of the converted file: the list is made
    // at that size once, with no room to spare (a dense file's list is large).
    EXPECT_EQ(r.changes.capacity(), r.changes.size());
}

TEST(MfiChannelVolumeReport, AbsoluteRecordsOnlyGivenChannels) {
    VolumeSettings settings;
    settings.absoluteMode = 1;
    giveChannel(settings, 0, 50);  // "-c1"
    // (A note that is the last event of its track is never found; hence the final note.)
    const ByteVector plays = mfiFile("0200", {setup().channelVolume(0, 1, 30).note(0, 1).note(0, 0).note(1, 1)});
    const Reported r = convertAndReport(plays, settings, 20);
    EXPECT_EQ(r.result, Result::Converted);
    EXPECT_EQ(rows(r.changes), (std::vector<Row>{{0, 0, 63, 50, kActionInsertedVolumeAbsolute, 0}}));

    const ByteVector silent = mfiFile("0200", {setup().channelVolume(0, 1, 30).note(0, 1).note(0, 1)});
    const Reported none = convertAndReport(silent, settings, 20);
    EXPECT_EQ(none.result, Result::NotConverted);
    EXPECT_TRUE(none.changes.empty());

    // Entries count tracks in fours: track 1 channel 2 is entry 6 ("-c7").
    VolumeSettings track1;
    track1.absoluteMode = 1;
    giveChannel(track1, 6, 50);
    const ByteVector second = mfiFile(
        "0200", {setup().note(0, 0).note(1, 0), MfiTrackBuilder().channelVolume(0, 2, 30).note(0, 2).note(1, 2)});
    const Reported r1 = convertAndReport(second, track1, 20);
    EXPECT_EQ(r1.result, Result::Converted);
    EXPECT_EQ(rows(r1.changes), (std::vector<Row>{{1, 2, 30, 50, kActionVolumeAbsolute, 0}}));
}

// A report that keeps no records (no log asks for them) decides the outcome
// as one that keeps them: by how many it would have kept.
TEST(MfiChannelVolumeReport, CountingDecidesAsKeeping) {
    struct Case {
        const char* name;
        ByteVector file;
        Result expected;
    };
    const Case cases[] = {
        {"a volume to record", mfiFile("0200", {setup().channelVolume(0, 0, 40).note(0, 0).note(1, 0)}),
         Result::Converted},
        {"nothing to record", mfiFile("0200", {setup().note(0, 0).note(1, 0)}), Result::NotConverted},
    };
    VolumeSettings settings;
    settings.dbTenths = -30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mfi::VolumeFile input = parsed(c.file);
        mfi::VolumeFile converted = parsed(c.file);
        const mfi::InputVolumes volumes(input, mfi::InputVolumes::kVolumes);
        VolumeChangeList kept;
        EXPECT_EQ(mfi::reportChannelVolumeChanges(20, volumes, converted, settings, kept), c.expected);
        EXPECT_EQ(mfi::reportChannelVolumeChanges(20, volumes, converted, settings, ChangeSink::counting()),
                  c.expected);
    }
}

TEST(MfiChannelVolumeReport, OtherVersionsConvertNothing) {
    VolumeSettings settings;
    mfi::VolumeFile a = parsed(version30File());
    mfi::VolumeFile b = parsed(version30File());
    VolumeChangeList changes;
    EXPECT_EQ(reportChannelVolumeChanges(30, a, b, settings, changes), Result::NotConverted);
}

TEST(MfiEffectReport, RecordsLevelsAndSendsOfVersion40) {
    // Block 1 (0x4A00, level 100) is selected at tick 10; the send of channel 1
    // is copied before the note at tick 20 (200 ms) and scaled down there.
    const ByteVector blocks = joined({effectBlock(0x1000, 90), effectBlock(0x4A00, 100)});
    const ByteVector in = mfiFile("0400", {MfiTrackBuilder()
                                               .maxGain(0, 10)
                                               .masterVolume(0, 100)
                                               .effectSettings(0, blocks)
                                               .effectSend(0, 1, false, 80)
                                               .note(0, 1)
                                               .effectSelect(10, 65)
                                               .note(10, 1)
                                               .note(5, 1)});
    VolumeSettings settings;
    settings.dbTenths = 30;
    settings.regulateChorus = true;
    const Reported r = convertAndReport(in, settings, 40);
    ASSERT_EQ(r.result, Result::Converted);
    const std::vector<Row> all = rows(r.changes);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(std::vector<Row>(all.end() - 2, all.end()),
              (std::vector<Row>{{0, 0, 100, 118, kActionEffectDepthRelative, 0},
                                {0, 1, 80, 67, kActionChorusBeforeNoteRelative, 200}}));

    // Not for MFi 3.1, and not without "-e".
    const ByteVector in31 = [&] {
        ByteVector copy = in;
        mfi::VolumeFile f = parsed(copy);
        f.infoRecord().setVers("0301");
        ByteVector out;
        f.write(out, kToday);
        return out;
    }();
    EXPECT_EQ(rows(convertAndReport(in31, settings, 31).changes).size(), all.size() - 2);
    settings.regulateChorus = false;
    EXPECT_EQ(rows(convertAndReport(in, settings, 40).changes).size(), all.size() - 2);
}

TEST(MfiEffectReport, ChangedSendsUnderARegulatedTypeAreRecorded) {
    const ByteVector blocks = effectBlock(0x4900, 100);
    const ByteVector in = mfiFile("0400", {MfiTrackBuilder()
                                               .maxGain(0, 10)
                                               .masterVolume(0, 100)
                                               .effectSettings(0, blocks)
                                               .effectSend(0, 2, true, 100)
                                               .note(0, 0)
                                               .note(1, 0)});
    VolumeSettings settings;
    settings.absoluteMode = 1;
    settings.maxGainTenths = tenthsOfAttenuationSteps(4);  // +3 dB for the effects
    settings.regulateChorus = true;
    const Reported r = convertAndReport(in, settings, 40);
    ASSERT_EQ(r.result, Result::Converted);
    // MaxGain, then the level, then the send of A channel 2 (code 18).
    EXPECT_EQ(rows(r.changes), (std::vector<Row>{{0, 0, 10, 4, kActionMaxGainAbsolute, 0},
                                                 {0, 0, 100, 118, kActionEffectDepthAbsolute, 0},
                                                 {0, 18, 100, 84, kActionChorusSendAbsolute, 0}}));
}

}  // namespace
}  // namespace keldro::test
