// File safety, run as a real process: the built keldro copied into a
// temporary directory beside its KELDRO.ini. A write that fails part-way
// (the child runs under a small file size limit with SIGXFSZ ignored, so
// write() fails with EFBIG even for root) must leave no partial output and
// no temporary file, keep an existing output or a same-name input byte for
// byte, and report "File write error."; a read-only output stays untouched;
// a log that cannot be written leaves the converted output in place.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "support/ProcessRun.h"

namespace keldro {
namespace {

using testing::readText;
using testing::writeText;

using Outcome = testing::ProcessOutcome;

struct Mode {
    const char* name;
    int targetFile;
    const char* example;    // a file that converts with -db -3
    const char* extension;
};

const Mode kModes[] = {
    {"TAVI", 0, "vq2_bell.mmf", ".mmf"},
    {"MFi", 1, "mfi30_march.mld", ".mld"},
};

// Larger than any file the child must still write (its settings file, its
// two output streams), smaller than every output of the examples.
constexpr rlim_t kSmallFileLimit = 160;

class FileSafety : public ::testing::TestWithParam<Mode> {
protected:
    testing::TempDir dir;
    std::string exe;
    std::string input;

    void SetUp() override {
        exe = dir.file("keldro");
        std::filesystem::copy_file(KELDRO_EXE, exe);
        std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
        writeText(dir.file("KELDRO.ini"), "[SETTING]\nTARGET_FILE=" + std::to_string(GetParam().targetFile) + "\n");
        input = file("in");
        std::filesystem::copy_file(std::string(KELDRO_SOURCE_DIR) + "/examples/" + GetParam().example, input);
        ASSERT_GT(readText(input).size(), kSmallFileLimit);
    }

    std::string file(const std::string& stem) const { return dir.file(stem + GetParam().extension); }

    // Runs the copy with the arguments; fileLimit 0 means no limit.
    Outcome run(const std::vector<std::string>& args, rlim_t fileLimit = 0) {
        return testing::runProcess(exe, args, dir.path(), fileLimit);
    }

    // Temporary files of a safe write left behind in the directory.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const std::string& name : testing::listDir(dir.path()))
            if (name.rfind(".keldro-", 0) == 0) found.push_back(name);
        return found;
    }

    // What a conversion with the same settings writes when nothing fails.
    std::string reference(const std::vector<std::string>& options) {
        std::vector<std::string> args = {"-i", input, "-o", file("reference")};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(run(args).err, "Converted.\n");
        const std::string bytes = readText(file("reference"));
        ::unlink(file("reference").c_str());
        return bytes;
    }
};

TEST_P(FileSafety, WriteFailingPartWayLeavesNoPartialFile) {
    const std::string original = readText(input);
    // A converted output, and a copy when nothing needs changing (-db 0).
    for (const char* db : {"-3", "0"}) {
        const std::string out = file("out");
        const Outcome r = run({"-i", input, "-o", out, "-db", db}, kSmallFileLimit);
        EXPECT_EQ(r.err, "File write error.\n") << db;
        EXPECT_EQ(r.out, "-24\n") << db;  // the exit status of "File write error."
        EXPECT_FALSE(testing::exists(out)) << db;
        EXPECT_TRUE(leftovers().empty()) << db;

        // An existing output keeps its bytes.
        writeText(out, "previous content");
        EXPECT_EQ(run({"-i", input, "-o", out, "-db", db}, kSmallFileLimit).err, "File write error.\n") << db;
        EXPECT_EQ(readText(out), "previous content") << db;
        EXPECT_TRUE(leftovers().empty()) << db;
        ::unlink(out.c_str());
    }
    EXPECT_EQ(readText(input), original);
}

TEST_P(FileSafety, SameNameConversionWhoseWriteFailsKeepsTheInput) {
    const std::string original = readText(input);
    const Outcome r = run({"-i", input, "-o", input, "-db", "-3"}, kSmallFileLimit);
    EXPECT_EQ(r.err, "File write error.\n");
    EXPECT_EQ(readText(input), original);
    EXPECT_TRUE(leftovers().empty());

    // Without the limit the same run replaces the input with the converted file.
    const std::string converted = reference({"-db", "-3"});
    EXPECT_EQ(run({"-i", input, "-o", input, "-db", "-3"}).err, "Converted.\n");
    EXPECT_EQ(readText(input), converted);
}

TEST_P(FileSafety, ReadOnlyOutputStaysUntouched) {
    const std::string out = file("out");
    writeText(out, "read-only content");
    ::chmod(out.c_str(), 0444);
    for (const char* db : {"-3", "0"}) {
        EXPECT_EQ(run({"-i", input, "-o", out, "-db", db}).err, "File write error.\n") << db;
        EXPECT_EQ(readText(out), "read-only content") << db;
        struct stat st{};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u) << db;
    }
    EXPECT_TRUE(leftovers().empty());
}

TEST_P(FileSafety, UnwritableLogLeavesTheConvertedOutput) {
    const std::string converted = reference({"-db", "-3"});
    const std::string readOnlyLog = dir.file("log.txt");
    writeText(readOnlyLog, "old log");
    ::chmod(readOnlyLog.c_str(), 0444);
    const struct {
        const char* name;
        std::string log;
    } cases[] = {
        {"log in a missing folder", dir.file("missing/log.txt")},
        {"read-only log", readOnlyLog},
        {"log that is a folder", dir.path()},
    };
    for (const auto& c : cases) {
        const std::string out = file("out");
        const Outcome r = run({"-i", input, "-o", out, "-db", "-3", "-l", c.log});
        EXPECT_EQ(r.err, "File write error.\n") << c.name;
        EXPECT_EQ(readText(out), converted) << c.name;
        ::unlink(out.c_str());
    }
    EXPECT_EQ(readText(readOnlyLog), "old log");
}

INSTANTIATE_TEST_SUITE_P(BothModes, FileSafety, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keldro
