// The whole MFi engine step (parse, conversion pass, second parse, change
// report) on files of a hundred thousand tiny events of every kind the rules
// walk. Each must convert, and the step must stay within
//
//   peak heap <= 96 x input size + 1 MiB
//
// The step holds the parsed input, the model of the pass step at work and
// the converted model (a 40-byte event per event of at least 4 bytes, 10 to
// 20 bytes per byte of file each while the event lists grow by doubling),
// the work buffer of 2 x input + 200 bytes, the search indexes and event
// times of a model (about 5 bytes per byte) and the change records: 32 bytes
// per changed event of 4 bytes, held by the report, the job and the result.
// A file of nothing but changed master volumes comes nearest, at about 61.
#include <gtest/gtest.h>

#include "conversion/ConversionJob.h"
#include "conversion/Controllers.h"
#include "conversion/MfiFileStep.h"
#include "mfivolume/VolumeTestSupport.h"
#include "support/AllocationMeter.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

constexpr int kEvents = 100000;
constexpr std::size_t kMiB = 1024 * 1024;

std::size_t heapBound(std::size_t inputSize) { return 96 * inputSize + kMiB; }

struct StepOutcome {
    Result status = Result::Converted;
    FileResult result;
    ByteVector output;
    std::size_t peak = 0;
};

StepOutcome runStep(const ByteVector& input, int dbTenths, bool regulate) {
    MfiController controller;
    controller.setDb(std::to_string(dbTenths / 10.0));
    controller.setRegulateChorus(regulate);
    controller.job().setSettings(&controller.settings());
    auto step = makeMfiFileStep();
    StepOutcome o;
    keldro::testing::AllocationMeter meter;
    o.status = step->convert(controller.job(), controller.settings(), input, o.result, o.output);
    o.peak = meter.peakBytes();
    return o;
}

ByteVector effectSettingsOfChorus() {
    ByteVector blocks = effectBlock(0x0101, 64);
    const ByteVector second = effectBlock(0x0203, 40);
    blocks.insert(blocks.end(), second.begin(), second.end());
    return blocks;
}

TEST(MfiEngineHostile, AHundredThousandTinyEvents) {
    // MFi 2.0: a changed channel volume before every note, on all 16 channels.
    std::vector<MfiTrackBuilder> volumeTracks(4);
    volumeTracks[0].masterVolume(0, 100);
    for (int i = 0; i < kEvents; ++i) {
        MfiTrackBuilder& t = volumeTracks[static_cast<std::size_t>(i & 3)];
        t.channelVolume(1, (i >> 2) & 3, 40).note(0, (i >> 2) & 3);
    }
    // MFi 2.0: notes only, in four tracks, each channel given a volume.
    std::vector<MfiTrackBuilder> noteTracks(4);
    noteTracks[0].masterVolume(0, 100);
    for (int i = 0; i < kEvents; ++i) noteTracks[static_cast<std::size_t>(i & 3)].note(1, (i >> 2) & 3);
    // MFi 2.0: ADPCM notes and volumes in track 0.
    MfiTrackBuilder adpcm = MfiTrackBuilder().masterVolume(0, 100);
    for (int i = 0; i < kEvents / 2; ++i) adpcm.adpcmVolume(1, 50).adpcmNote(0);
    // MFi 3.0: master volume events, each changed, under a tempo change each tick.
    MfiTrackBuilder masters = MfiTrackBuilder().maxGain(0, 4);
    for (int i = 0; i < kEvents / 2; ++i)
        masters.tempo(1, 3, static_cast<std::uint8_t>(60 + (i & 63))).masterVolume(0, 100);
    masters.note(1, 0);
    // MFi 3.0: nothing but master volume events, each changed: the most heap per byte.
    MfiTrackBuilder mastersOnly = MfiTrackBuilder().maxGain(0, 4);
    for (int i = 0; i < kEvents; ++i) mastersOnly.masterVolume(1, 100);
    mastersOnly.note(1, 0);
    // MFi 3.1 with chorus regulation: effect selects and sends between notes.
    MfiTrackBuilder chorus0 =
        MfiTrackBuilder().maxGain(0, 4).masterVolume(0, 100).effectSettings(0, effectSettingsOfChorus());
    MfiTrackBuilder chorus1;
    for (int i = 0; i < kEvents / 4; ++i) {
        chorus0.effectSelect(1, static_cast<std::uint8_t>(64 + (i & 1))).note(0, i & 3);
        chorus1.effectSend(1, i & 3, (i & 4) != 0, 40).note(0, i & 3);
    }
    chorus0.note(1, 0);

    const auto file = [](std::string_view vers, const std::vector<MfiTrackBuilder>& tracks) {
        MfiBuilder builder;
        builder.canonicalInfo(vers);
        for (const MfiTrackBuilder& t : tracks) builder.trac(t);
        return builder.build();
    };
    const struct {
        const char* name;
        ByteVector bytes;
        bool regulate;
    } cases[] = {
        {"channel volumes", file("0200", volumeTracks), false},
        {"notes without volumes", file("0200", noteTracks), false},
        {"ADPCM", file("0200", {adpcm}), false},
        {"master volumes and tempo", file("0300", {masters}), false},
        {"master volumes only", file("0300", {mastersOnly}), false},
        {"effect selects and sends", file("0301", {chorus0, chorus1}), true},
    };
    for (const auto& c : cases) {
        const StepOutcome o = runStep(c.bytes, -30, c.regulate);
        EXPECT_EQ(o.status, Result::Converted) << c.name << ": " << o.result.message;
        EXPECT_FALSE(o.output.empty()) << c.name;
        EXPECT_FALSE(o.result.changes.empty()) << c.name;
        EXPECT_LE(o.peak, heapBound(c.bytes.size())) << c.name;
    }
}

}  // namespace
}  // namespace keldro::test
