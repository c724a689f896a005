// keldro-batch writes nothing outside its output folder, whatever another
// user put into it: a symbolic link below the output folder is never written
// through, and two runs into one output folder at once cannot mix their
// outputs and result files.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "batch/BatchTestSupport.h"
#include "conversion/FileInspection.h"
#include "platform/Text.h"

namespace keldro::batchtest {
namespace {

namespace fs = std::filesystem;

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The --normalize target at which the file is copied unchanged.
std::string targetOfUnchanged(const std::string& path) {
    const Inspection found = inspectFile(path, FileMode::Tavi);
    return formatText("%.1f", found.peakTenths.value_or(0) * 0.1);
}

TEST(BatchOutputSafety, LinksBelowTheOutputFolderAreNeverWrittenThrough) {
    const struct {
        const char* name;
        std::string link, target;  // in the temporary folder
        bool normalize;            // --normalize, the file copied unchanged; else --db -3
        int code;
        std::string err;  // the whole of standard error when the run is refused, else a part of it
    } cases[] = {
        // An output that is a link fails that file alone.
        {"output is a link", "o/in/song.mmf", "../../notes.txt", false, 1, "[1/2] in/song.mmf: File write error.\n"},
        {"output copied unchanged is a link", "o/in/song.mmf", "../../notes.txt", true, 1,
         "[1/2] in/song.mmf: File write error.\n"},
        // A link to no file is replaced by the output, as it always was.
        {"output is a dangling link", "o/in/song.mmf", "../../nowhere/song.mmf", false, 0,
         "[1/2] in/song.mmf: Converted.\n"},
        // A linked result file or folder stops the run before anything is converted.
        {"result file is a link", "o/KELDRO_result.txt", "../notes.txt", false, 2,
         "keldro-batch: the result file o/KELDRO_result.txt is a symbolic link to ../notes.txt; nothing converted\n"},
        {"output folder is a link", "o/in", "../elsewhere", false, 2,
         "keldro-batch: the output folder o/in is a symbolic link to ../elsewhere; nothing converted\n"},
        {"folder deeper down is a link", "o/in/sub", "../../elsewhere", false, 2,
         "keldro-batch: the output folder o/in/sub is a symbolic link to ../../elsewhere; nothing converted\n"},
        {"linked folder with --normalize", "o/in", "../elsewhere", true, 2,
         "keldro-batch: the output folder o/in is a symbolic link to ../elsewhere; nothing converted\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir.file("in/song.mmf"), vq2File(100));
        writeBytes(dir.file("in/sub/deeper.mmf"), vq3File(64));
        writeText(dir.file("notes.txt"), "notes");
        fs::create_directories(dir.file("elsewhere"));
        fs::create_directories(fs::path(dir.file(c.link)).parent_path());
        fs::create_symlink(c.target, dir.file(c.link));
        std::vector<std::string> args = {"--jobs", "1", "--out", "o", "in"};
        if (c.normalize) {
            args.insert(args.begin(), {"--normalize", targetOfUnchanged(dir.file("in/song.mmf"))});
        } else {
            args.insert(args.begin(), {"--db", "-3"});
        }
        const Outcome r = runBatch(args, dir.path());
        EXPECT_EQ(r.code, c.code) << r.err;
        if (c.code == 2) {
            EXPECT_EQ(r.err, c.err);
            EXPECT_FALSE(testing::exists(dir.file("o/in/song.mmf")));
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
        // Nothing reached what the link names.
        EXPECT_EQ(readText(dir.file("notes.txt")), "notes");
        EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));
        EXPECT_FALSE(testing::exists(dir.file("nowhere")));
        if (c.code == 0) {
            EXPECT_FALSE(isLink(dir.file(c.link)));
        } else {
            EXPECT_TRUE(isLink(dir.file(c.link)));
        }
    }
}

// A second run into an output folder while a first one writes there is
// refused: the result file the first leaves describes the bytes on disk.
TEST(BatchOutputSafety, OneRunAtATimeWritesIntoAnOutputFolder) {
    TempDir dir;
    writeBytes(dir.file("in/a.mmf"), vq2File(100));
    writeBytes(dir.file("in/b.mmf"), tavitest::largeVq3File(1'000'000));
    writeBytes(dir.file("other/in/a.mmf"), vq3File(64));
    const pid_t first =
        testing::startProcess(KELDRO_BATCH_EXE, {"--db", "-3", "--jobs", "1", "--out", "out", "in"}, dir.path());
    for (int ms = 0; ms < 60'000 && readText(dir.file(".stderr")).find("[1/") == std::string::npos; ++ms)
        ::usleep(1000);
    // Held still while it converts the large file, so the second run meets it
    // under way however fast this machine is.
    ::kill(first, SIGSTOP);

    const Outcome second = runBatch({"--db", "-6", "--out", "../out", "in"}, dir.file("other"));
    ::kill(first, SIGCONT);
    EXPECT_EQ(second.code, 2);
    EXPECT_EQ(second.err,
              "keldro-batch: another keldro-batch is converting into the output folder ../out; nothing converted\n");

    const Outcome r = testing::finishProcess(first, dir.path());
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> entries = linesStartingWith(readText(dir.file("out/KELDRO_result.txt")), "IN:");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].rfind("IN:in/a.mmf\t", 0), 0u) << entries[0];
    // The folder is free again, and nothing of the lock is left in it.
    const Outcome again = runBatch({"--db", "-6", "--out", "../out", "in"}, dir.file("other"));
    EXPECT_EQ(again.code, 0) << again.err;
    std::vector<std::string> names = testing::listDir(dir.file("out"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"KELDRO_result.txt", "in"}));
}

}  // namespace
}  // namespace keldro::batchtest
