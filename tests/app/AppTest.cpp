// Start-up and command line, run as a real process: the built keldro copied
// into a temporary directory beside a KELDRO.ini.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "support/ProcessRun.h"
#include "support/TaviFileBuilder.h"

namespace keldro {
namespace {

using testing::readText;
using testing::writeText;

using Outcome = testing::ProcessOutcome;

class App : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string exe;

    void SetUp() override { install("keldro"); }

    void install(const std::string& name) {
        exe = dir.file(name);
        std::filesystem::copy_file(KELDRO_EXE, exe, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
    }
    std::string ini() const { return dir.file("KELDRO.ini"); }

    Outcome run(const std::vector<std::string>& args) { return testing::runProcess(exe, args, dir.path()); }
};

const std::string kTaviHelp =
    "Master Volume Converter for VQ-2,3,5,7/TAVI\n\n"
    "keldro -i Filename -o Filename [-l Filename] [-db dB_Value] [-mv MV_Value] [-mg MG_Value] [-c* CV_Value] "
    "[-e] [-h] [-v]\n\n"
    "   -i   Filename    :Input file name\n   -o   Filename    :Output file name\n   -l   Filename    :Log file name\n"
    "   -db  dB_Value    :Relative Value  (-60 ... 60)\n   -mv  MV_Value    :MasterVolume    (0 ... 127)\n"
    "   -mg  MG_Value    :MaxGain         (-12 ... 0)\n";
const std::string kVersion = "keldro Ver.1.1.0 (Feb  6 2006 18:33:19)\n";

// A settings file that gives no mode stops the run: the message, status 1
// (a failure, so `keldro ... && rm song.mmf` keeps the song), no output and
// no settings written, whatever else the command line asks.
TEST_F(App, InitialFileParameterErrorFails) {
    writeText(dir.file("song.mmf"), "MMMD");
    const struct {
        const char* name;
        void (*make)(const std::string& ini, const testing::TempDir& dir);
    } cases[] = {
        {"missing", [](const std::string&, const testing::TempDir&) {}},
        {"folder", [](const std::string& ini, const testing::TempDir&) { ::mkdir(ini.c_str(), 0755); }},
        {"fifo", [](const std::string& ini, const testing::TempDir&) { ::mkfifo(ini.c_str(), 0644); }},
        {"dangling link",
         [](const std::string& ini, const testing::TempDir& d) { ::symlink(d.file("gone.ini").c_str(), ini.c_str()); }},
        {"unreadable",
         [](const std::string& ini, const testing::TempDir&) {
             writeText(ini, "[SETTING]\nTARGET_FILE=0\n");
             ::chmod(ini.c_str(), 0200);
         }},
        {"TARGET_FILE=2",
         [](const std::string& ini, const testing::TempDir&) { writeText(ini, "[SETTING]\nTARGET_FILE=2\n"); }},
        {"TARGET_FILE=-1",
         [](const std::string& ini, const testing::TempDir&) { writeText(ini, "[SETTING]\nTARGET_FILE=-1\n"); }},
        // Past the range of int: read saturating, not wrapped to 0 or 1.
        {"TARGET_FILE=4294967296",
         [](const std::string& ini, const testing::TempDir&) {
             writeText(ini, "[SETTING]\nTARGET_FILE=4294967296\n");
         }},
        {"TARGET_FILE=4294967297",
         [](const std::string& ini, const testing::TempDir&) {
             writeText(ini, "[SETTING]\nTARGET_FILE=4294967297\n");
         }},
        {"no TARGET_FILE",
         [](const std::string& ini, const testing::TempDir&) { writeText(ini, "[SETTING]\nDB_VALUE=1\n"); }},
        {"other section",
         [](const std::string& ini, const testing::TempDir&) { writeText(ini, "[OTHER]\nTARGET_FILE=0\n"); }},
    };
    for (const auto& c : cases) {
        if (std::string(c.name) == "unreadable" && ::geteuid() == 0) continue;  // root reads anything
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(ini());
        c.make(ini(), dir);
        // Only a regular file is read here: opening a FIFO would wait for a writer.
        const bool regular = std::filesystem::is_regular_file(ini());
        const std::string before = regular ? readText(ini()) : "";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{}, std::vector<std::string>{"-h"},
              std::vector<std::string>{"-i", "song.mmf", "-o", "out.mmf", "-l", "log.txt", "-db", "-3"}}) {
            const Outcome r = run(args);
            EXPECT_EQ(r.out, "1\n");
            EXPECT_EQ(r.err, "Initial file parameter error.\n");
            EXPECT_EQ(r.code, 1);
            EXPECT_FALSE(testing::exists(dir.file("out.mmf")));
            EXPECT_FALSE(testing::exists(dir.file("log.txt")));
            EXPECT_EQ(regular ? readText(ini()) : "", before);
        }
        if (std::string(c.name) == "missing") {
            EXPECT_FALSE(testing::exists(ini()));
        }
    }
    std::filesystem::remove_all(ini());
}

TEST_F(App, NoArgumentsWritesNormalisedValues) {
    writeText(ini(),
              "; kept\r\n[setting]\r\nTARGET_FILE = 1\r\nMV_VALUE=300\r\nMG_VALUE=-9.7\r\nDB_VALUE=75\r\n"
              "CV_VALUE3=50\r\n\r\n[OTHER]\r\nX=1\r\n");
    Outcome r = run({});
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(readText(ini()),
              "; kept\r\n[setting]\r\nTARGET_FILE = 1\r\nMV_VALUE=127\r\nMG_VALUE=-9.5\r\n"
              "DB_VALUE=60.0\r\nCV_VALUE3=50\r\n\r\n[OTHER]\r\nX=1\r\n");
}

// Stored volumes past the range of int read as the command line reads them:
// as far out of range as they look, not wrapped (4294967296 would be silence).
TEST_F(App, StoredVolumesPastIntSaturate) {
    for (const char* stored : {"4294967296", "2147483648", "99999999999999999999"}) {
        writeText(ini(), std::string("[SETTING]\nTARGET_FILE=0\nMV_VALUE=") + stored + "\n");
        run({});
        EXPECT_NE(readText(ini()).find("MV_VALUE=127\n"), std::string::npos) << stored;
    }
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\nMV_VALUE=-4294967296\n");
    run({});
    EXPECT_NE(readText(ini()).find("MV_VALUE=0\n"), std::string::npos);
}

TEST_F(App, MissingKeysAreAddedWithDefaults) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=1");
    Outcome r = run({});
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=1\nDB_VALUE=0.0\nMV_VALUE=100\nMG_VALUE=-9.0\n");
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\nMG_VALUE=3\n");
    run({});
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=0\nMG_VALUE=0.0\nDB_VALUE=0.0\nMV_VALUE=100\n");
}

// A file longer than its format's length field can describe is refused
// before it is read (the sparse file takes neither disk nor memory).
TEST_F(App, InputTooLargeForItsFormatIsRefusedUnread) {
    if (!testing::makeSparseFile(dir.file("huge.mmf"), (1ull << 32) + 8)) GTEST_SKIP() << "no sparse files here";
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\n");
    const Outcome r = run({"-i", "huge.mmf", "-o", "out.mmf"});
    EXPECT_EQ(r.err, "File size error.\n");
    EXPECT_EQ(r.out, "-3\n");
    EXPECT_EQ(r.code, 253);
    EXPECT_FALSE(testing::exists(dir.file("out.mmf")));
}

TEST_F(App, ReadOnlySettingsFileIsNotWritten) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\n");
    testing::makeReadOnly(ini());
    Outcome r = run({"-db", "5"});
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=0\n");
    EXPECT_EQ(r.err, "File read error.\n");
    EXPECT_EQ(r.out, "-24\n");
    EXPECT_EQ(r.code, 232);
}

TEST_F(App, HelpAndVersion) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\n");
    Outcome h = run({"-h"});
    EXPECT_EQ(h.out, "0\n");
    EXPECT_EQ(h.err.substr(0, kTaviHelp.size()), kTaviHelp);
    EXPECT_TRUE(h.err.ends_with("   -h               :Help\n   -v               :Version\n"));
    EXPECT_EQ(h.err.size(), 1372u);
    EXPECT_EQ(run({"-v", "-h"}).err, kVersion + h.err);
    EXPECT_EQ(run({"-H", "-V"}).err, kVersion + h.err);
    EXPECT_EQ(run({"-v"}).err, kVersion);
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=0\nDB_VALUE=0.0\nMV_VALUE=100\nMG_VALUE=-9.0\n");

    // The printed name is the executable's name without its last extension.
    install("conv.bin");
    EXPECT_EQ(run({"-v"}).err, "conv Ver.1.1.0 (Feb  6 2006 18:33:19)\n");
}

TEST_F(App, MfiHelp) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=1\n");
    Outcome h = run({"-h"});
    EXPECT_EQ(
        h.err.substr(0, 160),
        std::string(
            "Master Volume Converter for MFi/2.0,3.0,3.1,4.0\n\nkeldro -i Filename -o Filename [-l Filename] "
            "[-db dB_Value] [-mg MG_Value] [-c* CV_Value] [-e] [-h] [-v]\n\n   -i   Filename    :Input file name\n")
            .substr(0, 160));
    EXPECT_NE(
        h.err.find(
            "   -db  dB_Value    :Relative Value  (-60 ... 60)\n   -mg  MG_Value    :MaxGain         (-12 ... 0)\n"
            "   -c1  CV_Value    :Channel1 Volume (0 ... 63)\n"),
        std::string::npos);
    EXPECT_TRUE(h.err.ends_with(
        "   -c16 CV_Value    :Channel16 Volume(0 ... 63)\n   -ca  CV_Value    :ADPCM Volume    (0 ... 63)\n"
        "   -e               :Regulate Chorus(Distortion/Copmressor)\n   -h               :Help\n"
        "   -v               :Version\n"));
}

TEST_F(App, ArgumentPass) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\n");
    writeText(dir.file("in.mmf"), "MMMD");
    // "-e" alone: nothing but the exit status.
    Outcome e = run({"-e"});
    EXPECT_EQ(e.out, "0\n");
    EXPECT_EQ(e.err, "");
    // An unknown option consumes its value: no conversion runs.
    Outcome x = run({"-x", "-i", "in.mmf", "-o", "out.mmf"});
    EXPECT_EQ(x.out, "0\n");
    EXPECT_EQ(x.err, "");
    // "-i" as the last argument has no effect.
    EXPECT_EQ(run({"-i"}).err, "");
    EXPECT_EQ(run({"-c17", "5", "-c0", "5"}).err, "");
    // Help, then the conversion's result text.
    Outcome hc = run({"-h", "-i", "missing.mmf", "-o", "out.mmf"});
    EXPECT_TRUE(hc.err.ends_with("   -v               :Version\nFile read error.\n"));
    EXPECT_EQ(hc.out, "-24\n");
    EXPECT_EQ(hc.code, 232);
    // "-db" wins over "-mg"; both values are saved.
    Outcome mg = run({"-MG", "-3", "-db", "2"});
    EXPECT_EQ(mg.err, "File read error.\n");
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=0\nDB_VALUE=2.0\nMV_VALUE=100\nMG_VALUE=-3.0\n");
    run({"-mv", "300"});
    EXPECT_NE(readText(ini()).find("MV_VALUE=127\n"), std::string::npos);
    // Wrong extension.
    writeText(dir.file("in.txt"), "MMMD");
    Outcome w = run({"-i", "in.txt", "-o", "out.mmf"});
    EXPECT_EQ(w.err, "No TAVI file.\n");
    EXPECT_EQ(w.out, "-23\n");
    EXPECT_EQ(w.code, 233);
}

// Real conversions of a VQ-2 file whose track 4 sets channel 3 (the 16th
// channel) to 100; the log row shows what the command line asked for.
TEST_F(App, ChannelAndDbOptionsReachTheConversion) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=0\n");
    const tavitest::Bytes seq = {0x00, 0x00, 0xF7, 100,  // channel 3 volume 100
                                 0x00, 0xC5, 0x05,       // channel 3 note, gate 5
                                 0x00, 0x00, 0x00, 0x00};
    const tavitest::Bytes file = tavitest::taviFile(
        {tavitest::cnti(),
         tavitest::scoreTrack(4, tavitest::scoreTrackHeader(4, 0x02, 0x02),
                              {tavitest::chunk("MspI", tavitest::pointBody(0, 11)), tavitest::chunk("Mtsq", seq)})});
    writeText(dir.file("in.mmf"), std::string(file.begin(), file.end()));
    const struct {
        std::vector<std::string> options;
        std::string row;
    } cases[] = {
        {{"-c16", "40"}, "0.000\t16(MTR4)\tAbsolute\t100\t40\t\r\n"},
        // "-db" wins over an absolute option given after it, too.
        {{"-db", "2", "-mg", "-3"}, "0.000\t16(MTR4)\tRelative(2.0dB)\t100\t115\t\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.front());
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-i", "in.mmf", "-o", "out.mmf", "-l", "log.txt"});
        std::filesystem::remove(dir.file("log.txt"));
        Outcome r = run(args);
        EXPECT_EQ(r.out, "0\n");
        EXPECT_EQ(r.err, "Converted.\n");
        const std::string log = readText(dir.file("log.txt"));
        EXPECT_NE(log.find("\r\n" + c.row), std::string::npos) << log;
    }
}

// A relative change of a VQ-7 file chooses the file's MaxGain; that is the
// MaxGain the run used, so it is the one saved for the next run, and the
// master volumes take what it could not, whatever MaxGain was stored before.
TEST_F(App, Vq7RelativeRunSavesTheMaxGainItChose) {
    using namespace tavitest;
    // Master volumes 100 and 64 under a MaxGain of 0 dB.
    const Bytes twoMasters = vq7Track(vq7MaxGain(0), cat({{0x00},
                                                          vq7MasterVolume(100),
                                                          {0x00},
                                                          vq7MasterVolume(64),
                                                          {0x00, 0x00, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00}}));
    const struct {
        const char* what;
        const char* stored;  // MG_VALUE before the run
        Bytes track;
        const char* db;
        const char* saved;
        std::vector<std::uint8_t> masters;  // master volumes of the output
    } cases[] = {
        {"MaxGain -4.5 dB chosen", "-1.0", vq7Track(100, 4), "-3", "-9.0", {127}},
        // +4 dB brings the loudest master to the top at MaxGain 0 dB; 64 keeps 8 dB.
        {"MaxGain 0 dB chosen over a stored -6 dB", "-6.0", twoMasters, "4", "0.0", {127, 80}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(ini(), std::string("[SETTING]\nTARGET_FILE=0\nMG_VALUE=") + c.stored + "\n");
        const Bytes file = taviFile({cnti(), c.track});
        writeText(dir.file("in.mmf"), std::string(file.begin(), file.end()));
        Outcome r = run({"-db", c.db, "-i", "in.mmf", "-o", "out.mmf"});
        EXPECT_EQ(r.err, "Converted.\n");
        EXPECT_EQ(readText(ini()), std::string("[SETTING]\nTARGET_FILE=0\nMG_VALUE=") + c.saved + "\nDB_VALUE=" + c.db +
                                       ".0\nMV_VALUE=100\n");
        const std::string text = readText(dir.file("out.mmf"));
        const Bytes out(text.begin(), text.end());
        auto from = out.begin();  // the masters in the order given
        for (const std::uint8_t master : c.masters) {
            const Bytes event = vq7MasterVolume(master);
            from = std::search(from, out.end(), event.begin(), event.end());
            ASSERT_NE(from, out.end()) << "master volume " << int{master};
            ++from;
        }
    }
}

TEST_F(App, MfiModeIgnoresMasterVolumeOption) {
    writeText(ini(), "[SETTING]\nTARGET_FILE=1\nMV_VALUE=90\n");
    writeText(dir.file("a.mmf"), "MMMD");
    Outcome r = run({"-mv", "50", "-i", "a.mmf", "-o", "b.mld"});
    EXPECT_EQ(r.err, "No MFi file.\n");
    EXPECT_EQ(r.out, "-44\n");
    EXPECT_EQ(r.code, 212);
    EXPECT_EQ(readText(ini()), "[SETTING]\nTARGET_FILE=1\nMV_VALUE=90\nDB_VALUE=0.0\nMG_VALUE=-9.0\n");
}

}  // namespace
}  // namespace keldro
