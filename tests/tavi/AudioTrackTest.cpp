#include <gtest/gtest.h>

#include "volume/Result.h"
#include "support/TaviFileBuilder.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

using namespace tavitest;

Bytes audio(std::uint32_t start, std::uint32_t stop, const Bytes& seq) {
    return audioTrack(audioTrackHeader(0x02, 0x03),
                      {chunk("AspI", pointBody(start, stop)), chunk("Atsq", seq), chunk("Awa", 1, {1, 2, 3})});
}

const Bytes kEnd = {0x00, 0x00, 0x00, 0x00};

// The three places the inserted volume X (duration 1) can take its tick from.
TEST(AudioTrack, InsertsAVolumeWhereTheFirstWaveSoundsBeforeAnyVolume) {
    struct Case {
        const char* what;
        std::uint32_t start, stop;
        Bytes seq;
        Bytes expected;
        std::uint32_t newStop;
    } cases[] = {
        {"start event of 5 ticks gives one to X", 3, 13,
         cat({{0x00, 0x10, 0x02}, {0x05, 0x11, 0x02}, {0x03, 0x00, 0x37, 100}, kEnd}),
         cat({{0x00, 0x10, 0x02}, {0x01, 0x00, 0x37, 71}, {0x04, 0x11, 0x02}, {0x03, 0x00, 0x37, 71}, kEnd}), 17},
        {"start event of 128 ticks shrinks to the one-byte form", 0, 5, cat({shortForm(128), {0x11, 0x02}, kEnd}),
         cat({{0x01, 0x00, 0x37, 71}, shortForm(127), {0x11, 0x02}, kEnd}), 8},
        {"one-tick wave with gate 1 is replaced by X", 0, 3, cat({{0x01, 0x20, 0x01}, {0x02, 0x21, 0x01}, kEnd}),
         cat({{0x01, 0x00, 0x37, 71}, {0x02, 0x21, 0x01}, kEnd}), 4},
        {"replaced wave after the stop point leaves it", 3, 0, cat({{0x00, 0xFF, 0x00}, {0x01, 0x20, 0x01}, kEnd}),
         cat({{0x00, 0xFF, 0x00}, {0x01, 0x00, 0x37, 71}, kEnd}), 0},
        {"replaced wave at the stop point leaves it", 0, 0, cat({{0x01, 0x20, 0x01}, {0x02, 0x21, 0x01}, kEnd}),
         cat({{0x01, 0x00, 0x37, 71}, {0x02, 0x21, 0x01}, kEnd}), 0},
        {"gate and next duration give one tick each", 0, 7,
         cat({{0x01, 0x20}, shortForm(128), {0x04, 0x21, 0x01}, kEnd}),
         cat({{0x01, 0x00, 0x37, 71}, {0x01, 0x20, 0x7F}, {0x03, 0x21, 0x01}, kEnd}), 10},
    };
    for (Case& c : cases) {
        Bytes track = audio(c.start, c.stop, c.seq);
        TrackRun run;  // -6 dB: 99 -> 71, 100 -> 71
        ASSERT_EQ(run.convert(track), Result::Converted) << c.what;
        EXPECT_EQ(track, audio(c.start, c.newStop, c.expected)) << c.what;
        const VolumeChangeList records = run.records();
        ASSERT_FALSE(records.empty()) << c.what;
        const VolumeChangeRecord& inserted = records.back();
        EXPECT_EQ(inserted.track, 255);
        EXPECT_EQ(inserted.channel, 255);
        EXPECT_EQ(inserted.beforeVolume, 99);
        EXPECT_EQ(inserted.afterVolume, 71);
        EXPECT_EQ(inserted.action, kActionInsertedVolumeRelative);
        EXPECT_EQ(inserted.position, 0u);
        EXPECT_EQ(inserted.timebase, 4);
        EXPECT_EQ(inserted.gateTimebase, 5);
    }
}

TEST(AudioTrack, VolumeEventIsRecordedAtItsPosition) {
    Bytes track = audio(3, 13, cat({{0x00, 0x10, 0x02}, {0x05, 0x11, 0x02}, {0x03, 0x00, 0x37, 100}, kEnd}));
    TrackRun run;
    ASSERT_EQ(run.convert(track), Result::Converted);
    const VolumeChangeList records = run.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].position, 8u);
    EXPECT_EQ(records[0].beforeVolume, 100);
    EXPECT_EQ(records[0].action, kActionVolumeRelative);
    EXPECT_EQ(volumeChanges(run.records()), 2);
}

TEST(AudioTrack, NoInsertionWhenAVolumeComesFirstOrNoneIsGiven) {
    const Bytes volumeFirst = cat({{0x00, 0x00, 0x37, 100}, {0x05, 0x11, 0x02}, kEnd});
    {
        Bytes track = audio(0, 0, volumeFirst);
        TrackRun run;
        ASSERT_EQ(run.convert(track), Result::Converted);
        Bytes converted = volumeFirst;
        converted[3] = 71;
        EXPECT_EQ(track, audio(0, 0, converted));
    }
    {
        // Absolute mode without an ADPCM volume: nothing changed, nothing inserted.
        const Bytes waveFirst = cat({{0x05, 0x11, 0x02}, {0x00, 0x00, 0x37, 100}, kEnd});
        Bytes track = audio(0, 0, waveFirst);
        const Bytes original = track;
        TrackRun run;
        run.settings.absoluteMode = 1;
        run.settings.channelGiven[0] = 1;
        ASSERT_EQ(run.convert(track), Result::NotConverted);
        EXPECT_EQ(track, original);
        EXPECT_TRUE(run.records().empty());
    }
}

// A wave before the start point asks for a volume at it, but a volume event
// from the start point on up to the first wave after it (one a conversion
// inserted) already sets it: where no tick can be taken, nothing is inserted
// and that event is converted like any other.
TEST(AudioTrack, VolumeFromTheStartPointOnNeedsNoInsertion) {
    const Bytes waveBefore = {0x00, 0x10, 0x02};
    struct Case {
        const char* what;
        std::uint32_t start;
        Bytes seq;
        Bytes expected;
    } cases[] = {
        {"volume at the start point", 3, cat({waveBefore, {0x01, 0x00, 0x37, 71}, {0x04, 0x11, 0x01}, kEnd}),
         cat({waveBefore, {0x01, 0x00, 0x37, 51}, {0x04, 0x11, 0x01}, kEnd})},
        {"volume after a no-operation at the start point", 3,
         cat({waveBefore, {0x01, 0xFF, 0x00}, {0x00, 0x00, 0x37, 100}, {0x03, 0x20, 0x01}, kEnd}),
         cat({waveBefore, {0x01, 0xFF, 0x00}, {0x00, 0x00, 0x37, 71}, {0x03, 0x20, 0x01}, kEnd})},
        {"volume and no wave after the start point", 3, cat({waveBefore, {0x01, 0x00, 0x37, 100}, kEnd}),
         cat({waveBefore, {0x01, 0x00, 0x37, 71}, kEnd})},
    };
    for (Case& c : cases) {
        const std::uint32_t stop = static_cast<std::uint32_t>(c.seq.size());
        Bytes track = audio(c.start, stop, c.seq);
        TrackRun run;  // -6 dB: 100 -> 71, 71 -> 51
        ASSERT_EQ(run.convert(track), Result::Converted) << c.what;
        EXPECT_EQ(track, audio(c.start, stop, c.expected)) << c.what;
        ASSERT_EQ(run.records().size(), 1u) << c.what;
        EXPECT_EQ(run.records()[0].action, kActionVolumeRelative) << c.what;
    }
}

TEST(AudioTrack, DamagedTracksReportTheirError) {
    const Bytes aspi = chunk("AspI", pointBody(0, 0));
    const Bytes fine = {0x00, 0x10, 0x01};
    auto withSeq = [&](const Bytes& seq) { return audioTrack(audioTrackHeader(), {aspi, chunk("Atsq", seq)}); };
    struct Case {
        const char* what;
        Bytes chunk;
        Result result;
    } cases[] = {
        {"body below 6", chunk("ATR", 0, Bytes(5, 0)), Result::ChunkSizeAtr},
        {"unknown sub-chunk", audioTrack(audioTrackHeader(), {aspi, chunk("Mtsq", {})}), Result::NonsupportChunkIdAtr},
        {"AspI of 15 bytes", audioTrack(audioTrackHeader(), {chunk("AspI", Bytes(15, 0))}), Result::ChunkSizeAspi},
        {"AspI without sp:", audioTrack(audioTrackHeader(), {chunk("AspI", Bytes(16, 0))}), Result::InvalidPointsAspi},
        {"Atsq before AspI", audioTrack(audioTrackHeader(), {chunk("Atsq", fine), aspi}), Result::InvalidPointsAspi},
        {"no AspI", audioTrack(audioTrackHeader(), {chunk("Awa", 0, {})}), Result::InvalidPointsAspi},
        {"Awa past the track", cutLast(audioTrack(audioTrackHeader(), {aspi, chunk("Awa", 0, {1})}), 1),
         Result::ChunkSizeAwa},
        {"Atsq past the track", cutLast(withSeq(fine), 1), Result::ChunkSizeAtsq},
        // Accepted, with nothing to change.
        {"Atsu past the track ends it quietly",
         cutLast(audioTrack(audioTrackHeader(), {aspi, chunk("Atsu", {1, 2})}), 1), Result::NotConverted},
        {"empty Atsq", withSeq({}), Result::SequenceDataAtsq},
        {"start point inside an event",
         audioTrack(audioTrackHeader(), {chunk("AspI", pointBody(1, 0)), chunk("Atsq", fine)}),
         Result::SequenceDataAtsq},
        {"unknown 0xFF event", withSeq({0x00, 0xFF, 0x01}), Result::SequenceDataAtsq},
        {"truncated no-operation", withSeq({0x00, 0xFF}), Result::ChunkSizeMtsq},
        {"event 0x00 0x10", withSeq({0x00, 0x00, 0x10, 0x00}), Result::SequenceDataAtsq},
        {"end mark with a duration", withSeq({0x01, 0x00, 0x00, 0x00}), Result::SequenceDataAtsq},
        {"wave byte missing", withSeq({0x01}), Result::SequenceDataAtsq},
        {"duration cut", withSeq({0x81}), Result::SequenceData},
        {"gate time cut", withSeq({0x00, 0x10}), Result::SequenceData},
        {"nowhere to take a tick from", withSeq({0x01, 0xFF, 0x00, 0x03, 0x20, 0x01}), Result::SequenceDataAtsq},
        {"nowhere to take a tick from, a volume only after the wave",
         withSeq({0x01, 0xFF, 0x00, 0x03, 0x20, 0x01, 0x00, 0x00, 0x37, 100}), Result::SequenceDataAtsq},
    };
    for (Case& c : cases) {
        TrackRun run;
        EXPECT_EQ(run.convert(c.chunk), c.result) << c.what;
    }
}

}  // namespace
}  // namespace keldro
