// The MFi engine step inside the conversion job: parse, version, pass, second
// parse, change report, and how MFi failures end the file.
#include <gtest/gtest.h>

#include "volume/Result.h"
#include "conversion/ConversionJob.h"
#include "conversion/MfiFileStep.h"
#include "mfivolume/VolumeFile.h"
#include "mfivolume/VolumeTestSupport.h"
#include "platform/TempDir.h"

using namespace keldro::mfi;

namespace keldro::test {
namespace {

using keldro::testing::TempDir;

// The files of one run and its settings (relative 0 dB unless changed).
class StepHost final : public JobRequest {
public:
    VolumeSettings settings;
    std::string in, out;
    std::string inputFileName() const override { return in; }
    std::string outputFileName() const override { return out; }
};

void writeBytes(const std::string& path, const ByteVector& bytes) {
    keldro::testing::writeText(path, std::string(bytes.begin(), bytes.end()));
}

ByteVector readBytes(const std::string& path) {
    const std::string text = keldro::testing::readText(path);
    return ByteVector(text.begin(), text.end());
}

struct StepRun {
    FileResult result;
    Result status;
};

StepRun convertOne(StepHost& host) {
    ConversionJob job(makeMfiFileStep());
    job.reset();
    // The date stamped into the output comes from the job's clock.
    job.setClock([](LocalDateTime& t) {
        t = LocalDateTime{2031, 7, 4, 12, 0, 0};
        return true;
    });
    job.setSettings(&host.settings);
    job.setRequest(&host);
    StepRun run;
    run.status = job.convertOneFile(host.in, run.result);
    return run;
}

ByteVector version31File() {
    return mfiFile("0301", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(4, 0)});
}

TEST(MfiFileStep, ConvertsAndKeepsTheChangeRecords) {
    TempDir dir;
    StepHost host;
    host.in = dir.file("tune.MLD");
    host.out = dir.file("out.mld");
    writeBytes(host.in, version31File());
    const StepRun run = convertOne(host);
    EXPECT_EQ(run.status, Result::Converted);
    EXPECT_EQ(run.result.message, "Converted.");
    EXPECT_EQ(run.result.kind, 31);
    ASSERT_EQ(run.result.changes.size(), 2u);  // the MaxGain and the master volume
    EXPECT_EQ(run.result.changes[0].action, kActionMaxGainRelative);
    mfi::VolumeFile written;
    ASSERT_EQ(written.parse(readBytes(host.out)), Result::Converted);
    EXPECT_TRUE(written.infoRecord().versIs("0301"));
    const auto& date = written.infoRecord().date;
    EXPECT_EQ(std::string(date.begin(), date.end()), "20310704");
}

TEST(MfiFileStep, NothingToChangeCopiesTheInput) {
    TempDir dir;
    StepHost host;
    host.settings.absoluteMode = 1;  // MFi 2.0 with no channel given
    host.in = dir.file("tune.mld");
    host.out = dir.file("out.mld");
    const ByteVector in = mfiFile("0200", {setup().channelVolume(0, 0, 40).note(0, 0).note(0, 0)});
    writeBytes(host.in, in);
    const StepRun run = convertOne(host);
    EXPECT_EQ(run.status, Result::NotConverted);
    EXPECT_EQ(run.result.message, "Not Converted - Not exist target volume.");
    EXPECT_EQ(run.result.kind, 20);
    EXPECT_EQ(readBytes(host.out), in);
}

TEST(MfiFileStep, FailuresEndTheFileWithoutOutput) {
    MfiBuilder noNote;
    noNote.infoByte("sorc", 0).info("titl", "T").info("vers", "0300").info("date", "20240131");
    noNote.trac(MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(1, 0));
    struct Case {
        const char* name;
        ByteVector input;
        Result status;
        const char* message;
        int kind;
    };
    const Case cases[] = {
        {"unsupported version",
         mfiFile("0500", {MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(1, 0)}),
         Result::MfiNonsupportVersion, "Nonsupport version of MFi format.", 0},
        {"reader failure", ByteVector{'m', 'e', 'l', 'o', 0, 0, 0, 0, 0, 0, 0, 0}, Result::MfiHeaderSize,
         "Header size error.", 0},
        {"no MaxGain in the input", mfiFile("0300", {setup().note(0, 0).note(1, 0)}), Result::MfiNoMaxGain,
         "Can not find MaxGain.", 0},
        {"converted model refused (no \"note\")", noNote.build(), Result::MfiStepFailed, "File write error.", 30},
        {"MaxGain after the first note", mfiFile("0300", {setup().note(0, 0).maxGain(1, 10).note(1, 0)}),
         Result::NoMaxGain, "Can not find MaxGain.", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        StepHost host;
        host.in = dir.file("tune.mld");
        host.out = dir.file("out.mld");
        writeBytes(host.in, c.input);
        const StepRun run = convertOne(host);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.result.message, c.message);
        EXPECT_EQ(run.result.kind, c.kind);
        EXPECT_TRUE(run.result.changes.empty());
        EXPECT_FALSE(keldro::testing::exists(host.out));
    }
}

// A converted file may take all the room the step gives it: twice the input
// and 200 bytes.
TEST(MfiFileStep, ConvertedFileMayFillItsRoom) {
    TempDir dir;
    StepHost host;
    host.settings.dbTenths = -30;
    host.settings.regulateChorus = true;
    host.in = dir.file("tune.mld");
    host.out = dir.file("out.mld");
    const ByteVector in = mfiFileFillingTheFileStepRoom(host.settings);
    ASSERT_FALSE(in.empty());
    writeBytes(host.in, in);
    const StepRun run = convertOne(host);
    EXPECT_EQ(run.status, Result::Converted);
    EXPECT_EQ(readBytes(host.out).size(), 2 * in.size() + 200);
}

TEST(MfiFileStep, UnwritableOutputIsAWriteError) {
    TempDir dir;
    StepHost host;
    host.in = dir.file("tune.mld");
    host.out = dir.file("missing/out.mld");
    writeBytes(host.in, version31File());
    const StepRun run = convertOne(host);
    EXPECT_EQ(run.status, Result::FileWriteError);
    EXPECT_EQ(run.result.message, "File write error.");
}

}  // namespace
}  // namespace keldro::test
