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

}  // namespace
}  // namespace keldro::test
