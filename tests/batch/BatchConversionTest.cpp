// keldro-batch converting collections, run as a real process: its outputs and
// result-log entries equal keldro's for the same file and settings, folders
// keep their structure, the result file follows the input order, and a file
// that fails stops neither the others nor the exit status from telling.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "batch/BatchApp.h"
#include "batch/InOrder.h"
#include "batch/ResultFile.h"
#include "platform/Text.h"
#include "batch/BatchTestSupport.h"

namespace keldro::batchtest {
namespace {

namespace fs = std::filesystem;

struct NamedFile {
    std::string name;
    int targetFile;  // keldro's TARGET_FILE for it
    ByteVector bytes;
};

ByteVector exampleFile(const std::string& name) {
    return readBytes(std::string(KELDRO_SOURCE_DIR) + "/examples/" + name);
}

ByteVector mfi40WithChorus() {
    return test::mfiFile("0400", {test::MfiTrackBuilder()
                                      .maxGain(0, 6)
                                      .masterVolume(0, 110)
                                      .effectSettings(0, test::effectBlock(0x4900, 90))
                                      .effectSelect(0, 64)
                                      .effectSend(0, 0, false, 70)
                                      .note(0, 0)
                                      .note(4, 0)});
}

// Names sort in this order, so it is also the batch's input order. Two VQ-7
// files of different MaxGain catch settings shared between workers (the VQ-7
// MaxGain rule writes into its controller's settings).
std::vector<NamedFile> mixedCollection() {
    return {
        {"01_vq2.mmf", 0, vq2File(100)},
        {"02_vq3.mmf", 0, vq3File(64)},
        {"03_vq5.MMF", 0, vq5File(90)},
        {"04_vq7.mmf", 0, vq7File(100, 4)},
        {"05_vq7.mmf", 0, vq7File(70, 12)},
        {"06_vq3_packed.mmf", 0, exampleFile("vq3_packed.mmf")},
        {"07_vq7_chorus.mmf", 0, exampleFile("vq7_chorus.mmf")},
        {"08_mfi20.mld", 1, mfi20File(40)},
        {"09_mfi30.mld", 1, mfiFileWith("0300", 10, 100)},
        {"10_mfi31.MLD", 1, mfiFileWith("0301", 2, 127)},
        {"11_mfi40.mld", 1, mfi40WithChorus()},
    };
}

struct SettingsCase {
    std::vector<std::string> batchArgs;
    std::vector<std::string> keldroArgs;
};

TEST(BatchConversion, OutputsAndLogEntriesEqualKeldros) {
    const std::vector<SettingsCase> cases = {
        {{"--db", "-3"}, {"-db", "-3"}},
        {{"--db=4.5", "--regulate"}, {"-db", "4.5", "-e"}},
        {{"--mg", "-4.5", "--regulate"}, {"-mg", "-4.5", "-e"}},
        {{"--c1", "50", "--ca", "20", "--mv", "80"}, {"-c1", "50", "-ca", "20", "-mv", "80"}},
        {{"--mg", "-3", "--db", "2"}, {"-mg", "-3", "-db", "2"}},
        {{"--db", "2", "--mg", "-3", "--c2", "9"}, {"-db", "2", "-mg", "-3", "-c2", "9"}},
        {{}, {"-db", "0"}},
    };
    TempDir dir;
    Keldro keldro(dir);
    const std::vector<NamedFile> files = mixedCollection();
    for (const NamedFile& f : files) writeBytes(dir.file("in/" + f.name), f.bytes);

    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE("case " + std::to_string(k));
        const std::string out = "out" + std::to_string(k);
        fs::create_directories(dir.file(out + "/in"));
        // keldro first, into the very paths the batch will use, so that even
        // the IN: and OUT: lines of the log entries must agree.
        std::vector<ByteVector> expected;
        std::string expectedLog;
        for (const NamedFile& f : files) {
            std::vector<std::string> args = {"-i", "in/" + f.name, "-o", out + "/in/" + f.name, "-l", "k.txt"};
            args.insert(args.end(), cases[k].keldroArgs.begin(), cases[k].keldroArgs.end());
            keldro.run(f.targetFile, args);
            expected.push_back(readBytes(dir.file(out + "/in/" + f.name)));
            expectedLog += withoutTimeStamp(readText(dir.file("k.txt")));
            fs::remove(dir.file(out + "/in/" + f.name));
        }

        std::vector<std::string> args = {"--out", out, "--jobs", "4"};
        args.insert(args.end(), cases[k].batchArgs.begin(), cases[k].batchArgs.end());
        args.push_back("in");
        const Outcome r = runBatch(args, dir.path());
        EXPECT_EQ(r.code, 0) << r.err;
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_FALSE(expected[i].empty()) << files[i].name;
            EXPECT_EQ(readBytes(dir.file(out + "/in/" + files[i].name)), expected[i]) << files[i].name;
            EXPECT_EQ(readBytes(dir.file("in/" + files[i].name)), files[i].bytes) << "input changed: " << files[i].name;
        }
        EXPECT_EQ(withoutTimeStamp(readText(dir.file(out + "/KELDRO_result.txt"))), expectedLog);
    }
}

TEST(BatchConversion, KeepsFoldersOrderAndGoesOnAfterFailures) {
    TempDir dir;
    writeBytes(dir.file("in/a.mmf"), vq2File(100));
    writeBytes(dir.file("in/notes.txt"), {'h', 'i'});
    writeBytes(dir.file("in/sub/b.MLD"), mfiFileWith("0301", 10, 100));
    writeBytes(dir.file("in/sub/broken.mmf"), {'M', 'M', 'M', 'D', 0, 0});
    writeBytes(dir.file("in/sub/deeper/c.mmf"), vq3File(64));
    // Many small files make a finishing order different from the input order likely.
    std::vector<std::string> many;
    for (int i = 0; i < 24; ++i) {
        many.push_back(formatText("in/t/f%02d.mmf", i));
        writeBytes(dir.file(many.back()), i % 2 ? vq7File(static_cast<std::uint8_t>(60 + i), 4) : vq2File(90));
    }
    writeBytes(dir.file("single.mmf"), vq5File(90));

    const Outcome r =
        runBatch({"--jobs", "3", "--db", "-2", "--out", "results", "in", "single.mmf", "ghost.mmf"}, dir.path());
    EXPECT_EQ(r.code, 1);

    for (const char* made : {"results/in/a.mmf", "results/in/sub/b.MLD", "results/in/sub/deeper/c.mmf",
                             "results/in/t/f23.mmf", "results/single.mmf"})
        EXPECT_TRUE(testing::exists(dir.file(made))) << made;
    for (const char* absent : {"results/in/sub/broken.mmf", "results/ghost.mmf", "results/in/notes.txt"})
        EXPECT_FALSE(testing::exists(dir.file(absent))) << absent;

    std::vector<std::string> order = {"in/a.mmf", "in/sub/b.MLD", "in/sub/broken.mmf", "in/sub/deeper/c.mmf"};
    order.insert(order.end(), many.begin(), many.end());
    order.insert(order.end(), {"single.mmf", "ghost.mmf"});
    const std::vector<std::string> headers = linesStartingWith(readText(dir.file("results/KELDRO_result.txt")), "IN:");
    ASSERT_EQ(headers.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(headers[i].rfind("IN:" + order[i] + "\t", 0), 0u) << headers[i];
        const bool fails = order[i] == "in/sub/broken.mmf" || order[i] == "ghost.mmf";
        EXPECT_NE(headers[i].find(fails ? "Result:NG" : "Result:OK"), std::string::npos) << headers[i];
    }
    EXPECT_NE(r.err.find("skipped: in/notes.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Converted: 28\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Failed:    2\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File read error.\n            ghost.mmf\n"), std::string::npos) << r.err;
}

// A file longer than its format's length field can describe (a sparse one:
// it takes neither disk nor memory) is refused unread in every mode, and
// the batch goes on with the others and writes its result file.
TEST(BatchConversion, FileTooLargeForItsFormatIsRefusedUnread) {
    TempDir dir;
    writeBytes(dir.file("in/a.mmf"), vq2File(100));
    if (!testing::makeSparseFile(dir.file("in/huge.mmf"), (1ull << 32) + 8)) GTEST_SKIP() << "no sparse files here";
    ASSERT_TRUE(testing::makeSparseFile(dir.file("in/huge.mld"), (1ull << 32) + 8));
    writeBytes(dir.file("in/z.mld"), mfiFileWith("0301", 10, 100));
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--db", "-2"}, std::vector<std::string>{"--normalize", "-6"}}) {
        SCOPED_TRACE(options[0]);
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--out", "out" + options[0], "in"});
        const Outcome r = runBatch(args, dir.path());
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("File size error.\n            in/huge.mmf\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Header size error.\n            in/huge.mld\n"), std::string::npos) << r.err;
        EXPECT_TRUE(testing::exists(dir.file("out" + options[0] + "/in/a.mmf")));
        EXPECT_TRUE(testing::exists(dir.file("out" + options[0] + "/in/z.mld")));
        EXPECT_FALSE(testing::exists(dir.file("out" + options[0] + "/in/huge.mmf")));
        const std::string result = readText(dir.file("out" + options[0] + "/KELDRO_result.txt"));
        EXPECT_EQ(linesStartingWith(result, "IN:").size(), 4u);
    }
    const Outcome inspected = runBatch({"--inspect", "--csv", "in"}, dir.path());
    EXPECT_EQ(inspected.code, 1);
    EXPECT_NE(inspected.out.find("File size error."), std::string::npos) << inspected.out;
    EXPECT_NE(inspected.out.find("Header size error."), std::string::npos) << inspected.out;
}

// With a result file from an earlier run in place, keldro's rule still
// holds for every file: an output that is a link to that result file fails
// (its log entry would replace its own output), and the others go on.
TEST(BatchConversion, OutputLinkedToAnEarlierResultFileFails) {
    TempDir dir;
    writeBytes(dir.file("in/a.mmf"), vq2File(100));
    writeBytes(dir.file("in/b.mmf"), vq3File(64));
    ASSERT_EQ(runBatch({"--db", "-3", "--out", "out", "in"}, dir.path()).code, 0);
    fs::remove(dir.file("out/in/b.mmf"));
    fs::create_symlink("../KELDRO_result.txt", dir.file("out/in/b.mmf"));

    const Outcome r = runBatch({"--db", "-3", "--jobs", "1", "--out", "out", "in"}, dir.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("[1/2] in/a.mmf: Converted.\n[2/2] in/b.mmf: File write error.\n"), std::string::npos)
        << r.err;
    const std::vector<std::string> headers = linesStartingWith(readText(dir.file("out/KELDRO_result.txt")), "IN:");
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].rfind("IN:in/a.mmf\t", 0), 0u) << headers[0];
}

// Holds every file descriptor but `spare` of a lowered limit, and gives them back.
class DescriptorsTaken {
public:
    explicit DescriptorsTaken(int spare) {
        ::getrlimit(RLIMIT_NOFILE, &old_);
        struct rlimit low = old_;
        low.rlim_cur = std::min<rlim_t>(old_.rlim_cur, 256);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held_.push_back(fd);
        for (; spare > 0 && !held_.empty(); --spare) {
            ::close(held_.back());
            held_.pop_back();
        }
    }
    ~DescriptorsTaken() {
        for (int fd : held_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &old_);
    }
    DescriptorsTaken(const DescriptorsTaken&) = delete;
    DescriptorsTaken& operator=(const DescriptorsTaken&) = delete;

private:
    struct rlimit old_ {};
    std::vector<int> held_;
};

// Files that fail because no file descriptor is left keep their result
// ("File read error." or "File write error."), and the summary says why.
// Run in this process (a child's sanitizers want descriptors of their own),
// after a first run that meets every step with descriptors to spare.
TEST(BatchConversion, RunOutOfFileDescriptorsSaysSoInTheSummary) {
    TempDir dir;
    writeBytes(dir.file("in/a.mmf"), vq2File(100));
    writeBytes(dir.file("in/b.mld"), mfi20File(50));
    const auto args = [&](const std::string& out) {
        return std::vector<std::string>{"--db", "-3", "--jobs", "1", "--out", dir.file(out), dir.file("in")};
    };
    ASSERT_EQ(batch::runBatch(args("first")), 0);

    ::testing::internal::CaptureStderr();
    int code = -1;
    {
        // One descriptor to list the folder and take the first file's steps with.
        const DescriptorsTaken taken(1);
        code = batch::runBatch(args("out"));
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("Failed:    2\n       2  File "), std::string::npos) << err;
    EXPECT_NE(err.find(". (too many open files)\n"), std::string::npos) << err;
}

// Into an output folder the run makes: a file that needs no change (no
// channel 16 in the VQ-2 file, no MaxGain in MFi 2.0) is copied whole, in a
// folder below as well, and reported as such.
TEST(BatchConversion, FileThatNeedsNoChangeIsCopiedWholeIntoANewFolder) {
    TempDir dir;
    const std::vector<NamedFile> files = {{"a.mmf", 0, vq2File(100)}, {"sub/b.mld", 1, mfi20File(40)}};
    for (const NamedFile& f : files) writeBytes(dir.file("in/" + f.name), f.bytes);
    const Outcome r = runBatch({"--c16", "50", "--mg", "-3", "--out", "fresh", "in"}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    for (const NamedFile& f : files) {
        EXPECT_EQ(readBytes(dir.file("fresh/in/" + f.name)), f.bytes) << f.name;
        EXPECT_NE(r.err.find("in/" + f.name + ": Not Converted - Not exist target volume.\n"), std::string::npos)
            << r.err;
    }
    const std::vector<std::string> headers = linesStartingWith(readText(dir.file("fresh/KELDRO_result.txt")), "IN:");
    EXPECT_EQ(headers.size(), files.size());
}

TEST(BatchConversion, NothingFailedMeansExitZeroAndCommandLineErrorsTwo) {
    TempDir dir;
    writeBytes(dir.file("a.mmf"), vq2File(100));
    EXPECT_EQ(runBatch({"a.mmf"}, dir.path()).code, 0);
    EXPECT_TRUE(testing::exists(dir.file("KELDRO_Output/a.mmf")));
    const Outcome bad = runBatch({"--db", "loud", "a.mmf"}, dir.path());
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("--db needs a number"), std::string::npos) << bad.err;
}

// --version prints one line on standard output, with the release numbers
// keldro's own version line ("keldro Ver.1.1.0 (...)") shows.
TEST(BatchConversion, VersionLineNamesTheReleaseKeldroPrints) {
    TempDir dir;
    const Outcome batch = runBatch({"--version"}, dir.path());
    EXPECT_EQ(batch.code, 0);
    EXPECT_EQ(batch.err, "");
    const Outcome keldro = Keldro(dir).run(0, {"-v"});
    const std::size_t at = keldro.err.find(" Ver.");
    ASSERT_NE(at, std::string::npos) << keldro.err;
    const std::size_t from = at + 5;
    EXPECT_EQ(batch.out, "keldro-batch " + keldro.err.substr(from, keldro.err.find(' ', from) - from) + "\n");
}

// Entries reach the result file in index order, each as soon as every
// earlier one has come; the file replaces an older one only when complete.
TEST(BatchConversion, ResultFileHoldsEntriesInIndexOrderAndAppearsWhole) {
    TempDir dir;
    testing::writeText(dir.file("r.txt"), "previous run");
    batch::ResultFile file(dir.file("r.txt"));
    std::string handedOn;
    batch::InOrder<std::string> entries([&](std::size_t i, std::string& entry) {
        handedOn += std::to_string(i);
        file.append(entry);
    });
    entries.put(2, "c");
    entries.put(3, "d");
    EXPECT_EQ(handedOn, "");
    entries.put(0, "a");
    EXPECT_EQ(handedOn, "0");
    entries.put(1, "");  // a file the job wrote no entry for
    EXPECT_EQ(handedOn, "0123");
    EXPECT_EQ(readText(dir.file("r.txt")), "previous run");  // replaced only when complete
    EXPECT_TRUE(file.finish());
    EXPECT_EQ(readText(dir.file("r.txt")), "acd");

    batch::ResultFile none(dir.file("none.txt"));
    none.append("");
    EXPECT_TRUE(none.finish());
    EXPECT_FALSE(testing::exists(dir.file("none.txt")));  // no entry, no file
}

}  // namespace
}  // namespace keldro::batchtest
