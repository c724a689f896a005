#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "VolumeTestSupport.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

struct AnalyseCase {
    const char* name;
    ByteVector file;
    Result result;
    int maxGain;
    std::size_t masterVolumes;
};

TEST(MfiAnalyse, ChecksRequiredEventsAndReadsMaxGain) {
    const AnalyseCase cases[] = {
        {"2.0 needs a master volume too", mfiFile("0200", {MfiTrackBuilder().channelVolume(0, 0, 40).note(0, 0)}),
         Result::MfiNoMasterVolume, 24, 0},
        {"3.0 without MaxGain", mfiFile("0300", {MfiTrackBuilder().masterVolume(0, 100).note(0, 0)}),
         Result::MfiNoMaxGain, 24, 0},
        {"MaxGain 30 is taken as 24",
         mfiFile("0300", {MfiTrackBuilder().maxGain(0, 30).masterVolume(0, 100).note(0, 0)}), Result::Converted, 24, 1},
        {"MaxGain 25 is taken as 24",
         mfiFile("0300", {MfiTrackBuilder().maxGain(0, 25).masterVolume(0, 100).note(0, 0)}), Result::Converted, 24, 1},
        {"MaxGain 10", mfiFile("0400", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0)}),
         Result::Converted, 10, 1},
        {"4-byte MaxGain block keeps 24",
         mfiFile("0301", {MfiTrackBuilder().block(0, {0x11, 0xF3, 0x03, 0x05}).masterVolume(0, 90).note(0, 0)}),
         Result::Converted, 24, 1},
        {"a lone master volume is the last event", mfiFile("0200", {MfiTrackBuilder().masterVolume(0, 100)}),
         Result::MfiNoMasterVolume, 24, 0},
        {"a last master volume right after another is missed",
         mfiFile("0200", {MfiTrackBuilder().note(0, 0).masterVolume(0, 100).masterVolume(5, 90)}), Result::Converted,
         24, 1},
        {"master volumes found anywhere else",
         mfiFile("0200", {MfiTrackBuilder().masterVolume(0, 100).note(0, 0).masterVolume(5, 90).note(1, 0)}),
         Result::Converted, 24, 2},
    };
    for (const AnalyseCase& c : cases) {
        SCOPED_TRACE(c.name);
        mfi::VolumeFile file;
        EXPECT_EQ(file.parse(c.file), c.result);
        if (c.result == Result::MfiNoMaxGain) continue;
        EXPECT_EQ(file.maxGainValue(), c.maxGain);
        std::size_t masterVolumes = 0;
        for (int i = file.nextMasterVolume(0); i >= 0; i = file.nextMasterVolume(i + 1)) ++masterVolumes;
        EXPECT_EQ(masterVolumes, c.masterVolumes);
    }
}

struct TimeCase {
    const char* name;
    MfiTrackBuilder track0;
    MfiTrackBuilder track1;
    int track;
    int index;
    std::int64_t ms;
};

TEST(MfiEventTime, FollowsTheTempoMapOfTrackZero) {
    const TimeCase cases[] = {
        {"track 0 starts its clock at its first event", setup(10).note(0, 0).note(10, 0), MfiTrackBuilder().note(10, 0),
         0, 0, 0},
        {"same tick in track 1 counts from tick 0", setup(10).note(0, 0).note(10, 0), MfiTrackBuilder().note(10, 0), 1,
         0, 100},
        {"track 0 at the default tempo", setup(10).note(0, 0).note(10, 0), MfiTrackBuilder().note(10, 0), 0, 2, 100},
        {"tempo 120", setup().tempo(0, 3, 120).note(0, 0).note(0, 0), MfiTrackBuilder().note(96, 1), 1, 0, 1000},
        {"tempo change at 48", setup().tempo(0, 3, 120).note(48, 0).tempo(0, 3, 60).note(0, 0).note(0, 0),
         MfiTrackBuilder().note(96, 1), 1, 0, 1500},
        {"timebase code 4 in track 0", setup().tempo(0, 4, 60).note(96, 0).note(0, 0), MfiTrackBuilder().note(0, 1), 0,
         2, 1000},
        {"tempo 0 changes nothing", setup().tempo(0, 3, 0).note(0, 0).note(0, 0), MfiTrackBuilder().note(10, 1), 1, 0,
         100},
        {"index past the end gives the last event", setup().note(0, 0).note(0, 0),
         MfiTrackBuilder().note(10, 1).note(10, 1), 1, 99, 200},
        {"negative index", setup().note(0, 0).note(0, 0), MfiTrackBuilder().note(10, 1), 1, -1, 0},
        {"missing track", setup().note(0, 0).note(0, 0), MfiTrackBuilder().note(10, 1), 3, 0, 0},
        {"a last tempo right after a tempo is not in the map", setup().note(0, 0).tempo(0, 3, 120).tempo(0, 3, 60),
         MfiTrackBuilder().note(96, 1), 1, 0, 1000},
    };
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        mfi::VolumeFile file = parsed(mfiFile("0200", {c.track0, c.track1}));
        EXPECT_EQ(file.eventTimeMs(c.track, c.index), c.ms);
    }
}

TEST(MfiSearch, FromAnIndexUnderTheLastPositionRule) {
    // Track 0: master volume, channel volume of channel 1, note of channel 1, master volume (last).
    mfi::VolumeFile file = parsed(
        mfiFile("0200", {setup().channelVolume(0, 1, 63).note(0, 1).masterVolume(0, 90), MfiTrackBuilder().nop(0)}));
    struct Case {
        const char* name;
        int found;
        int expected;
    };
    const Case cases[] = {
        {"master volume from 1", file.nextMasterVolume(1), 3},
        {"from the last event nothing is found", file.nextMasterVolume(3), -1},
        {"from past the end", file.nextMasterVolume(4), -1},
        {"from a negative index", file.nextMasterVolume(-1), -1},
        {"channel volume of channel 1", file.nextChannelVolumeOf(0, 0, 1), 1},
        {"no channel volume of channel 2", file.nextChannelVolumeOf(0, 0, 2), -1},
        {"note of channel 1", file.firstNoteOf(0, 0, 1), 2},
        {"a track without notes", file.firstNoteOf(1, 0, 1), -1},
        {"no such track", file.nextChannelVolumeOf(4, 0, 1), -1},
        {"a negative track", file.firstNoteOf(-1, 0, 1), -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.found, c.expected) << c.name;
}

TEST(MfiInsertDefaultVolume, GoesAfterTheSetUpEventsAtTimeZero) {
    // A program change (0xE0) and a volume of another channel at time 0, then the note.
    mfi::VolumeFile file = parsed(mfiFile(
        "0200", {setup().shortEvent(0, 0xE0, 0x45).channelVolume(0, 2, 30).note(0, 1).adpcmNote(4).note(3, 1)}));
    const int note = file.firstNoteOf(0, 0, 1);
    ASSERT_EQ(note, 3);
    EXPECT_EQ(file.insertDefaultVolume(0, note, 1), 1);
    const mfi::Event* inserted = file.eventAt(0, 3);
    EXPECT_EQ(inserted->time(), 0);
    EXPECT_EQ(inserted->channelVolume(), 63);
    EXPECT_EQ(inserted->channel(), 1);
    EXPECT_EQ(file.firstNoteOf(0, 0, 1), 4);  // searches see the new event

    // An ADPCM note gets an ADPCM volume 63, again before the first sounding event.
    EXPECT_EQ(file.insertDefaultVolume(0, file.nextAdpcmNote(0), 0), 1);
    EXPECT_EQ(file.eventAt(0, 4)->adpcmVolume(), 63);
    EXPECT_TRUE(file.eventAt(0, 4)->isAdpcmVolume());

    // Anything but a note inserts nothing.
    EXPECT_EQ(file.insertDefaultVolume(0, 0, 0), 0);
    EXPECT_EQ(file.eventCount(0), 8);
}

TEST(MfiInsertEffectSend, WritesTheBlockTheSearchesFindAgain) {
    struct Case {
        int channel;
        bool onAChannel;
        ByteVector block;
    };
    const Case cases[] = {
        {0, false, {0x11, 0x02, 0xF1, 0x0F, 45}},
        {1, true, {0x11, 0x02, 0xF1, 0x6F, 45}},
        {3, true, {0x11, 0x02, 0xF1, 0xEF, 45}},
    };
    for (const Case& c : cases) {
        mfi::VolumeFile file = parsed(
            mfiFile("0400", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(7, 1).note(1, 2)}));
        file.watchInserts();
        ASSERT_EQ(file.insertEffectSend(0, 3, c.channel, c.onAChannel, 45), 1);
        EXPECT_TRUE(file.insertsKeptShape()) << c.channel;
        EXPECT_EQ(ByteVector(file.eventAt(0, 3)->extData().begin(), file.eventAt(0, 3)->extData().end()), c.block)
            << c.channel;
        EXPECT_EQ(file.eventAt(0, 3)->time(), file.eventAt(0, 4)->time());
        EXPECT_EQ(file.nextEffectSendOf(0, 0, c.channel, c.onAChannel), 3) << c.channel;
        EXPECT_EQ(file.eventAt(0, 3)->effectSendValue(), 45);
    }
}

// The conversion pass trusts the model's value edits to leave its events
// reading back as written and checks only what is inserted: an insert that
// would not read back where it stands must say so, as the whole check does.
TEST(MfiInsertEvents, TellWhetherTheEventsStillReadBackAsWritten) {
    struct Case {
        const char* name;
        std::int32_t time;
        bool keeps;
    };
    const Case cases[] = {
        {"at the time of the event it goes before", 150, true},
        {"between the times around it", 120, true},
        {"before the event ahead of it", 90, false},
        {"after the event it goes before", 200, false},
    };
    for (const Case& c : cases) {
        // Notes at ticks 100, 150 and 151; the insert goes before the one at 150.
        mfi::VolumeFile file = parsed(mfiFile(
            "0400", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(100, 0).note(50, 1).note(1, 2)}));
        ASSERT_TRUE(file.rereadsAsWritten());
        ASSERT_EQ(file.eventAt(0, 3)->time(), 150);
        file.watchInserts();
        std::vector<mfi::Event> inserted;
        inserted.push_back(mfi::Event::makeEffectSend(c.time, 0, false, 45));
        const int before[] = {3};
        file.insertEvents(0, before, std::move(inserted));
        ASSERT_EQ(file.eventCount(0), 6) << c.name;
        EXPECT_EQ(file.insertsKeptShape(), c.keeps) << c.name;
        EXPECT_EQ(file.eventsRereadAsWritten(), c.keeps) << c.name;
    }
}

// Inserts in one go land where inserting them one at a time would put them:
// before their event, in their order at the same place, past the end at the
// end; the kinds index follows them.
TEST(MfiInsertEvents, PutEveryEventInItsPlace) {
    mfi::VolumeFile file = parsed(
        mfiFile("0400", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(1, 0).note(1, 1).note(1, 2)}));
    ASSERT_EQ(file.eventCount(0), 5);
    ASSERT_TRUE(file.positionsOf(0, EventKind::EffectSend).empty());  // the kinds index stands
    std::vector<mfi::Event> inserted;
    for (int value = 1; value <= 4; ++value) inserted.push_back(mfi::Event::makeEffectSend(0, 0, false, value));
    const int before[] = {0, 2, 2, 9};
    file.insertEvents(0, before, std::move(inserted));
    ASSERT_EQ(file.eventCount(0), 9);
    const int sendValues[] = {1, -1, -1, 2, 3, -1, -1, -1, 4};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(file.eventAt(0, i)->effectSendValue(), sendValues[i]) << i;
    const std::span<const int> sends = file.positionsOf(0, EventKind::EffectSend);
    EXPECT_EQ(std::vector<int>(sends.begin(), sends.end()), (std::vector<int>{0, 3, 4, 8}));
    EXPECT_EQ(file.firstNoteOf(0, 0, 2), 7);
}

// The searches and event times of the engine run on precomputed indexes; they
// must give what the plain walks over the model give, in any track.
// The plain walk: from `from` find the next event of the kind; when `accept`
// refuses it go on from the hit + 1. A walk that stands on the last event of
// the track, or outside the track, finds nothing.
int walkFirst(mfi::VolumeFile& file, EventKind kind, int track, int from, const std::function<bool(int)>& accept) {
    const int count = file.eventCount(track);
    for (int at = from; at >= 0 && at < count - 1;) {
        int hit = at;
        while (hit < count && file.eventAt(track, hit)->kind() != kind) ++hit;
        if (hit == count) return -1;
        if (accept(hit)) return hit;
        at = hit + 1;
    }
    return -1;
}

int walkSoundingAfter(mfi::VolumeFile& file, int track, int channel, bool onAChannel, int tick) {
    auto after = [&](int i) { return file.eventAt(track, i)->time() > tick; };
    if (onAChannel)
        return walkFirst(file, EventKind::Escape00, track, 0,
                         [&](int i) { return after(i) && (file.eventAt(track, i)->param1() >> 6) == channel; });
    int best = -1;
    auto keep = [&](int hit) {
        if (hit >= 0 && (best < 0 || hit < best)) best = hit;
    };
    keep(walkFirst(file, EventKind::Note, track, 0,
                   [&](int i) { return after(i) && (file.eventAt(track, i)->status() >> 6) == channel; }));
    for (EventKind kind : {EventKind::BlockF1Id03, EventKind::BlockF1Id0C})
        keep(walkFirst(file, kind, track, 0,
                       [&](int i) { return after(i) && (file.eventAt(track, i)->extData()[3] >> 6) == channel; }));
    return best;
}

std::int64_t walkTimeMs(mfi::VolumeFile& file, int track, int index) {
    static constexpr int kTicksPerBeat[] = {6, 12, 24, 48, 96, 192, 384, 48, 15, 30, 60, 120, 240, 480, 960, 48};
    double tempo = 125, perBeat = 48, sum = 0;
    auto apply = [&](const mfi::Event& e) {
        if (e.param2() == 0) return;
        tempo = e.param2();
        perBeat = kTicksPerBeat[e.param1() & 0x0F];
    };
    const int last = std::min(index, file.eventCount(track) - 1);
    if (track == 0) {
        for (int i = 0; i <= last; ++i) {
            const mfi::Event& e = *file.eventAt(0, i);
            if (i > 0) sum += (e.time() - file.eventAt(0, i - 1)->time()) * 60000.0 / tempo / perBeat;
            if (e.kind() == EventKind::Tempo) apply(e);
        }
        return static_cast<std::int64_t>(sum);
    }
    std::vector<int> tempos;
    for (int t = file.nextTempo(0); t >= 0; t = file.nextTempo(t + 1)) tempos.push_back(t);
    std::size_t next = 0;
    double summed = 0;
    for (int i = 0; i <= last; ++i) {
        const double tick = file.eventAt(track, i)->time();
        for (; next < tempos.size() && file.eventAt(0, tempos[next])->time() <= tick; ++next) {
            const mfi::Event& t = *file.eventAt(0, tempos[next]);
            sum += (t.time() - summed) * 60000.0 / tempo / perBeat;
            summed = t.time();
            apply(t);
        }
        sum += (tick - summed) * 60000.0 / tempo / perBeat;
        summed = tick;
    }
    return static_cast<std::int64_t>(sum);
}

// `events` 0: 1 to 40 of them.
MfiTrackBuilder randomTrack(std::mt19937& rng, bool withTempo, int events = 0) {
    MfiTrackBuilder t;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    if (events == 0) events = 1 + pick(40);
    for (int i = 0; i < events; ++i) {
        const auto delta = static_cast<std::uint8_t>(pick(4) == 0 ? pick(200) : pick(3));
        const int channel = pick(4);
        switch (pick(withTempo ? 9 : 8)) {
            case 0:
            case 1: t.note(delta, channel); break;
            case 2: kind40(t, delta, channel); break;
            case 3: kind46(t, delta, channel); break;
            case 4: kind52(t, delta, channel); break;
            case 5: t.channelVolume(delta, channel, pick(64)); break;
            case 6: t.effectSend(delta, channel, pick(2) == 1, static_cast<std::uint8_t>(pick(128))); break;
            case 7: t.masterVolume(delta, 100); break;
            default: t.tempo(delta, pick(16), static_cast<std::uint8_t>(pick(4) == 0 ? 0 : 30 + pick(200))); break;
        }
    }
    return t;
}

// Times are summed by a walk kept between questions; a question about an
// event the walk has passed goes back to the place saved before it.
TEST(MfiEventTimes, AgreeWithPlainWalksInAnyOrder) {
    std::mt19937 rng(11);
    MfiBuilder builder;
    builder.canonicalInfo("0200");
    for (int t = 0; t < 3; ++t) builder.trac(randomTrack(rng, t == 0, 900 + 300 * t));
    mfi::VolumeFile file;
    ASSERT_EQ(file.read(builder.build()), Result::Converted);
    for (int track = 0; track < 3; ++track) {
        std::vector<int> order(static_cast<std::size_t>(file.eventCount(track)) + 1);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        for (const int i : order)
            ASSERT_EQ(file.eventTimeMs(track, i), walkTimeMs(file, track, i)) << track << " " << i;
    }
}

TEST(MfiSearchIndexes, AgreeWithPlainWalksOnRandomTracks) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        MfiBuilder builder;
        builder.canonicalInfo("0200");
        const int tracks = 1 + static_cast<int>(rng() % 4);
        for (int t = 0; t < tracks; ++t) builder.trac(randomTrack(rng, t == 0));
        mfi::VolumeFile file;
        if (file.read(builder.build()) != Result::Converted) continue;
        for (int track = 0; track < tracks; ++track) {
            const int count = file.eventCount(track);
            for (int i = -1; i <= count; ++i) {
                ASSERT_EQ(file.eventTimeMs(track, i), i < 0 ? 0 : walkTimeMs(file, track, i))
                    << round << " " << track << " " << i;
                for (int channel = 0; channel < 4; ++channel) {
                    auto ofChannel = [&](int k) { return (file.eventAt(track, k)->param2() >> 6) == channel; };
                    ASSERT_EQ(file.nextChannelVolumeOf(track, std::max(i, 0), channel),
                              walkFirst(file, EventKind::ChannelVolume, track, std::max(i, 0), ofChannel));
                }
            }
            // The one-pass walk over sounding events reaches what repeated searches reach.
            std::vector<int> searched;
            for (int i = file.firstSounding(track, 0); i >= 0; i = file.firstSounding(track, i + 1))
                searched.push_back(i);
            std::vector<int> walked;
            file.walkSounding(track, [&](int i) { walked.push_back(i); });
            ASSERT_EQ(walked, searched) << round << " " << track;
            for (int tick = -1; tick < 300; tick += 7)
                for (int q = 0; q < 8; ++q)
                    ASSERT_EQ(file.nextSoundingAfterTick(track, q % 4, q >= 4, tick),
                              walkSoundingAfter(file, track, q % 4, q >= 4, tick))
                        << round << " " << track << " " << tick << " " << q;
        }
    }
}

}  // namespace
}  // namespace keldro::test
