#include <array>
#include <random>

#include "VolumeTestSupport.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

const mfi::Date kToday{2026, 3, 7};

ByteVector validFile(std::string_view vers) {
    return mfiFile(vers, {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(4, 0)});
}

std::string text(ByteSpan bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(MfiConversionPass, StampsDateAndSupportTextFromVersion30On) {
    VolumeSettings settings;  // relative, 0 dB
    for (auto [vers, version] : {std::pair{"0300", kMfiVersion30}, {"0301", kMfiVersion31}, {"0400", kMfiVersion40}}) {
        SCOPED_TRACE(vers);
        const ByteVector in = validFile(vers);
        ByteVector out(2 * in.size() + 200, 0);
        std::size_t length = 0;
        ASSERT_EQ(passOnBytes(in, version, out, length, settings, &kToday), Result::Converted);
        out.resize(length);
        const mfi::VolumeFile converted = parsed(out);
        const mfi::Info& info = converted.infoRecord();
        EXPECT_EQ(text(info.date), "20260307");
        EXPECT_EQ(text(info.supt.view()), "KELDRO Ver.1.1.0");
        EXPECT_TRUE(info.versIs(vers));
    }
}

TEST(MfiConversionPass, LeavesSupportTextOfVersion20Alone) {
    VolumeSettings settings;
    const ByteVector in =
        mfiFile("0200", {MfiTrackBuilder().masterVolume(0, 100).channelVolume(0, 0, 40).note(0, 0).note(4, 0)});
    ByteVector out(2 * in.size() + 200, 0);
    std::size_t length = 0;
    ASSERT_EQ(passOnBytes(in, kMfiVersion20, out, length, settings, &kToday), Result::Converted);
    out.resize(length);
    const mfi::VolumeFile converted = parsed(out);
    EXPECT_EQ(text(converted.infoRecord().date), "20260307");
    EXPECT_EQ(converted.infoRecord().supt.length, 0);
}

struct FailureCase {
    const char* name;
    ByteVector input;
    int version;
    std::int64_t capacity;  // -1: the usual 2 x length + 200
    bool withDate;
    Result result;
};

TEST(MfiConversionPass, FailuresLeaveTheOutputUntouched) {
    MfiBuilder noNote;
    noNote.infoByte("sorc", 0).info("titl", "T").info("vers", "0300").info("date", "20240131");
    noNote.trac(MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(1, 0));
    const FailureCase cases[] = {
        {"version 9", validFile("0300"), 9, -1, true, Result::MfiStepFailed},
        {"\"vers\" is not the version", validFile("0301"), 30, -1, true, Result::MfiStepFailed},
        {"no date to stamp", validFile("0300"), 30, -1, false, Result::MfiStepFailed},
        {"unreadable input", ByteVector{'m', 'e', 'l', 'o', 0, 0, 0, 1, 0, 1, 1, 1, 1}, 30, -1, true,
         Result::MfiStepFailed},
        {"without \"note\" the re-encoded file is refused", noNote.build(), 30, -1, true, Result::MfiStepFailed},
        {"output smaller than the file", validFile("0300"), 30, 40, true, Result::MfiOutputTooSmall},
        {"output of length 0", validFile("0300"), 30, 0, true, Result::MfiNoBuffer},
    };
    VolumeSettings settings;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ByteVector out(2 * c.input.size() + 200, 0xAA);
        const std::size_t capacity = c.capacity < 0 ? out.size() : static_cast<std::size_t>(c.capacity);
        std::size_t length = 1;
        EXPECT_EQ(passOnBytes(c.input, c.version, std::span(out).first(capacity), length, settings,
                              c.withDate ? &kToday : nullptr),
                  c.result);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(out, ByteVector(out.size(), 0xAA));
    }
    ByteVector out(10);
    std::size_t length = 0;
    EXPECT_EQ(passOnBytes({}, 30, out, length, settings, &kToday), Result::MfiNoBuffer);
}

}  // namespace
}  // namespace keldro::test

namespace keldro::test {
namespace {

// Damaged files go through the whole engine (pass, second read, reports)
// without reading outside any buffer; the sanitizers watch.
TEST(MfiConversionPass, DamagedFilesAreRefusedOrConvertedSafely) {
    const ByteVector blocks = joined({effectBlock(0x4900, 100), effectBlock(0x2000, 50)});
    MfiTrackBuilder t0 =
        MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).tempo(0, 3, 120).effectSettings(0, blocks);
    t0.effectSend(0, 1, false, 80).note(0, 1).adpcmVolume(0, 30).adpcmNote(1).effectSelect(10, 64).note(10, 1);
    kind52(t0, 2, 2).channelVolume(1, 0, 20).note(3, 0).effectSelect(1, 65).note(2, 1).note(2, 2);
    MfiTrackBuilder t1 = MfiTrackBuilder().note(3, 1).effectSend(0, 1, true, 60).channelVolume(2, 1, 33);
    kind52(t1, 1, 1).note(4, 1);
    std::mt19937 rng(3);
    int converted = 0;
    for (const char* vers : {"0200", "0300", "0400"}) {
        const ByteVector good = mfiFile(vers, {t0, t1});
        const int version = vers[1] == '2' ? kMfiVersion20 : vers[1] == '3' ? kMfiVersion30 : kMfiVersion40;
        for (int round = 0; round < 400; ++round) {
            ByteVector bad = good;
            for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips)
                bad[rng() % bad.size()] = static_cast<std::uint8_t>(rng());
            if (rng() % 4 == 0) bad.resize(rng() % bad.size() + 1);
            VolumeSettings settings;
            settings.regulateChorus = true;
            settings.dbTenths = static_cast<int>(rng() % 200) - 100;
            settings.absoluteMode = static_cast<int>(rng() % 2);
            giveChannel(settings, static_cast<int>(rng() % 17), 40);
            ByteVector work(2 * bad.size() + 200, 0);
            std::size_t length = 0;
            if (!ok(passOnBytes(bad, version, work, length, settings, &kToday))) continue;
            ++converted;
            work.resize(length);
            mfi::VolumeFile source;
            mfi::VolumeFile result;
            ASSERT_EQ(source.parse(bad), Result::Converted);
            ASSERT_EQ(result.parse(work), Result::Converted);
            VolumeChangeList changes;
            reportMaxGainChanges(source, result, settings, changes);
            reportChannelVolumeChanges(20, source, result, settings, changes);
            reportEffectChanges(40, source, result, settings, changes);
        }
    }
    EXPECT_GT(converted, 100);
}

std::vector<std::array<std::uint64_t, 10>> recordFields(const VolumeChangeList& changes) {
    std::vector<std::array<std::uint64_t, 10>> fields;
    for (const VolumeChangeRecord& r : changes)
        fields.push_back({r.track, r.channel, r.beforeVolume, r.afterVolume, r.beforeGain, r.afterGain, r.beforeLevel,
                          r.afterLevel, static_cast<std::uint64_t>(r.action), r.position});
    return fields;
}

VolumeChangeList allReports(mfi::VolumeFile& source, mfi::VolumeFile& converted, const VolumeSettings& settings) {
    VolumeChangeList changes;
    reportMaxGainChanges(source, converted, settings, changes);
    reportChannelVolumeChanges(20, source, converted, settings, changes);
    reportEffectChanges(40, source, converted, settings, changes);
    return changes;
}

// The pass from the step's model gives what the pass from the bytes gives,
// and the model it hands over reports as a second read of the bytes would.
TEST(MfiConversionPass, PassFromTheReadModelMatchesThePassFromTheBytes) {
    const ByteVector blocks = joined({effectBlock(0x4900, 100), effectBlock(0x2000, 50)});
    MfiTrackBuilder t0 =
        MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).tempo(0, 3, 120).effectSettings(0, blocks);
    t0.effectSend(0, 1, false, 80).note(0, 1).adpcmVolume(0, 30).adpcmNote(1).effectSelect(10, 64).note(10, 1);
    kind52(t0, 2, 2).channelVolume(1, 0, 20).note(3, 0).effectSelect(1, 65).note(2, 1).note(2, 2).masterVolume(3, 90);
    MfiTrackBuilder t1 = MfiTrackBuilder().note(3, 1).effectSend(0, 1, true, 60).channelVolume(2, 1, 33);
    kind52(t1, 1, 1).note(4, 1).effectSend(1, 1, false, 40).note(1, 1);
    std::mt19937 rng(7);
    int compared = 0;
    for (const char* vers : {"0200", "0300", "0400"}) {
        const ByteVector good = mfiFile(vers, {t0, t1});
        const int version = vers[1] == '2' ? kMfiVersion20 : vers[1] == '3' ? kMfiVersion30 : kMfiVersion40;
        for (int round = 0; round < 300; ++round) {
            ByteVector in = good;
            for (int flips = static_cast<int>(rng() % 3); flips > 0; --flips)
                in[rng() % in.size()] = static_cast<std::uint8_t>(rng());
            mfi::VolumeFile source;
            if (source.parse(in) != Result::Converted) continue;
            VolumeSettings settings;
            settings.regulateChorus = true;
            settings.dbTenths = static_cast<int>(rng() % 200) - 100;
            settings.absoluteMode = static_cast<int>(rng() % 2);
            giveChannel(settings, static_cast<int>(rng() % 17), 40);
            const std::size_t capacity = rng() % 8 == 0 ? in.size() / 2 : 2 * in.size() + 200;
            ByteVector work(capacity, 0);
            std::size_t length = 0;
            const Result fromBytes = passOnBytes(in, version, work, length, settings, &kToday);
            ConvertedFile converted;
            mfi::VolumeFile model = source;
            ASSERT_EQ(runConversionPass(std::move(model), version, capacity, converted, settings, &kToday), fromBytes);
            if (!ok(fromBytes)) continue;
            work.resize(length);
            ASSERT_EQ(converted.bytes, work);
            mfi::VolumeFile reread;
            ASSERT_EQ(converted.reread, reread.parse(work));
            if (!ok(converted.reread)) continue;
            ++compared;
            EXPECT_EQ(converted.model.maxGainValue(), reread.maxGainValue());
            mfi::VolumeFile sourceAgain;
            ASSERT_EQ(sourceAgain.parse(in), Result::Converted);
            EXPECT_EQ(recordFields(allReports(source, converted.model, settings)),
                      recordFields(allReports(sourceAgain, reread, settings)));
        }
    }
    EXPECT_GT(compared, 100);
}

// One pass of the input by the given route, with the change records its
// converted model gives against the input.
struct RouteRun {
    Result result = Result::NoMfiFile;
    ConvertedFile converted;
    VolumeChangeList changes;
};

RouteRun passBy(PassRoute route, const ByteVector& in, int version, std::size_t capacity,
                const VolumeSettings& settings) {
    RouteRun run;
    mfi::VolumeFile source;
    if (source.parse(in) != Result::Converted) return run;
    mfi::VolumeFile model = source;
    run.result = runConversionPass(std::move(model), version, capacity, run.converted, settings, &kToday, route);
    if (ok(run.result) && ok(run.converted.reread)) run.changes = allReports(source, run.converted.model, settings);
    return run;
}

ByteVector written(mfi::VolumeFile model) {
    ByteVector bytes;
    EXPECT_TRUE(model.write(bytes, kToday));
    return bytes;
}

// The pass by both routes at `capacity`: the same result, bytes, second read,
// records and model. Returns the result.
Result expectSameByBothRoutes(const ByteVector& in, int version, std::size_t capacity, const VolumeSettings& settings) {
    RouteRun kept = passBy(PassRoute::KeepModelWhereExact, in, version, capacity, settings);
    RouteRun reread = passBy(PassRoute::WriteAndRead, in, version, capacity, settings);
    EXPECT_EQ(kept.result, reread.result);
    EXPECT_EQ(kept.converted.bytes, reread.converted.bytes);
    if (!ok(kept.result) || !ok(reread.result)) return reread.result;
    EXPECT_LE(reread.converted.bytes.size(), capacity);
    EXPECT_EQ(kept.converted.reread, reread.converted.reread);
    if (!ok(kept.converted.reread) || !ok(reread.converted.reread)) return reread.result;
    EXPECT_EQ(kept.converted.model.maxGainValue(), reread.converted.model.maxGainValue());
    EXPECT_EQ(recordFields(kept.changes), recordFields(reread.changes));
    EXPECT_EQ(written(std::move(kept.converted.model)), written(std::move(reread.converted.model)));
    return reread.result;
}

int eventTotal(const ByteVector& bytes) {
    const mfi::VolumeFile file = parsed(bytes);
    int total = 0;
    for (int track = 0; track < file.body().trackCount(); ++track) total += file.eventCount(track);
    return total;
}

// Each step of the pass goes on with its model where the bytes it writes
// would read back as that model; it must then give exactly what writing and
// reading them gives. Generated files of every version, with the inserts of
// both rules (default volumes, copies of sends), at the file step's room,
// at exactly the converted size and one byte short of it; and a file whose
// converted size is exactly the file step's room, 2 x input + 200.
TEST(MfiConversionPass, KeepingTheModelGivesWhatWritingAndReadingGives) {
    VolumeSettings regulated;
    regulated.dbTenths = -30;
    regulated.regulateChorus = true;
    const ByteVector exact = mfiFileFillingTheFileStepRoom(regulated);
    ASSERT_FALSE(exact.empty());
    const ByteVector convertedExact =
        passBy(PassRoute::WriteAndRead, exact, kMfiVersion40, 4 * exact.size(), regulated).converted.bytes;
    ASSERT_EQ(convertedExact.size(), mfiFileStepRoom(exact.size()));  // the fixture's own check
    EXPECT_EQ(expectSameByBothRoutes(exact, kMfiVersion40, mfiFileStepRoom(exact.size()), regulated),
              Result::Converted);
    EXPECT_EQ(expectSameByBothRoutes(exact, kMfiVersion40, mfiFileStepRoom(exact.size()) - 1, regulated),
              Result::MfiOutputTooSmall);

    const ByteVector blocks = joined({effectBlock(0x4900, 100), effectBlock(0x1000, 90), effectBlock(0x4A00, 60)});
    std::mt19937 rng(23);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int withInserts = 0;
    int converted = 0;
    for (int round = 0; round < 240; ++round) {
        const char* vers = std::array{"0200", "0300", "0301", "0400"}[static_cast<std::size_t>(round % 4)];
        const int version = std::array{kMfiVersion20, kMfiVersion30, kMfiVersion31, kMfiVersion40}[round % 4];
        MfiBuilder builder;
        builder.canonicalInfo(vers);
        const int tracks = 1 + pick(3);
        for (int t = 0; t < tracks; ++t) {
            MfiTrackBuilder track;
            if (t == 0) {
                if (version != kMfiVersion20) track.maxGain(0, static_cast<std::uint8_t>(pick(25)));
                track.masterVolume(0, static_cast<std::uint8_t>(40 + pick(88)));
                if (pick(3) != 0) track.effectSettings(0, blocks);
            }
            const int events = 4 + pick(40);
            for (int e = 0; e < events; ++e) {
                const auto delta = static_cast<std::uint8_t>(pick(2) == 0 ? 1 + pick(20) : 0);
                const int channel = pick(2);  // few channels: sends and sounds meet often
                switch (pick(t == 0 ? 11 : 8)) {
                    case 0:
                    case 1: track.note(delta, channel); break;
                    case 2: kind52(track, delta, channel); break;
                    case 3: track.channelVolume(delta, channel, pick(64)); break;
                    case 4:
                    case 5: track.effectSend(delta, channel, pick(2) == 1, static_cast<std::uint8_t>(pick(100))); break;
                    case 6: track.nop(delta); break;
                    case 7:  // a send and, a little later, a sound of its channel: the makings of a copy
                        track.effectSend(delta, channel, false, static_cast<std::uint8_t>(1 + pick(99)))
                            .note(static_cast<std::uint8_t>(1 + pick(4)), channel);
                        break;
                    case 8: track.effectSelect(delta, static_cast<std::uint8_t>(64 + pick(4))); break;
                    case 9: track.adpcmNote(delta); break;
                    default: track.adpcmVolume(delta, static_cast<std::uint8_t>(pick(64))); break;
                }
            }
            builder.trac(track);
        }
        const ByteVector in = builder.build();
        VolumeSettings settings;
        settings.regulateChorus = pick(4) != 0;
        settings.dbTenths = pick(200) - 100;
        settings.absoluteMode = pick(3) == 0 ? 1 : 0;
        settings.maxGainTenths = -5 * pick(25);
        for (int given = pick(4); given > 0; --given) giveChannel(settings, pick(17), pick(64));
        SCOPED_TRACE(::testing::Message() << "round " << round);
        const Result result = expectSameByBothRoutes(in, version, mfiFileStepRoom(in.size()), settings);
        if (!ok(result)) continue;
        ++converted;
        const ByteVector out =
            passBy(PassRoute::WriteAndRead, in, version, mfiFileStepRoom(in.size()), settings).converted.bytes;
        if (eventTotal(out) > eventTotal(in)) ++withInserts;
        if (round % 3 == 0) {
            EXPECT_EQ(expectSameByBothRoutes(in, version, out.size(), settings), Result::Converted);
            EXPECT_EQ(expectSameByBothRoutes(in, version, out.size() - 1, settings), Result::MfiOutputTooSmall);
        }
    }
    EXPECT_GT(converted, 200);
    EXPECT_GT(withInserts, 80);
}

}  // namespace
}  // namespace keldro::test
