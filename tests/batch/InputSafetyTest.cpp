// keldro-batch never modifies a file named as input, whatever its arguments:
// a run whose output folder is an input folder, or whose outputs or result
// file would land on an input (by another spelling or through a symbolic
// link), is refused before anything is converted.
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
    std::vector<std::string> files;                     // each gets its own content
    std::vector<std::pair<std::string, std::string>> links;  // link -> target
    std::vector<std::string> args;
    std::string reason;
};

TEST(BatchInputSafety, RefusesRunsWhoseOutputsWouldReplaceAnInput) {
    const std::vector<RefusalCase> cases = {
        {"output of one input lands on another", {"a/x.mmf", "b/x.mmf"}, {},
         {"--db", "-3", "--out", "a", "b/x.mmf", "a/x.mmf"},
         "the output a/x.mmf of b/x.mmf would replace the input a/x.mmf"},
        {"output folder is an input folder", {"music/new/song.mmf", "new/song.mmf"}, {},
         {"--out", "music", "new/song.mmf", "music"}, "the output folder music is the input folder music"},
        {"folder converted into itself", {"in/x.mmf"}, {}, {"--out", "in", "in"},
         "the output folder in is the input folder in"},
        {"file converted onto itself", {"a/x.mmf"}, {}, {"--out", "a", "a/x.mmf"},
         "the output a/x.mmf would replace its input a/x.mmf"},
        {"output folder spelt another way", {"a/x.mmf"}, {}, {"--out", "a/..", "a"},
         "the output a/x.mmf would replace its input a/x.mmf"},
        {"output is a link to an input", {"a/x.mmf", "b/y.mmf"}, {{"o/y.mmf", "../a/x.mmf"}},
         {"--out", "o", "b/y.mmf", "a/x.mmf"}, "the output o/y.mmf of b/y.mmf would replace the input a/x.mmf"},
        {"result file is a link to a skipped input", {"a/x.mmf", "a/notes.txt"},
         {{"o/KELDRO_result.txt", "../a/notes.txt"}}, {"--out", "o", "a"},
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

}  // namespace
}  // namespace keldro::batchtest
