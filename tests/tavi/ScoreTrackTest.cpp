#include <gtest/gtest.h>

#include <algorithm>

#include "volume/Result.h"
#include "support/TaviFileBuilder.h"
#include "tavi/TrackEditing.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

using namespace tavitest;

Bytes vq2Track(const Bytes& seq) {
    return scoreTrack(1, scoreTrackHeader(1),
                      {chunk("MspI", pointBody(0, static_cast<std::uint32_t>(seq.size()))), chunk("Mtsq", seq)});
}
Bytes vq3Track(const Bytes& seq) { return scoreTrack(5, scoreTrackHeader(5), {chunk("Mtsq", seq)}); }

// What a test expects of one record: before and after are in the fields the
// action works on (volume, gain or level).
struct Expected {
    int channel;
    int before;
    int after;
    ActionCode action;
    std::uint64_t position;
};

void expectRecord(const VolumeChangeRecord& r, const Expected& e) {
    SCOPED_TRACE(::testing::PrintToString(r));
    EXPECT_EQ(r.channel, e.channel);
    EXPECT_EQ(r.action, e.action);
    EXPECT_EQ(r.position, e.position);
    switch (e.action) {
        case kActionMaxGainRelative:
        case kActionMaxGainAbsolute:
            EXPECT_EQ(r.beforeGain, e.before);
            EXPECT_EQ(r.afterGain, e.after);
            break;
        case kActionVolumeRelative:
        case kActionVolumeAbsolute:
        case kActionInsertedVolumeRelative:
        case kActionInsertedVolumeAbsolute:
            EXPECT_EQ(r.beforeVolume, e.before);
            EXPECT_EQ(r.afterVolume, e.after);
            break;
        default:
            EXPECT_EQ(r.beforeLevel, e.before);
            EXPECT_EQ(r.afterLevel, e.after);
            break;
    }
}

// A sequence's inserts are made in place at the end of the converted chunk:
// they give what the copying splice gives, several at one place in order.
TEST(TrackEditing, InsertsInPlaceGiveWhatTheSplicesGive) {
    using trackedit::Splice;
    const Bytes body{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::uint8_t a[] = {0xA0, 0xA1};
    const std::uint8_t b[] = {0xB0};
    const std::uint8_t c[] = {0xC0, 0xC1, 0xC2, 0xC3};
    const std::vector<Splice> splices = {Splice::of(0, 0, a), Splice::of(4, 0, b), Splice::of(4, 0, c),
                                         Splice::of(9, 0, a)};
    const Bytes spliced = trackedit::applySplices(body, splices);
    EXPECT_EQ(spliced, (Bytes{0xA0, 0xA1, 1, 2, 3, 4, 0xB0, 0xC0, 0xC1, 0xC2, 0xC3, 5, 6, 7, 8, 9, 0xA0, 0xA1}));
    Bytes buffer = cat({{0xEE, 0xEF}, body});  // the chunk so far, the body last
    EXPECT_EQ(trackedit::applyInsertsInPlace(buffer, 2, splices, 100), spliced.size());
    EXPECT_EQ(buffer, cat({{0xEE, 0xEF}, spliced}));
}

// Channel 0 has a volume event (rewritten); channels 1 and 3 play before any
// volume event and have control events (each gets one inserted at the front);
// channel 2 only plays notes (gets none).
TEST(ScoreTrack, Vq2RewritesVolumesAndInsertsMissingOnesAtTheFront) {
    const Bytes seq = cat({{0x03, 0x00, 0x37, 100},   // ch0 volume 100 at tick 3
                           {0x02, 0x45, 0x03},        // ch1 note
                           {0x00, 0x00, 0x7A, 0x10},  // ch1 control
                           {0x01, 0xC1, 0x02},        // ch3 note
                           {0x00, 0x00, 0xF2, 0x05},  // ch3 control
                           shortForm(130),
                           {0x81, 0x01},
                           {0x00, 0x00, 0x00, 0x00}});
    Bytes track = scoreTrack(1, scoreTrackHeader(1, 0x11, 0x10),
                             {chunk("MspI", pointBody(0, 23)), chunk("Mtsu", {1, 2}), chunk("Mtsq", seq)});
    TrackRun run;
    ASSERT_EQ(run.convert(track), Result::Converted);

    Bytes converted = seq;
    converted[3] = 71;
    const Bytes expectedSeq = cat({{0x00, 0x00, 0x77, 71, 0x00, 0x00, 0xF7, 71}, converted});
    const Bytes expected =
        scoreTrack(1, scoreTrackHeader(1, 0x11, 0x10),
                   {chunk("MspI", pointBody(8, 31)), chunk("Mtsu", {1, 2}), chunk("Mtsq", expectedSeq)});
    EXPECT_EQ(track, expected);

    const VolumeChangeList records = run.records();
    ASSERT_EQ(records.size(), 3u);
    expectRecord(records[0],
                 {.channel = 0, .before = 100, .after = 71, .action = kActionVolumeRelative, .position = 3});
    expectRecord(records[1],
                 {.channel = 3, .before = 99, .after = 71, .action = kActionInsertedVolumeRelative, .position = 0});
    expectRecord(records[2],
                 {.channel = 1, .before = 99, .after = 71, .action = kActionInsertedVolumeRelative, .position = 0});
    EXPECT_EQ(records[0].track, 1);
    EXPECT_EQ(records[0].timebase, 20);
    EXPECT_EQ(records[0].gateTimebase, 10);
    EXPECT_EQ(volumeChanges(records), 3);
}

// A file with a change at every event makes a long list of records, which
// grows by a quarter at a time: doubling would leave room for 2048 records
// where 1100 are made, and move all of them each time. A run that asks for
// no records (no log) converts alike and keeps none.
TEST(ScoreTrack, ChangeRecordsGrowByAQuarterOrAreNotKept) {
    constexpr std::size_t kVolumes = 1100;
    Bytes seq;
    for (std::size_t i = 0; i < kVolumes; ++i) seq.insert(seq.end(), {0x01, 0x00, 0x37, 100});
    seq.insert(seq.end(), {0x00, 0x00, 0x00, 0x00});
    const Bytes file = taviFile({cnti(), vq2Track(seq)});
    const tavi::Conversion kept = tavi::convert(file, relativeSettings());
    ASSERT_EQ(kept.result, Result::Converted);
    ASSERT_EQ(kept.changes.size(), kVolumes);
    EXPECT_LE(kept.changes.capacity(), kVolumes + kVolumes / 4 + 64);

    const tavi::Conversion counted = tavi::convert(file, relativeSettings(), false);
    EXPECT_EQ(counted.result, Result::Converted);
    EXPECT_EQ(counted.output, kept.output);
    EXPECT_TRUE(counted.changes.empty());
    EXPECT_EQ(counted.changes.capacity(), 0u);
}

// Finding the volumes walks as a conversion does and keeps every value: the
// volume found and the one a channel plays at before its first volume.
TEST(ScoreTrack, FindingVolumesKeepsEveryValue) {
    const Bytes seq = {0x00, 0x45, 0x03, 0x00, 0x00, 0x77, 0x20, 0x00, 0x00, 0x37, 100};
    const tavi::Conversion found = tavi::findVolumes(taviFile({cnti(), vq2Track(seq)}));
    EXPECT_EQ(found.result, Result::Converted);
    ASSERT_EQ(found.changes.size(), 3u);  // both volumes, then channel 1's before its note
    EXPECT_EQ(found.changes[0].beforeVolume, 0x20);
    EXPECT_EQ(found.changes[1].beforeVolume, 100);
    EXPECT_EQ(found.changes[2].beforeVolume, tavi::kAssumedChannelVolume);
    for (const VolumeChangeRecord& r : found.changes) EXPECT_EQ(r.afterVolume, r.beforeVolume);
}

// Master volume exclusives are rewritten in every sequence; 0xFF 0x2F 0x00
// ends only its own sequence; the setup data is not looked into.
TEST(ScoreTrack, Vq3RewritesMasterVolumesOfEverySequence) {
    const Bytes first = cat({{0x00},
                             vq35MasterVolume(100),
                             {0x05, 0x80, 0x40, 0x04},
                             {0x00, 0xA0, 0x01, 0x02},
                             {0x00, 0xFF, 0x2F, 0x00},
                             {0x70}});
    const Bytes second = cat({{0x02}, vq35MasterVolume(100)});
    const Bytes setup = vq35MasterVolume(100);
    Bytes track = scoreTrack(5, scoreTrackHeader(5),
                             {chunk("MspI", pointBody(0, 0)), chunk("Mtsu", setup), chunk("Mtsq", first),
                              chunk("Mtsp", {9}), chunk("Mtsq", second)});
    TrackRun run;
    ASSERT_EQ(run.convert(track), Result::Converted);

    const Bytes expected = scoreTrack(5, scoreTrackHeader(5),
                                      {chunk("MspI", pointBody(0, 0)), chunk("Mtsu", setup),
                                       chunk("Mtsq", cat({{0x00},
                                                          vq35MasterVolume(71),
                                                          {0x05, 0x80, 0x40, 0x04},
                                                          {0x00, 0xA0, 0x01, 0x02},
                                                          {0x00, 0xFF, 0x2F, 0x00},
                                                          {0x70}})),
                                       chunk("Mtsp", {9}), chunk("Mtsq", cat({{0x02}, vq35MasterVolume(71)}))});
    EXPECT_EQ(track, expected);
    const VolumeChangeList records = run.records();
    ASSERT_EQ(records.size(), 2u);
    expectRecord(records[0],
                 {.channel = 255, .before = 100, .after = 71, .action = kActionVolumeRelative, .position = 0});
    expectRecord(records[1],
                 {.channel = 255, .before = 100, .after = 71, .action = kActionVolumeRelative, .position = 2});
    EXPECT_EQ(records[1].track, 5);
}

// A VQ-3 file must set its master volume before the first note (or
// note-like event) sounds.
TEST(ScoreTrack, MasterVolumeAfterTheFirstNoteIsNotBeforeIt) {
    struct {
        Bytes seq;
        Result result;
    } cases[] = {
        {cat({{0x00, 0x90, 0x40, 0x40, 0x01}, {0x00}, vq35MasterVolume(100)}), Result::NoMasterVolume},
        {cat({{0x00, 0xD0, 0x01}, {0x00}, vq35MasterVolume(100)}), Result::NoMasterVolume},
        {cat({{0x00}, vq35MasterVolume(100), {0x00, 0x90, 0x40, 0x40, 0x01}}), Result::Converted},
    };
    for (auto& c : cases) {
        Bytes track = vq3Track(c.seq);
        TrackRun run;
        EXPECT_EQ(run.convert(track), c.result);
        EXPECT_EQ(volumeChanges(run.records()), 1);
    }
}

// Setup data carries MaxGain and master volume; the sequence regulates the
// effect depth and a chorus send, then the effect changes and a note on the
// same channel gets its chorus send back (inserted before the note), which
// moves the master volume that follows by four bytes. Status bytes 0x00-0x7F
// address channels 0-15 and 0x80-0xFF channels 16-31: channel 2 through 0x32
// and 0x02, and channel 16 through 0xB0 and 0x80 (the lowest status of the
// upper half).
TEST(ScoreTrack, Vq7RegulatesChorusAndShiftsLaterOverwrites) {
    struct Channel {
        int number;
        std::uint8_t control, note;
    } channels[] = {{2, 0x32, 0x02}, {16, 0xB0, 0x80}};
    for (const Channel& ch : channels) {
        SCOPED_TRACE(ch.number);
        const Bytes setup = cat({vq7MaxGain(0), vq7MasterVolume(100)});
        auto sequence = [&](std::uint8_t depth, std::uint8_t send, const Bytes& inserted, std::uint8_t master) {
            return cat({{0x00},
                        vq7EffectParameters({effectBlock(0x4900, depth), effectBlock(0x0100, 50)}),
                        {0x00, ch.control, 0x5D, send},
                        {0x00},
                        vq7EffectSelect(0x41),
                        {0x05},
                        inserted,
                        {ch.note, 0x3C, 0x07},
                        {0x00},
                        vq7MasterVolume(master),
                        {0x03, 0x94, 0x3C, 0x40, 0x02}});
        };
        Bytes track = vq7Track(setup, sequence(64, 64, {}, 100));
        TrackRun run;
        run.settings.regulateChorus = true;
        ASSERT_EQ(run.convert(track), Result::Converted);

        const Bytes expected =
            vq7Track(cat({vq7MaxGain(20), vq7MasterVolume(127)}), sequence(45, 90, {ch.control, 0x5D, 64, 0x00}, 127));
        EXPECT_EQ(track, expected);
        const VolumeChangeList records = run.records();
        ASSERT_EQ(records.size(), 6u);
        expectRecord(records[0],
                     {.channel = 255, .before = 0, .after = 20, .action = kActionMaxGainRelative, .position = 0});
        expectRecord(records[1],
                     {.channel = 255, .before = 100, .after = 127, .action = kActionVolumeRelative, .position = 0});
        expectRecord(records[2],
                     {.channel = 255, .before = 64, .after = 45, .action = kActionEffectDepthRelative, .position = 0});
        expectRecord(
            records[3],
            {.channel = ch.number, .before = 64, .after = 90, .action = kActionChorusSendRelative, .position = 0});
        expectRecord(records[4], {.channel = ch.number,
                                  .before = 64,
                                  .after = 64,
                                  .action = kActionChorusBeforeNoteRelative,
                                  .position = 5});
        expectRecord(records[5],
                     {.channel = 255, .before = 100, .after = 127, .action = kActionVolumeRelative, .position = 5});
        EXPECT_EQ(volumeChanges(records), 2);
        EXPECT_EQ(chorusChanges(records), 3);
    }
}

TEST(ScoreTrack, Vq7ChorusIsLeftAloneWithoutRegulationOrWhenOff) {
    const Bytes seq = cat({{0x00},
                           vq7EffectParameters({effectBlock(0x4900, 64)}),
                           {0x00, 0x32, 0x5D, 0x00},  // send 0: never regulated
                           {0x00, 0xB5, 0x5D, 0x30},  // channel 21, but regulation is off
                           {0x00, 0x85, 0x3C, 0x01}});
    for (bool regulate : {false, true}) {
        Bytes track = vq7Track(cat({vq7MaxGain(0), vq7MasterVolume(100)}), seq);
        TrackRun run;
        run.settings.regulateChorus = regulate;
        ASSERT_EQ(run.convert(track), Result::Converted);
        EXPECT_EQ(chorusChanges(run.records()), regulate ? 2 : 0) << regulate;
    }
}

// Selectors 0x40 ... 0x5F pick one of up to 32 effect blocks. Only the last
// block is a chorus: selecting it brings the channel's chorus send back before
// the note (regulated), besides the regulated depth of that block; 0x60 lies
// past the range and selects nothing.
TEST(ScoreTrack, Vq7SelectorsReachTheLastOfThirtyTwoEffectBlocks) {
    Bytes blocks;
    for (int i = 0; i < 32; ++i) append(blocks, effectBlock(i == 31 ? 0x4900 : 0x0100, 50));
    for (std::uint8_t selector : {std::uint8_t{0x5F}, std::uint8_t{0x60}}) {
        SCOPED_TRACE(selector);
        const Bytes seq = cat({{0x00},
                               commandExclusive(0x27, blocks),
                               {0x00, 0x32, 0x5D, 64},
                               {0x00},
                               vq7EffectSelect(selector),
                               {0x05, 0x02, 0x3C, 0x07}});
        Bytes track = vq7Track(cat({vq7MaxGain(0), vq7MasterVolume(100)}), seq);
        TrackRun run;
        run.settings.regulateChorus = true;
        ASSERT_EQ(run.convert(track), Result::Converted);
        EXPECT_EQ(chorusChanges(run.records()), selector == 0x5F ? 2 : 1);
        const Bytes insertedBeforeNote = {0x05, 0x32, 0x5D, 90, 0x00, 0x02};
        EXPECT_EQ(std::search(track.begin(), track.end(), insertedBeforeNote.begin(), insertedBeforeNote.end()) !=
                      track.end(),
                  selector == 0x5F);
    }
}

// A VQ-7 file must set its MaxGain in the set-up data; one that appears only
// in the sequence does not count.
TEST(ScoreTrack, Vq7SetupWithoutMaxGainChangeIsReported) {
    const struct {
        const char* what;
        Bytes sequence;
    } cases[] = {
        {"no MaxGain at all", {0x00, 0x00, 0x3C, 0x01}},
        {"MaxGain only in the sequence", cat({{0x00}, vq7MaxGain(4), {0x00, 0x00, 0x3C, 0x01}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes track = vq7Track(vq7MasterVolume(100), c.sequence);
        const VolumeSettings settings = relativeSettings();
        const ConvertedFile done = convertWith(settings, taviFile({cnti(), track}));
        EXPECT_EQ(done.result, Result::NoMaxGain);
        EXPECT_EQ(resultMessage(done.result), "Can not find MaxGain.");
        EXPECT_TRUE(done.output.empty());
    }
}

// A track the converter accepts goes on to the file's own checks: the rows
// ending "quietly" fail only for lack of a master volume or MaxGain.
TEST(ScoreTrack, DamagedTracksReportTheirError) {
    const Bytes mspi = chunk("MspI", pointBody(0, 0));
    struct Case {
        const char* what;
        Bytes chunk;
        Result result;
    } cases[] = {
        {"VQ-2 body below 6", chunk("MTR", 1, Bytes(5, 0)), Result::ChunkSizeMtr},
        {"VQ-7 body below 20", chunk("MTR", 7, Bytes(19, 0)), Result::ChunkSizeMtr},
        {"VQ-7 short header, no sub-chunks", chunk("MTR", 7, Bytes(30, 0)), Result::NoMaxGain},
        {"unknown sub-chunk", scoreTrack(1, scoreTrackHeader(1), {mspi, chunk("Mxyz", {})}),
         Result::NonsupportChunkIdMtr},
        {"VQ-5 with MspI", scoreTrack(6, scoreTrackHeader(6), {mspi}), Result::NonsupportChunkIdMtr},
        {"VQ-2 with Mtsp", scoreTrack(1, scoreTrackHeader(1), {mspi, chunk("Mtsp", {})}), Result::NonsupportChunkIdMtr},
        {"MspI past the track", cutLast(scoreTrack(1, scoreTrackHeader(1), {mspi}), 1), Result::ChunkSizeMspi},
        {"Mtsu past the track", cutLast(scoreTrack(1, scoreTrackHeader(1), {mspi, chunk("Mtsu", {1})}), 1),
         Result::ChunkSizeMtsu},
        {"Mtsq past the track", cutLast(vq3Track({0x00, 0xFF, 0x00}), 1), Result::ChunkSizeMtsq},
        {"Mthv past the track", cutLast(scoreTrack(6, scoreTrackHeader(6), {chunk("Mthv", {1})}), 1),
         Result::ChunkSizeMtsp},
        {"MspI of 15 bytes", scoreTrack(1, scoreTrackHeader(1), {chunk("MspI", Bytes(15, 0))}), Result::ChunkSizeMspi},
        {"VQ-3 MspI of 15 bytes", scoreTrack(5, scoreTrackHeader(5), {chunk("MspI", Bytes(15, 0))}),
         Result::ChunkSizeMspi},
        {"MspI without st:", scoreTrack(1, scoreTrackHeader(1), {chunk("MspI", Bytes(16, 0))}),
         Result::InvalidPointsMspi},
        {"VQ-2 without MspI", scoreTrack(1, scoreTrackHeader(1), {chunk("Mtsq", {0x00, 0xFF, 0x00})}),
         Result::InvalidPointsMspi},
        {"VQ-2 unknown 0xFF event", vq2Track({0x00, 0xFF, 0x01}), Result::SequenceDataMtsq},
        {"VQ-2 exclusive without 0xF7", vq2Track({0x00, 0xFF, 0xF0, 0x02, 0x01, 0x02}), Result::ChunkSizeMtsq},
        {"VQ-2 exclusive past the end", vq2Track({0x00, 0xFF, 0xF0, 0x04, 0x01, 0xF7}), Result::ChunkSizeMtsq},
        {"VQ-2 event missing", vq2Track({0x05}), Result::ChunkSizeMtsq},
        {"VQ-2 control cut", vq2Track({0x00, 0x00, 0x37}), Result::ChunkSizeMtsq},
        {"VQ-2 duration cut", vq2Track({0x80}), Result::SequenceData},
        {"VQ-2 gate time cut", vq2Track({0x00, 0x45}), Result::SequenceData},
        {"VQ-3 exclusive of 5 bytes", vq3Track({0x00, 0xF0, 0x05, 1, 2, 3, 4, 0xF7}), Result::ExclusiveSizeMtsq},
        {"VQ-3 exclusive past the end", vq3Track({0x00, 0xF0, 0x09, 1, 2, 3, 4, 5, 0xF7}), Result::ExclusiveSizeMtsq},
        {"VQ-3 exclusive without 0xF7", vq3Track({0x00, 0xF0, 0x06, 1, 2, 3, 4, 5, 6}), Result::IllegalExclusiveMtsq},
        {"VQ-3 status 0x70", vq3Track({0x00, 0x70}), Result::SequenceDataMtsq},
        {"VQ-3 end of track 0xFF 0x2F 0x01", vq3Track({0x00, 0xFF, 0x2F, 0x01}), Result::SequenceDataMtsq},
        {"VQ-3 control cut", vq3Track({0x00, 0xB0, 0x07}), Result::SequenceDataMtsq},
        {"VQ-3 duration cut", vq3Track({0x81}), Result::SequenceDataMtsq},
        {"VQ-3 gate time cut", vq3Track({0x00, 0x80, 0x40}), Result::SequenceDataMtsq},
        {"VQ-3 0xA0 cut ends quietly", vq3Track({0x00, 0xA0, 0x01}), Result::NoMasterVolume},
        {"VQ-5 0xD0 cut ends quietly", scoreTrack(6, scoreTrackHeader(6), {chunk("Mtsq", {0x00, 0xD0})}),
         Result::NoMasterVolume},
        {"VQ-7 status 0x75", vq7Track({}, {0x00, 0x75, 0x00}), Result::SequenceDataMtsq},
        {"VQ-7 status 0xF3", vq7Track({}, {0x00, 0xF3}), Result::SequenceDataMtsq},
        {"VQ-7 0xD0 cut", vq7Track({}, {0x00, 0xD0}), Result::SequenceDataMtsq},
        {"VQ-7 0x20 cut ends quietly", vq7Track({}, {0x00, 0x21, 0x01}), Result::NoMaxGain},
        {"VQ-7 effect parameters of 37 bytes", vq7Track({}, cat({{0x00}, commandExclusive(0x27, Bytes(31, 0))})),
         Result::ExclusiveSizeMtsq},
        {"VQ-7 setup byte not 0xF0", vq7Track({0x00, 0xF0}, {}), Result::SequenceData},
        {"VQ-7 setup exclusive of 5 bytes", vq7Track({0xF0, 0x05, 1, 2, 3, 4, 0xF7}, {}), Result::ExclusiveSizeMtsq},
    };
    for (Case& c : cases) {
        TrackRun run;
        EXPECT_EQ(run.convert(c.chunk), c.result) << c.what;
    }
}

}  // namespace
}  // namespace keldro
