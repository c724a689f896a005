// --inspect reads kind, MaxGain, loudest volumes and peak level of built
// files of every kind; --normalize brings files of different level to the
// same peak level and leaves a file already there as it is.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "volume/Result.h"
#include "batch/BatchConversion.h"
#include "batch/BatchTestSupport.h"
#include "batch/BatchOptions.h"
#include "conversion/FileInspection.h"

namespace keldro::batchtest {
namespace {

using keldro::inspectBytes;
using keldro::Inspection;

// A file of `track` and an audio track whose volume is `audioVolume` before its wave.
ByteVector withAudioTrack(const tavitest::Bytes& track, std::uint8_t audioVolume) {
    using namespace tavitest;
    const Bytes sequence{0x00, 0x00, 0x37, audioVolume, 0x00, 0x10, 0x02, 0x00, 0x00, 0x00, 0x00};
    return taviFile({cnti(), track,
                     audioTrack(audioTrackHeader(0x02, 0x03), {chunk("AspI", pointBody(0, 0)), chunk("Atsq", sequence),
                                                               chunk("Awa", 1, {1, 2, 3})})});
}

struct InspectCase {
    const char* name;
    FileMode mode;
    ByteVector bytes;
    const char* kind;
    std::optional<int> maxGainSteps, master, channel, peakTenths;
};

TEST(Inspect, ReadsTheVolumesAConversionWouldChange) {
    const ByteVector mfi20AllSet = test::mfiFile(
        "0200", {test::MfiTrackBuilder().masterVolume(0, 100).channelVolume(0, 0, 40).note(0, 0).note(4, 0)});
    // Two MaxGain events, the louder (fewer steps) second: it sets the peak.
    const ByteVector vq7TwoGains = tavitest::taviFile(
        {tavitest::cnti(),
         tavitest::scoreTrack(
             7, tavitest::scoreTrackHeader(7, 0x02, 0x02),
             {tavitest::chunk("Mtsu", tavitest::vq7MaxGain(12)),
              tavitest::chunk("Mtsq", tavitest::cat({{0x00},
                                                     tavitest::vq7MaxGain(4),
                                                     {0x00},
                                                     tavitest::vq7MasterVolume(100),
                                                     {0x00, 0x00, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00}}))})});
    const std::vector<InspectCase> cases = {
        // kVolumeToAttenuation: 127 -> 0, 100 -> 8, 80 -> 16, 64 -> 24 half-dB steps.
        {"VQ-2 channel", FileMode::Tavi, vq2File(100), "TAVI/VQ-2", {}, {}, 100, -40},
        {"VQ-3 master", FileMode::Tavi, vq3File(64), "TAVI/VQ-3", {}, 64, {}, -120},
        {"VQ-5 master", FileMode::Tavi, vq5File(127), "TAVI/VQ-5", {}, 127, {}, 0},
        {"VQ-7 master and MaxGain", FileMode::Tavi, vq7File(100, 4), "TAVI/VQ-7", 4, 100, {}, -60},
        {"VQ-7 loudest of two MaxGains", FileMode::Tavi, vq7TwoGains, "TAVI/VQ-7", 4, 100, {}, -60},
        {"MFi 3.1", FileMode::Mfi, mfiFileWith("0301", 10, 100), "MFi/3.1", 10, 100, {}, -90},
        {"MFi 4.0", FileMode::Mfi, mfiFileWith("0400", 0, 127), "MFi/4.0", 0, 127, {}, 0},
        // An audio track's volume is a channel volume, here louder than the channel's.
        {"VQ-2 with a louder audio track",
         FileMode::Tavi,
         withAudioTrack(tavitest::vq2Track(64), 127),
         "TAVI/VQ-2",
         {},
         {},
         127,
         0},
        // MFi channel volumes count double on the 0 ... 127 scale (40 -> 80).
        {"MFi 2.0 channel", FileMode::Mfi, mfi20AllSet, "MFi/2.0", {}, 100, 40, -80},
        // A channel that plays before any volume event is given 63.
        {"MFi 2.0 assumed 63", FileMode::Mfi, mfi20File(40), "MFi/2.0", {}, 100, 63, 0},
    };
    for (const InspectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Inspection in = inspectBytes(ByteSpan(c.bytes), c.mode);
        ASSERT_TRUE(in.ok()) << in.message;
        EXPECT_EQ(kindText(in), c.kind);
        EXPECT_EQ(in.maxGainSteps, c.maxGainSteps);
        EXPECT_EQ(in.masterVolume, c.master);
        EXPECT_EQ(in.channelVolume, c.channel);
        EXPECT_EQ(in.peakTenths, c.peakTenths);
    }
}

TEST(Inspect, FilesThatCannotBeConvertedGiveTheirMessage) {
    const Inspection broken = inspectBytes(ByteSpan(ByteVector{'M', 'M', 'M', 'D', 0, 0}), FileMode::Tavi);
    EXPECT_FALSE(broken.ok());
    EXPECT_EQ(kindText(broken), "---");
    EXPECT_FALSE(broken.peakTenths);
    // An audio track makes a file VQ-2: beside a VQ-3, VQ-5 or VQ-7 score track it is refused.
    for (const tavitest::Bytes& track :
         {tavitest::vq35Track(5, 64), tavitest::vq35Track(6, 64), tavitest::vq7Track(100, 4)}) {
        const Inspection mixed = inspectBytes(ByteSpan(withAudioTrack(track, 127)), FileMode::Tavi);
        EXPECT_EQ(mixed.message, resultMessage(Result::MixedTaviKinds));
        EXPECT_EQ(kindText(mixed), "---");
        EXPECT_FALSE(mixed.channelVolume);
        EXPECT_FALSE(mixed.peakTenths);
    }
    const ByteVector v5 = mfiFileWith("0500", 0, 100);
    const Inspection unsupported = inspectBytes(ByteSpan(v5), FileMode::Mfi);
    EXPECT_EQ(unsupported.message, resultMessage(Result::MfiNonsupportVersion));
}

TEST(Inspect, PrintsAnAlignedTableOrCsvAndWritesNothing) {
    TempDir dir;
    writeBytes(dir.file("c/a.mmf"), vq7File(100, 4));
    writeBytes(dir.file("c/b.mld"), mfiFileWith("0301", 10, 100));
    writeBytes(dir.file("c/bad.mmf"), {'M', 'M', 'M', 'D', 0, 0});
    const Outcome csv = runBatch({"--inspect", "--csv", "c"}, dir.path());
    EXPECT_EQ(csv.code, 1);  // bad.mmf
    EXPECT_EQ(csv.out.substr(0, csv.out.find("c/bad.mmf")),
              "file,kind,maxgain_db,master_volume,channel_volume,peak_db,error\n"
              "c/a.mmf,TAVI/VQ-7,-2.0,100,,-6.0,\n"
              "c/b.mld,MFi/3.1,-5.0,100,,-9.0,\n");
    EXPECT_NE(csv.out.find("c/bad.mmf,---,,,,,"), std::string::npos) << csv.out;
    // A name with quotes or a comma is quoted, its quotes doubled.
    writeBytes(dir.file("q/say \"hi\", 1.mmf"), vq7File(100, 4));
    EXPECT_EQ(runBatch({"--inspect", "--csv", "q"}, dir.path()).out,
              "file,kind,maxgain_db,master_volume,channel_volume,peak_db,error\n"
              "\"q/say \"\"hi\"\", 1.mmf\",TAVI/VQ-7,-2.0,100,,-6.0,\n");

    const Outcome table = runBatch({"--inspect", "c/a.mmf", "c/b.mld"}, dir.path());
    EXPECT_EQ(table.code, 0);
    EXPECT_EQ(table.out,
              "File     Kind       MaxGain[dB]  Master  Channel  Peak[dB]  Note\n"
              "c/a.mmf  TAVI/VQ-7         -2.0     100        -      -6.0\n"
              "c/b.mld  MFi/3.1           -5.0     100        -      -9.0\n");
    EXPECT_FALSE(testing::exists(dir.file("KELDRO_Output")));

    // Tabs, line breaks and backslashes in a name are spelt out in the table
    // (one line per file, columns intact); the CSV quotes the name as it is.
    writeBytes(dir.file("n/a\tb\\c\nd.mmf"), vq7File(100, 4));
    EXPECT_EQ(runBatch({"--inspect", "n"}, dir.path()).out,
              "File              Kind       MaxGain[dB]  Master  Channel  Peak[dB]  Note\n"
              "n/a\\tb\\\\c\\nd.mmf  TAVI/VQ-7         -2.0     100        -      -6.0\n");
    EXPECT_EQ(runBatch({"--inspect", "--csv", "n"}, dir.path()).out,
              "file,kind,maxgain_db,master_volume,channel_volume,peak_db,error\n"
              "\"n/a\tb\\c\nd.mmf\",TAVI/VQ-7,-2.0,100,,-6.0,\n");
}

TEST(Normalize, ChangeIsTheDistanceToTheTargetUnlessWithinHalfADecibel) {
    struct Case {
        int peak, target;
        std::optional<int> change;
    } cases[] = {
        {-120, -60, 60},
        {-40, -60, -20},
        {-57, -60, {}},
        {-55, -60, {}},
        {-54, -60, -6},
        {-60, -60, {}},
        {0, -700, -600},  // limited to the dB range
        // No overflow, however far apart.
        {-2147483647 - 1, 2147483647, 600},
        {2147483647, -2147483647 - 1, -600},
        {-600, 2147483647, 600},
    };
    for (const Case& c : cases) EXPECT_EQ(batch::normalizingChange(c.peak, c.target), c.change) << c.peak;
}

TEST(Normalize, TargetOutsideTheChangeRangeIsACommandLineError) {
    const struct {
        const char* target;
        std::optional<int> tenths;  // nullopt: refused
        bool number = true;         // false: refused as no number at all
    } cases[] = {
        {"60", 600},        {"-60", -600},       {"-6.05", -60},     {"60.01", {}},
        {"-60.5", {}},      {"300000000", {}},   {"214748300", {}},  {"1e300", {}},
        {"inf", {}, false}, {"-inf", {}, false}, {"nan", {}, false},
    };
    for (const auto& c : cases) {
        const batch::ParsedOptions p = batch::parseBatchOptions({"--normalize", c.target, "in"});
        if (c.tenths) {
            EXPECT_EQ(p.error, "") << c.target;
            EXPECT_EQ(p.options.normalizeTenths, c.tenths) << c.target;
        } else if (c.number) {
            EXPECT_EQ(p.error, std::string("--normalize needs a target from -60 to 60 dB, not \"") + c.target + "\"");
        } else {
            EXPECT_EQ(p.error, std::string("--normalize needs a number, not \"") + c.target + "\"");
        }
    }
    TempDir dir;
    writeBytes(dir.file("a.mmf"), vq2File(100));
    const Outcome r = runBatch({"--normalize", "300000000", "a.mmf"}, dir.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(readBytes(dir.file("a.mmf")), vq2File(100));
    EXPECT_FALSE(testing::exists(dir.file("KELDRO_Output")));
}

TEST(Normalize, BringsFilesOfDifferentLevelToTheTarget) {
    TempDir dir;
    writeBytes(dir.file("in/quiet.mmf"), vq3File(64));                 // -12.0 dB
    writeBytes(dir.file("in/loud.mld"), mfiFileWith("0301", 2, 127));  // -1.0 dB
    writeBytes(dir.file("in/vq7.mmf"), vq7File(100, 4));               // -6.0 dB
    writeBytes(dir.file("in/near.mmf"), vq5File(92));                  // -5.5 dB: within 0.5 dB
    // A file left as it is keeps its mode (a new file would get 0644 here).
    ASSERT_EQ(::chmod(dir.file("in/near.mmf").c_str(), 0600), 0);
    const testing::ScopedUmask umask(022);
    const Outcome r = runBatch({"--normalize", "-6", "in"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err;

    for (const auto& [name, mode] : {std::pair{"loud.mld", FileMode::Mfi}, std::pair{"quiet.mmf", FileMode::Tavi},
                                     std::pair{"vq7.mmf", FileMode::Tavi}, std::pair{"near.mmf", FileMode::Tavi}}) {
        const Inspection out = inspectFile(dir.file(std::string("KELDRO_Output/in/") + name), mode);
        ASSERT_TRUE(out.ok()) << name;
        EXPECT_EQ(out.peakTenths, std::string(name) == "near.mmf" ? -55 : -60) << name;
    }
    EXPECT_EQ(readBytes(dir.file("KELDRO_Output/in/near.mmf")), vq5File(92));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("KELDRO_Output/in/near.mmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(readBytes(dir.file("KELDRO_Output/in/vq7.mmf")), vq7File(100, 4));
    EXPECT_NE(r.err.find("Change per file:\n"
                         "  -5.0 dB     in/loud.mld\n"
                         "  unchanged   in/near.mmf\n"
                         "  +6.0 dB     in/quiet.mmf\n"
                         "  unchanged   in/vq7.mmf\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Converted: 2\nUnchanged: 2\n"), std::string::npos) << r.err;
    const std::string result = readText(dir.file("KELDRO_Output/KELDRO_result.txt"));
    EXPECT_NE(result.find("Relative(6.0dB)"), std::string::npos);
    EXPECT_NE(result.find("Relative(-5.0dB)"), std::string::npos);
    EXPECT_EQ(linesStartingWith(result, "IN:").size(), 4u);
}

// An audio track's volume is a channel volume of its VQ-2 file: louder than
// the channel here, it sets the peak that normalising moves to the target.
// Beside a VQ-7 score track it makes the file fail, which is left unwritten.
TEST(Normalize, AudioTrackVolumeSetsThePeakOfItsVq2File) {
    TempDir dir;
    writeBytes(dir.file("in/vq2.mmf"), withAudioTrack(tavitest::vq2Track(64), 127));  // channel -12 dB, audio 0 dB
    writeBytes(dir.file("in/vq7.mmf"), withAudioTrack(tavitest::vq7Track(64, 0), 127));
    const Outcome r = runBatch({"--normalize", "-6", "in"}, dir.path());
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("Change per file:\n"
                         "  -6.0 dB     in/vq2.mmf\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("MTR of the different TAVI kind exist.\n            in/vq7.mmf\n"), std::string::npos)
        << r.err;
    const Inspection out = inspectFile(dir.file("KELDRO_Output/in/vq2.mmf"), FileMode::Tavi);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.peakTenths, -60);
    EXPECT_FALSE(testing::exists(dir.file("KELDRO_Output/in/vq7.mmf")));
}

// Each file is read once: the bytes judged are the bytes converted or
// copied, whatever the file holds by the time the output is written. Here
// the file on disk is the other of the two, as if it were rewritten between.
TEST(Normalize, WritesTheBytesItJudged) {
    TempDir dir;
    const ByteVector quiet = vq3File(64);  // -12.0 dB: gets +6 dB
    const ByteVector near = vq5File(92);   // -5.5 dB: copied unchanged
    const batch::BatchOptions options;
    const batch::BatchRun run{options, dir.file("result.txt"), false, {}};
    for (const auto& [judged, onDisk] : {std::pair{quiet, near}, std::pair{near, quiet}}) {
        const bool converts = judged == quiet;
        SCOPED_TRACE(converts ? "converted" : "copied");
        writeBytes(dir.file("in.mmf"), onDisk);
        const batch::BatchItem item{dir.file("in.mmf"), dir.file(converts ? "converted.mmf" : "copied.mmf"),
                                    FileMode::Tavi, false};
        const batch::FileOutcome o =
            batch::normalizeReadFile(item, run, -60, ReadOutcome::Read, ReadFile{judged, 0600});
        EXPECT_EQ(o.changeTenths, converts ? std::optional<int>(60) : std::nullopt);
        EXPECT_EQ(o.result, converts ? Result::Converted : Result::NotConverted);
        const ByteVector out = readBytes(item.output);
        if (converts) {
            EXPECT_EQ(inspectBytes(ByteSpan(out), FileMode::Tavi).peakTenths, -60);
        } else {
            EXPECT_EQ(out, near);
            struct stat st {};
            ASSERT_EQ(::stat(item.output.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u);  // the input's, as read
        }
    }
}

}  // namespace
}  // namespace keldro::batchtest
