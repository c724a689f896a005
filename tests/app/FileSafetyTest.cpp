// File safety, run as a real process: the built keldro copied into a
// temporary directory beside its KELDRO.ini. A write that fails part-way
// (the child runs under a small file size limit with SIGXFSZ ignored, so
// write() fails with EFBIG even for root) must leave no partial output and
// no temporary file, keep an existing output or a same-name input byte for
// byte, and report "File write error."; a read-only output stays untouched;
// a log that cannot be written leaves the converted output in place.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "support/LogText.h"
#include "support/ProcessRun.h"

namespace keldro {
namespace {

using testing::readText;
using testing::writeText;

using Outcome = testing::ProcessOutcome;

struct Mode {
    const char* name;
    int targetFile;
    const char* example;  // a file that converts with -db -3
    const char* extension;
    const char* unchangedExample;  // a file that needs no change with unchangedOption
    const char* unchangedOption[2];
};

const Mode kModes[] = {
    {"TAVI", 0, "vq2_bell.mmf", ".mmf", "vq2_bell.mmf", {"-c16", "50"}},
    {"MFi", 1, "mfi30_march.mld", ".mld", "mfi20_chime.mld", {"-mg", "-3"}},
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

    Outcome run(const std::vector<std::string>& args, testing::ProcessLimits limits = {}) {
        return testing::runProcess(exe, args, dir.path(), limits);
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
        const Outcome r = run({"-i", input, "-o", out, "-db", db}, {kSmallFileLimit});
        EXPECT_EQ(r.err, "File write error.\n") << db;
        EXPECT_EQ(r.out, "-24\n") << db;  // the exit status of "File write error."
        EXPECT_FALSE(testing::exists(out)) << db;
        EXPECT_TRUE(leftovers().empty()) << db;

        // An existing output keeps its bytes.
        writeText(out, "previous content");
        EXPECT_EQ(run({"-i", input, "-o", out, "-db", db}, {kSmallFileLimit}).err, "File write error.\n") << db;
        EXPECT_EQ(readText(out), "previous content") << db;
        EXPECT_TRUE(leftovers().empty()) << db;
        ::unlink(out.c_str());
    }
    EXPECT_EQ(readText(input), original);
}

TEST_P(FileSafety, SameNameConversionWhoseWriteFailsKeepsTheInput) {
    const std::string original = readText(input);
    const Outcome r = run({"-i", input, "-o", input, "-db", "-3"}, {kSmallFileLimit});
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
        struct stat st {};
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

TEST_P(FileSafety, LetterCaseVariantOfTheInputNameIsAnotherFile) {
    std::filesystem::copy_file(std::string(KELDRO_SOURCE_DIR) + "/examples/" + GetParam().unchangedExample,
                               file("bell"));
    const std::string original = readText(file("bell"));
    for (const char* before : {"", "stale"}) {
        if (*before) writeText(file("BELL"), before);
        const Outcome r =
            run({"-i", file("bell"), "-o", file("BELL"), GetParam().unchangedOption[0], GetParam().unchangedOption[1]});
        EXPECT_EQ(r.err, "Not Converted - Not exist target volume.\n");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(readText(file("BELL")), original) << "output before: " << before;
    }
    EXPECT_EQ(readText(file("bell")), original);
}

// The copy of a file that needs no change, written to a new output, has the
// input's mode, not that of a new file (0644 under the umask 022 set here).
TEST_P(FileSafety, UnchangedCopyKeepsTheInputsMode) {
    const std::string in = file("bell");
    std::filesystem::copy_file(std::string(KELDRO_SOURCE_DIR) + "/examples/" + GetParam().unchangedExample, in);
    const testing::ScopedUmask umask(022);
    for (const mode_t mode : {0600u, 0640u}) {
        SCOPED_TRACE(::testing::Message() << "input mode " << std::oct << mode);
        ASSERT_EQ(::chmod(in.c_str(), mode), 0);
        const std::string out = file("copy");
        const Outcome r = run({"-i", in, "-o", out, GetParam().unchangedOption[0], GetParam().unchangedOption[1]});
        EXPECT_EQ(r.err, "Not Converted - Not exist target volume.\n");
        EXPECT_EQ(readText(out), readText(in));
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        ::unlink(out.c_str());
    }
}

// A log path naming the input, the output or the settings file is a log that
// cannot be written: nothing is written there, and the run ends as it does
// for any unwritable log.
TEST_P(FileSafety, LogNamingAFileOfTheRunIsNotWritten) {
    const std::string converted = reference({"-db", "-3"});
    const std::string settings = dir.file("KELDRO.ini");
    const std::string out = file("out");
    std::filesystem::create_symlink(input, dir.file("link-to-input.txt"));
    const struct {
        const char* name;
        std::string log;
    } cases[] = {
        {"the input", input},
        {"the input by a relative name", std::filesystem::path(input).filename().string()},
        {"a link to the input", dir.file("link-to-input.txt")},
        {"the output", out},
        {"the settings file", settings},
    };
    const std::string original = readText(input);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeText(out, "previous content");
        const Outcome r = run({"-i", input, "-o", out, "-db", "-3", "-l", c.log});
        EXPECT_EQ(r.err, "File write error.\n");
        EXPECT_EQ(readText(input), original);
        EXPECT_EQ(readText(out), converted);
        EXPECT_NE(readText(settings).find("TARGET_FILE=" + std::to_string(GetParam().targetFile)), std::string::npos);
        EXPECT_EQ(run({"-i", input, "-o", file("next"), "-db", "-3"}).err, "Converted.\n");
    }

    // A conversion that fails reports its own result and leaves its input alone.
    const std::string broken = file("broken");
    writeText(broken, std::string("MMMD\0\0", 6));
    const std::string failure = run({"-i", broken, "-o", out, "-l", dir.file("log.txt")}).err;
    ASSERT_NE(failure, "Converted.\n");
    EXPECT_EQ(run({"-i", broken, "-o", out, "-l", broken}).err, failure);
    EXPECT_EQ(readText(broken), std::string("MMMD\0\0", 6));
    EXPECT_TRUE(leftovers().empty());
}

TEST_P(FileSafety, LogIsReplacedWholeOrNotAtAll) {
    // Long names make the log (which holds them) larger than the output.
    const std::string folder = dir.file(std::string(200, 'd'));
    std::filesystem::create_directory(folder);
    const std::string in = folder + "/in" + GetParam().extension, out = folder + "/out" + GetParam().extension;
    std::filesystem::copy_file(input, in);
    const std::string log = dir.file("log.txt");
    EXPECT_EQ(run({"-i", in, "-o", out, "-db", "-3", "-l", log}).err, "Converted.\n");
    const std::string converted = readText(out);
    const std::size_t logSize = readText(log).size();
    ASSERT_GT(logSize, converted.size() + 100);

    // Room for the output and the settings file, not for the log.
    writeText(log, "old log");
    ::unlink(out.c_str());
    const Outcome r = run({"-i", in, "-o", out, "-db", "-3", "-l", log}, {(converted.size() + logSize) / 2});
    EXPECT_EQ(r.err, "File write error.\n");
    EXPECT_EQ(readText(out), converted);
    EXPECT_EQ(readText(log), "old log");
    EXPECT_TRUE(leftovers().empty());

    // Runs writing one log at the same time never tear it: it holds whole entries only.
    ::unlink(log.c_str());
    EXPECT_EQ(run({"-i", input, "-o", file("out"), "-db", "-3", "-l", log}).err, "Converted.\n");
    const std::string entry = testing::withoutTimeStamp(readText(log));
    ::unlink(log.c_str());
    constexpr int kRuns = 8;
    std::vector<pid_t> children;
    for (int i = 0; i < kRuns; ++i) {
        const std::string cwd = dir.file("run" + std::to_string(i));
        std::filesystem::create_directory(cwd);
        children.push_back(testing::startProcess(exe, {"-i", input, "-o", file("out"), "-db", "-3", "-l", log}, cwd));
    }
    for (int i = 0; i < kRuns; ++i) testing::finishProcess(children[i], dir.file("run" + std::to_string(i)));
    const std::string logged = testing::withoutTimeStamp(readText(log));
    ASSERT_FALSE(entry.empty());
    ASSERT_EQ(logged.size() % entry.size(), 0u) << logged;
    for (std::size_t at = 0; at < logged.size(); at += entry.size()) EXPECT_EQ(logged.substr(at, entry.size()), entry);
    EXPECT_TRUE(leftovers().empty());
}

// Killed in the middle of writing the output (SIGXFSZ at the size limit
// cannot be caught): the data was written to an unnamed file, so nothing is
// left behind and an existing output keeps its bytes.
TEST_P(FileSafety, KilledWhileWritingLeavesNothingBehind) {
    const int probe = ::open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "this file system makes no unnamed files";
    ::close(probe);
    const std::string out = file("out");
    for (const char* previous : {"", "previous content"}) {
        if (*previous) writeText(out, previous);
        const Outcome r = run({"-i", input, "-o", out, "-db", "-3"}, {kSmallFileLimit, true});
        EXPECT_EQ(r.signal, SIGXFSZ);
        EXPECT_EQ(testing::exists(out), *previous != '\0');
        if (*previous) {
            EXPECT_EQ(readText(out), previous);
        }
        EXPECT_TRUE(leftovers().empty());
    }
}

void PrintTo(const Mode& m, std::ostream* os) { *os << m.name << " (" << m.example << ")"; }
INSTANTIATE_TEST_SUITE_P(BothModes, FileSafety, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keldro
