// keldro-batch never modifies a file named as input, whatever its arguments:
// a run whose output folder is an input folder, or whose outputs or result
// file would land on an input (by another spelling or through a symbolic
// link), is refused before anything is converted.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "batch/BatchInputs.h"
#include "batch/BatchTestSupport.h"

namespace keldro::batchtest {
namespace {

namespace fs = std::filesystem;

struct RefusalCase {
    const char* name;
    std::vector<std::string> files;                          // each gets its own content
    std::vector<std::pair<std::string, std::string>> links;  // link -> target
    std::vector<std::string> args;
    std::string reason;
};

TEST(BatchInputSafety, RefusesRunsWhoseOutputsWouldReplaceAnInput) {
    const std::vector<RefusalCase> cases = {
        {"output of one input lands on another",
         {"a/x.mmf", "b/x.mmf"},
         {},
         {"--db", "-3", "--out", "a", "b/x.mmf", "a/x.mmf"},
         "the output a/x.mmf of b/x.mmf would replace the input a/x.mmf"},
        {"output folder is an input folder",
         {"music/new/song.mmf", "new/song.mmf"},
         {},
         {"--out", "music", "new/song.mmf", "music"},
         "the output folder music is the input folder music"},
        {"folder converted into itself",
         {"in/x.mmf"},
         {},
         {"--out", "in", "in"},
         "the output folder in is the input folder in"},
        {"file converted onto itself",
         {"a/x.mmf"},
         {},
         {"--out", "a", "a/x.mmf"},
         "the output a/x.mmf would replace its input a/x.mmf"},
        {"output folder spelt another way",
         {"a/x.mmf"},
         {},
         {"--out", "a/..", "a"},
         "the output a/x.mmf would replace its input a/x.mmf"},
        {"output is a link to an input",
         {"a/x.mmf", "b/y.mmf"},
         {{"o/y.mmf", "../a/x.mmf"}},
         {"--out", "o", "b/y.mmf", "a/x.mmf"},
         "the output o/y.mmf of b/y.mmf would replace the input a/x.mmf"},
        {"result file is a link to a skipped input",
         {"a/x.mmf", "a/notes.txt"},
         {{"o/KELDRO_result.txt", "../a/notes.txt"}},
         {"--out", "o", "a"},
         "the result file o/KELDRO_result.txt would replace the input a/notes.txt"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::map<std::string, ByteVector> before;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            before[c.files[i]] = vq2File(static_cast<std::uint8_t>(100 + i));
            writeBytes(dir.file(c.files[i]), before[c.files[i]]);
        }
        for (const auto& [link, target] : c.links) {
            fs::create_directories(fs::path(dir.file(link)).parent_path());
            fs::create_symlink(target, dir.file(link));
        }
        const Outcome r = runBatch(c.args, dir.path());
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "keldro-batch: " + c.reason + "; nothing converted\n");
        for (const auto& [name, bytes] : before) EXPECT_EQ(readBytes(dir.file(name)), bytes) << name;

        // Inspecting writes nothing, so the same paths are fine for it.
        std::vector<std::string> inspect = {"--inspect"};
        for (const std::string& f : c.files)
            if (batch::modeOfPath(f)) inspect.push_back(f);
        EXPECT_EQ(runBatch(inspect, dir.path()).code, 0);
    }
}

TEST(BatchInputSafety, OutputFolderInsideTheInputFolderIsFine) {
    TempDir dir;
    writeBytes(dir.file("in/x.mmf"), vq2File(100));
    const Outcome r = runBatch({"--db", "-3", "--out", "in/out", "in"}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(dir.file("in/x.mmf")), vq2File(100));
    EXPECT_TRUE(testing::exists(dir.file("in/out/in/x.mmf")));
    // A second run does not take the first run's outputs for inputs.
    EXPECT_EQ(runBatch({"--db", "-3", "--out", "in/out", "in"}, dir.path()).code, 0);
    EXPECT_FALSE(testing::exists(dir.file("in/out/in/out")));
}

// Ctrl-C or SIGTERM stops handing out files: those under way finish, the
// result file holds exactly the files converted, no output is partial,
// nothing temporary is left, and the exit status is 128 + the signal, as a
// shell reports a program the signal ended.
TEST(BatchInputSafety, CtrlCOrSigtermStopsCleanlyAndReportsWhatWasDone) {
    TempDir dir;
    constexpr int kFiles = 1500;
    const ByteVector file = vq2File(100);
    for (int i = 0; i < kFiles; ++i) writeBytes(dir.file("in/f" + std::to_string(i) + ".mmf"), file);
    ASSERT_EQ(runBatch({"--db", "-3", "--out", "reference", "in/f0.mmf"}, dir.path()).code, 0);
    const ByteVector converted = readBytes(dir.file("reference/f0.mmf"));

    for (const auto& [sig, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(strsignal(sig));
        fs::remove_all(dir.file("out"));
        const pid_t child =
            testing::startProcess(KELDRO_BATCH_EXE, {"--db", "-3", "--jobs", "2", "--out", "out", "in"}, dir.path());
        // Interrupted once the first files are done.
        for (int ms = 0; ms < 60'000 && readText(dir.file(".stderr")).find("[2/") == std::string::npos; ++ms)
            ::usleep(1000);
        ::kill(child, sig);
        const Outcome r = testing::finishProcess(child, dir.path());
        ASSERT_EQ(r.code, code) << r.err;

        std::size_t outputs = 0;
        for (const std::string& name : testing::listDir(dir.file("out/in"))) {
            EXPECT_NE(name.rfind(".keldro-", 0), 0u) << name;
            EXPECT_EQ(readBytes(dir.file("out/in/" + name)), converted) << name;
            ++outputs;
        }
        EXPECT_GE(outputs, 2u);
        EXPECT_LT(outputs, static_cast<std::size_t>(kFiles));
        const std::string result = readText(dir.file("out/KELDRO_result.txt"));
        EXPECT_EQ(linesStartingWith(result, "IN:").size(), outputs);
        EXPECT_NE(r.err.find("Converted: " + std::to_string(outputs) + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("keldro-batch: interrupted; " + std::to_string(kFiles - outputs) + " of " +
                             std::to_string(kFiles) + " files not converted\n"),
                  std::string::npos)
            << r.err;
    }
    for (int i = 0; i < kFiles; ++i) EXPECT_EQ(readBytes(dir.file("in/f" + std::to_string(i) + ".mmf")), file);
}

// A small file, then one that takes a while, converted one at a time; the
// signals come while the second is under way, a little apart so that none
// merges with the one before.
class SignalDuringALongFile : public ::testing::Test {
protected:
    Outcome runSignalled(int notes, std::initializer_list<int> signals, testing::ProcessLimits limits = {}) {
        writeBytes(dir.file("in/a.mmf"), vq2File(100));
        writeBytes(dir.file("in/b.mmf"), tavitest::largeVq3File(notes));
        writeBytes(dir.file("out/KELDRO_result.txt"), {'o', 'l', 'd'});
        const pid_t child = testing::startProcess(KELDRO_BATCH_EXE, {"--db", "-3", "--jobs", "1", "--out", "out", "in"},
                                                  dir.path(), limits);
        for (int ms = 0; ms < 60'000 && readText(dir.file(".stderr")).find("[1/") == std::string::npos; ++ms)
            ::usleep(1000);
        for (int sig : signals) {
            ::usleep(20'000);
            ::kill(child, sig);
        }
        return testing::finishProcess(child, dir.path());
    }
    std::vector<std::string> temporaryFiles() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            if (e.path().filename().string().rfind(".keldro-", 0) == 0) found.push_back(e.path().string());
        return found;
    }
    TempDir dir;
};

// Ctrl-C pressed again ends the run at once, by the signal: the file under
// way is not put in place, nothing temporary is left, and the result file is
// not replaced by one claiming a run that did not finish. (b.mmf takes some
// tenths of a second even in an optimised build.)
TEST_F(SignalDuringALongFile, SecondCtrlCStopsAtOnce) {
    const Outcome r = runSignalled(3'000'000, {SIGINT, SIGINT});
    EXPECT_EQ(r.signal, SIGINT) << r.code << r.err;
    EXPECT_TRUE(testing::exists(dir.file("out/in/a.mmf")));
    EXPECT_FALSE(testing::exists(dir.file("out/in/b.mmf")));
    EXPECT_EQ(readText(dir.file("out/KELDRO_result.txt")), "old");
    EXPECT_EQ(temporaryFiles(), std::vector<std::string>{});
}

// A run started with the signals ignored (nohup, `&` in a script) is not
// stopped by them.
TEST_F(SignalDuringALongFile, IgnoredSignalsStayIgnored) {
    testing::ProcessLimits ignoring;
    ignoring.interruptsIgnored = true;
    const Outcome r = runSignalled(1'000'000, {SIGINT, SIGTERM, SIGINT}, ignoring);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_TRUE(testing::exists(dir.file("out/in/b.mmf")));
    EXPECT_EQ(linesStartingWith(readText(dir.file("out/KELDRO_result.txt")), "IN:").size(), 2u);
}

// The overwrite check resolves every input and output path; its quick way
// must give what std::filesystem::weakly_canonical and stat give, for plain
// files, files not there yet, links anywhere in the path, dots and files
// standing where a folder should be, spelt relatively and absolutely.
TEST(BatchInputSafety, PathResolverAgreesWithTheLibrary) {
    TempDir dir;
    for (const char* f : {"a/x.mmf", "a/b/y.mld", "file.txt"}) writeBytes(dir.file(f), vq2File(100));
    fs::create_symlink("a", dir.file("toA"));
    fs::create_symlink("a/x.mmf", dir.file("linkX.mmf"));
    fs::create_symlink("nowhere/z.mmf", dir.file("dangling.mmf"));
    fs::create_symlink("../a", dir.file("a/b/up"));
    const std::vector<std::string> paths = {
        "a/x.mmf",
        "a/b/y.mld",
        "a/new.mmf",
        "missing/deeper/new.mmf",
        "toA/x.mmf",
        "toA/b/y.mld",
        "toA/new.mmf",
        "linkX.mmf",
        "dangling.mmf",
        "a/b/up/x.mmf",
        "a/b/up/b/../x.mmf",
        "a/./x.mmf",
        "a/../a/x.mmf",
        "missing/../a/x.mmf",
        "file.txt/x.mmf",
        "file.txt/deeper/x.mmf",
        "a/b/",
        "a/b/.",
        "a/b/..",
        "x.mmf",
        "./a/x.mmf",
        "a//x.mmf",
    };
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    for (const bool absolute : {false, true}) {
        batch::PathResolver resolver;
        for (int pass = 0; pass < 2; ++pass) {  // the second pass meets the folders it has seen
            for (const std::string& relative : paths) {
                const std::string path = absolute ? dir.file(relative) : relative;
                SCOPED_TRACE(path);
                std::error_code ec;
                const fs::path expected = fs::weakly_canonical(path, ec);
                struct stat st {};
                const bool exists = ::stat(path.c_str(), &st) == 0;
                const batch::PathResolver::Resolved r = resolver.resolve(path);
                EXPECT_EQ(r.canonical, expected.native());
                ASSERT_EQ(r.identity.has_value(), exists);
                if (exists) {
                    EXPECT_EQ(*r.identity, batch::PathResolver::Identity(st.st_dev, st.st_ino));
                }
                // A path a folder listing showed as a regular file: the same
                // name, and the same identity when asked for.
                struct stat own {};
                if (::lstat(path.c_str(), &own) == 0 && S_ISREG(own.st_mode)) {
                    const batch::PathResolver::Resolved listed = resolver.resolve(path, true);
                    EXPECT_EQ(listed.canonical, expected.native());
                    const auto identity =
                        listed.identityLater ? batch::PathResolver::identityOf(path) : listed.identity;
                    EXPECT_EQ(identity, batch::PathResolver::Identity(st.st_dev, st.st_ino));
                }
            }
        }
    }
    fs::current_path(previous);
}

}  // namespace
}  // namespace keldro::batchtest
