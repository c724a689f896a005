// The per-file flow driven with a small fake engine step.
#include "conversion/ConversionJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <new>
#include <tuple>

#include "platform/Files.h"
#include "platform/TempDir.h"
#include "volume/Result.h"

namespace keldro {
namespace {

using testing::exists;
using testing::readText;
using testing::TempDir;
using testing::writeText;

class FakeStep final : public FileEngineStep {
public:
    // `during` runs while the step converts, between the read and the write.
    FakeStep(FileMode mode, Result result, std::string output, int* calls, std::function<void()> during = {})
        : mode_(mode), result_(result), output_(std::move(output)), calls_(calls), during_(std::move(during)) {}
    FileMode mode() const override { return mode_; }
    std::string_view extension() const override { return mode_ == FileMode::Tavi ? ".mmf" : ".mld"; }
    Result wrongInput() const override { return mode_ == FileMode::Tavi ? Result::NoTaviFile : Result::NoMfiFile; }
    Result convert(ConversionJob& job, const VolumeSettings&, ByteSpan, FileResult& r, ByteVector& out) override {
        ++*calls_;
        if (during_) during_();
        job.reportFile(r, result_);
        r.kind = mode_ == FileMode::Tavi ? 2 : 31;
        if (result_ == Result::Converted) out.assign(output_.begin(), output_.end());
        return r.outcome;
    }

private:
    FileMode mode_;
    Result result_;
    std::string output_;
    int* calls_;
    std::function<void()> during_;
};

class FakeHost final : public JobRequest {
public:
    std::string in, out, log, text;
    std::string inputFileName() const override { return in; }
    std::string outputFileName() const override { return out; }
    std::string logFileName() const override { return log; }
    void setResultText(const std::string& t) override { text = t; }
};

struct JobRun {
    Result status;
    std::string text;
    int calls;
};

JobRun runJob(FakeHost& host, Result engineResult, const std::string& output = "CONVERTED",
              FileMode mode = FileMode::Tavi, bool outputFolderNew = false, std::function<void()> during = {}) {
    int calls = 0;
    ConversionJob job(std::make_unique<FakeStep>(mode, engineResult, output, &calls, std::move(during)));
    job.setBatchFacts({.outputFolderNew = outputFolderNew});
    job.reset();
    static const VolumeSettings minus3 = [] {
        VolumeSettings s;
        s.dbTenths = -30;
        return s;
    }();
    job.setSettings(&minus3);
    job.setRequest(&host);
    Result status = job.run();
    return {status, host.text, calls};
}

TEST(Job, NoInputNameIsReadError) {
    FakeHost host;
    JobRun r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::FileReadError);
    EXPECT_EQ(r.text, "File read error.");
    EXPECT_EQ(r.calls, 0);
}

TEST(Job, ExtensionsIgnoreLetterCase) {
    TempDir d;
    FakeHost host;
    writeText(d.file("song.MMF"), "IN");
    host.in = d.file("song.MMF");
    host.out = d.file("out.Mmf");
    JobRun r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::Converted);
    EXPECT_EQ(r.text, "Converted.");
    EXPECT_EQ(readText(d.file("out.Mmf")), "CONVERTED");

    writeText(d.file("song.mmf.bak"), "IN");
    host.in = d.file("song.mmf.bak");
    r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::NoTaviFile);
    EXPECT_EQ(r.text, "No TAVI file.");
    EXPECT_EQ(r.calls, 0);

    ASSERT_EQ(::mkdir(d.file("dir.mld").c_str(), 0755), 0);
    host.in = d.file("dir.mld");
    r = runJob(host, Result::Converted, "x", FileMode::Mfi);
    EXPECT_EQ(r.status, Result::NoMfiFile);
    EXPECT_EQ(r.text, "No MFi file.");

    host.in = d.file("missing.mmf");
    r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::FileReadError);
}

// An input that is no file of the mode to read: a folder (listable or not)
// or a name of another kind is no file of the mode; anything missing, not a
// regular file or unreadable is a read error. The engine is never called.
TEST(Job, InputsThatAreNoFileToRead) {
    TempDir d;
    writeText(d.file("notes.txt"), "IN");
    ASSERT_EQ(::mkdir(d.file("folder.mmf").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(d.file("locked.mmf").c_str(), 0), 0);
    ASSERT_EQ(::mkfifo(d.file("fifo.mmf").c_str(), 0644), 0);
    writeText(d.file("unreadable.mmf"), "IN");
    ::chmod(d.file("unreadable.mmf").c_str(), 0);
    struct Case {
        const char* name;
        Result expected;
    };
    std::vector<Case> cases = {
        {"missing.mmf", Result::FileReadError},   {"missing.txt", Result::FileReadError},
        {"notes.txt", Result::NoTaviFile},        {"folder.mmf", Result::NoTaviFile},
        {"locked.mmf", Result::NoTaviFile},       {"fifo.mmf", Result::FileReadError},
        {"missing/x.mmf", Result::FileReadError},
    };
    if (::geteuid() != 0) cases.push_back({"unreadable.mmf", Result::FileReadError});  // root reads anything
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.in = d.file(c.name);
        host.out = d.file("out.mmf");
        const JobRun r = runJob(host, Result::Converted);
        EXPECT_EQ(r.status, c.expected);
        EXPECT_EQ(r.calls, 0);
        EXPECT_FALSE(exists(d.file("out.mmf")));
    }
    ::chmod(d.file("locked.mmf").c_str(), 0755);
}

TEST(Job, OutputChecks) {
    TempDir d;
    FakeHost host;
    writeText(d.file("in.mmf"), "IN");
    host.in = d.file("in.mmf");
    host.out = d.file("out.txt");
    JobRun r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::FileWriteError);
    EXPECT_EQ(r.text, "File write error.");
    EXPECT_FALSE(exists(d.file("out.txt")));

    host.out = "";
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::FileWriteError);

    // An engine error ends the file before the output checks.
    host.out = d.file("out.mmf");
    r = runJob(host, Result::FileSizeError);
    EXPECT_EQ(r.status, Result::FileSizeError);
    EXPECT_EQ(r.text, "File size error.");
    EXPECT_FALSE(exists(d.file("out.mmf")));

    // An existing read-only output stays untouched.
    writeText(d.file("out.mmf"), "OLD");
    testing::makeReadOnly(d.file("out.mmf"));
    r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::FileWriteError);
    EXPECT_EQ(readText(d.file("out.mmf")), "OLD");
    EXPECT_EQ(runJob(host, Result::NotConverted).status, Result::FileWriteError);
    EXPECT_EQ(readText(d.file("out.mmf")), "OLD");

    // A missing output directory: nothing written, no partial file.
    host.out = d.file("none/out.mmf");
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::FileWriteError);
    EXPECT_EQ(testing::listDir(d.path()).size(), 2u);
}

// A job told that its output's folder is new writes without looking first,
// yet whatever turns out to be at the output gets the usual checks: a
// read-only output or a folder stays as it was, a writable one is replaced
// and keeps its permission bits, a link is written through.
TEST(Job, OutputFolderNewStillChecksWhatIsThere) {
    TempDir d;
    writeText(d.file("in.mmf"), "IN");
    writeText(d.file("ro.mmf"), "OLD");
    testing::makeReadOnly(d.file("ro.mmf"));
    writeText(d.file("rw.mmf"), "OLD");
    ::chmod(d.file("rw.mmf").c_str(), 0604);
    ASSERT_EQ(::mkdir(d.file("folder.mmf").c_str(), 0755), 0);
    writeText(d.file("target.mmf"), "OLD");
    ASSERT_EQ(::symlink("target.mmf", d.file("link.mmf").c_str()), 0);
    const struct {
        const char* out;
        Result expected;
        const char* readBack;  // what the path holds afterwards
    } cases[] = {
        {"new.mmf", Result::Converted, "CONVERTED"},     {"ro.mmf", Result::FileWriteError, "OLD"},
        {"rw.mmf", Result::Converted, "CONVERTED"},      {"link.mmf", Result::Converted, "CONVERTED"},
        {"folder.mmf", Result::FileWriteError, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        FakeHost host;
        host.in = d.file("in.mmf");
        host.out = d.file(c.out);
        EXPECT_EQ(runJob(host, Result::Converted, "CONVERTED", FileMode::Tavi, true).status, c.expected);
        if (c.readBack) {
            EXPECT_EQ(readText(d.file(c.out)), c.readBack);
        }
    }
    struct stat st {};
    ASSERT_EQ(::stat(d.file("rw.mmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(readText(d.file("target.mmf")), "CONVERTED");
    EXPECT_TRUE(isDirectory(d.file("folder.mmf")));
    EXPECT_EQ(testing::listDir(d.path()).size(), 7u);  // nothing temporary left
}

TEST(Job, CopyOnNothingToChange) {
    TempDir d;
    FakeHost host;
    const std::string content("MMMD\0\1\2", 7);
    writeText(d.file("in.mmf"), content);
    host.in = d.file("in.mmf");
    host.out = d.file("copy.mmf");
    JobRun r = runJob(host, Result::NotConverted);
    EXPECT_EQ(r.status, Result::NotConverted);
    EXPECT_EQ(r.text, "Not Converted - Not exist target volume.");
    EXPECT_EQ(readText(d.file("copy.mmf")), content);
}

// The input is read once: a file rewritten while the run judges it (as an
// editor or a download does) still gets exactly the bytes that were judged,
// with the permission bits they were read with.
TEST(Job, CopyIsTheBytesJudged) {
    const std::string content("MMMD\0\1\2", 7);
    const struct {
        const char* name;
        void (*rewrite)(const TempDir&);
    } cases[] = {
        {"truncated", [](const TempDir& d) { writeText(d.file("in.mmf"), ""); }},
        {"replaced by rename",
         [](const TempDir& d) {
             writeText(d.file("other.mmf"), "OTHER");
             ASSERT_EQ(std::rename(d.file("other.mmf").c_str(), d.file("in.mmf").c_str()), 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        writeText(d.file("in.mmf"), content);
        ASSERT_EQ(::chmod(d.file("in.mmf").c_str(), 0600), 0);
        FakeHost host;
        host.in = d.file("in.mmf");
        host.out = d.file("copy.mmf");
        const JobRun r = runJob(host, Result::NotConverted, "", FileMode::Tavi, false, [&] { c.rewrite(d); });
        EXPECT_EQ(r.status, Result::NotConverted);
        EXPECT_EQ(readText(d.file("copy.mmf")), content);
        struct stat st {};
        ASSERT_EQ(::stat(d.file("copy.mmf").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
}

// A file longer than its format's length field can describe is refused
// unread (it takes no memory: the sparse file below would take 4 GiB), and
// memory that runs out during a conversion ends that file with an error.
TEST(Job, InputsThatDoNotFitInMemory) {
    TempDir d;
    constexpr unsigned long long kFourGiB = 1ull << 32;
    for (const auto& [name, mode, expected] : {std::tuple{"huge.mmf", FileMode::Tavi, Result::FileSizeError},
                                               std::tuple{"huge.mld", FileMode::Mfi, Result::MfiHeaderSize}}) {
        SCOPED_TRACE(name);
        if (!testing::makeSparseFile(d.file(name), kFourGiB + 8)) GTEST_SKIP() << "no sparse files here";
        FakeHost host;
        host.in = d.file(name);
        host.out = d.file(std::string("out") + name);
        const JobRun r = runJob(host, Result::Converted, "x", mode);
        EXPECT_EQ(r.status, expected);
        EXPECT_EQ(r.calls, 0);
        EXPECT_FALSE(exists(host.out));
    }

    writeText(d.file("in.mmf"), "IN");
    FakeHost host;
    host.in = d.file("in.mmf");
    host.out = d.file("out.mmf");
    host.log = d.file("log.txt");
    const JobRun r = runJob(host, Result::Converted, "x", FileMode::Tavi, false, [] { throw std::bad_alloc(); });
    EXPECT_EQ(r.status, Result::FileReadError);
    EXPECT_EQ(r.text, "File read error.");
    EXPECT_FALSE(exists(host.out));
    EXPECT_NE(readText(host.log).find("Result:NG\tError:File read error."),
              std::string::npos);  // the run went on to its log
}

TEST(Job, SameNameNeverLosesTheInput) {
    TempDir d;
    FakeHost host;
    writeText(d.file("in.mmf"), "IN");
    // The same file under another spelling: nothing is copied.
    for (const std::string& out : {d.path() + "/./in.mmf", d.file("in.mmf")}) {
        host.in = d.file("in.mmf");
        host.out = out;
        JobRun r = runJob(host, Result::NotConverted);
        EXPECT_EQ(r.status, Result::NotConverted) << out;
        EXPECT_EQ(readText(d.file("in.mmf")), "IN") << out;
    }
    // A name that differs only in letter case is another file: it gets the copy.
    host.out = d.file("IN.MMF");
    EXPECT_EQ(runJob(host, Result::NotConverted).status, Result::NotConverted);
    EXPECT_EQ(readText(d.file("IN.MMF")), "IN");
    EXPECT_EQ(readText(d.file("in.mmf")), "IN");
    // Converted onto itself: replaced whole.
    host.out = d.path() + "/./in.mmf";
    EXPECT_EQ(runJob(host, Result::Converted, "NEW").status, Result::Converted);
    EXPECT_EQ(readText(d.file("in.mmf")), "NEW");
}

TEST(Job, LongPaths) {
    TempDir d;
    FakeHost host;
    writeText(d.file("in.mmf"), "IN");
    std::string longName = d.path() + "/" + std::string(300, 'a') + ".mmf";
    host.in = longName;
    host.out = d.file("out.mmf");
    JobRun r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::PathTooLong);
    EXPECT_EQ(r.text, "File path is too long.");

    // 255 bytes pass the check (and are then missing); 256 do not.
    std::string prefix = d.path() + "/";
    host.in = prefix + std::string(255 - prefix.size() - 4, 'b') + ".mmf";
    ASSERT_EQ(host.in.size(), 255u);
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::FileReadError);
    host.in = prefix + std::string(256 - prefix.size() - 4, 'b') + ".mmf";
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::PathTooLong);

    host.in = d.file("in.mmf");
    host.out = prefix + std::string(256 - prefix.size() - 4, 'c') + ".mmf";
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::PathTooLong);

    // A log path of 300 bytes prevents the conversion entirely.
    host.out = d.file("out.mmf");
    host.log = std::string(300, 'l');
    r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::PathTooLong);
    EXPECT_EQ(r.calls, 0);
    EXPECT_FALSE(exists(d.file("out.mmf")));
}

TEST(Job, LogInAMissingDirectory) {
    TempDir d;
    FakeHost host;
    writeText(d.file("in.mmf"), "IN");
    host.in = d.file("in.mmf");
    host.out = d.file("out.mmf");
    host.log = d.file("nodir/log.txt");
    JobRun r = runJob(host, Result::Converted);
    EXPECT_EQ(r.status, Result::FileWriteError);
    EXPECT_EQ(r.text, "File write error.");
    EXPECT_EQ(readText(d.file("out.mmf")), "CONVERTED");  // the output stays

    // The file's own error stays the result.
    r = runJob(host, Result::FileSizeError);
    EXPECT_EQ(r.status, Result::FileSizeError);
    EXPECT_EQ(r.text, "File size error.");

    // A writable log gets the entry.
    host.log = d.file("log.txt");
    EXPECT_EQ(runJob(host, Result::Converted).status, Result::Converted);
    EXPECT_EQ(readText(d.file("log.txt")).rfind("IN:" + host.in + "\tTAVI/VQ-2\tResult:OK\tDetail:Converted.(0)\t", 0),
              0u);
}

TEST(Job, ReportSemantics) {
    FakeHost host;
    int calls = 0;
    ConversionJob job(std::make_unique<FakeStep>(FileMode::Tavi, Result::Converted, "", &calls));
    job.setRequest(&host);
    FileResult r;
    EXPECT_EQ(job.reportFile(r, Result::IllegalCrc), Result::IllegalCrc);
    EXPECT_EQ(r.outcome, Result::IllegalCrc);
    EXPECT_EQ(r.message, "Illegal CRC error.");
    EXPECT_EQ(host.text, "Illegal CRC error.");
    job.reportRun(Result::NotConverted);
    EXPECT_EQ(host.text, "Not Converted - Not exist target volume.");
}

}  // namespace
}  // namespace keldro
