// keldro-batch's command line without a process: the option parser (a pure
// function of the arguments) and the planning of inputs and outputs.
#include <gtest/gtest.h>

#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchTestSupport.h"

namespace keldro::batchtest {
namespace {

using batch::parseBatchOptions;

// What a parse gave, in one line: the error, or the options that differ from
// the defaults followed by the paths in brackets.
std::string described(const std::vector<std::string>& args) {
    const batch::ParsedOptions parsed = parseBatchOptions(args);
    if (!parsed.error.empty()) return "error: " + parsed.error;
    const batch::BatchOptions& o = parsed.options;
    std::string d;
    for (const VolumeOption& v : o.volume) d += "--" + v.name + "=" + v.value + " ";
    if (o.help) d += "help ";
    if (o.version) d += "version ";
    if (o.regulate) d += "regulate ";
    if (o.inspect) d += "inspect ";
    if (o.csv) d += "csv ";
    if (o.outDir != "KELDRO_Output") d += "out=" + o.outDir + " ";
    if (o.jobs != 0) d += "jobs=" + std::to_string(o.jobs) + " ";
    if (o.normalizeTenths) d += "normalize=" + std::to_string(*o.normalizeTenths) + " ";
    for (const std::string& p : o.paths) d += "[" + p + "]";
    return d;
}

TEST(BatchOptions, ParseTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"a.mmf", "b"}, "[a.mmf][b]"},
        // Values are the next argument verbatim (a negative number too) or follow "=".
        {{"--db", "-3", "a"}, "--db=-3 [a]"},
        {{"--db=4.5", "--mg", "-3", "--mv", "80", "--c1", "5", "--c16=6", "--ca", "7", "a"},
         "--db=4.5 --mg=-3 --mv=80 --c1=5 --c16=6 --ca=7 [a]"},
        {{"--regulate", "--jobs", "1", "--out=res", "a"}, "regulate out=res jobs=1 [a]"},
        {{"--inspect", "--csv", "a"}, "inspect csv [a]"},
        {{"--normalize", "-6.55", "a"}, "normalize=-65 [a]"},
        {{"--normalize=60", "a"}, "normalize=600 [a]"},
        {{"--normalize=-60", "a"}, "normalize=-600 [a]"},
        {{"--help"}, "help "},
        {{"--version"}, "version "},
        // After "--" every argument is a path; one or two characters are a path anyway.
        {{"--", "--db", "-x"}, "[--db][-x]"},
        {{"-", "-x", "a"}, "[-][-x][a]"},
        // Mistakes.
        // Whole numbers of any size are taken: the volumes saturate (see VolumeOptions).
        {{"--mv", "99999999999999999999", "--c1=-99999999999999999999", "a"},
         "--mv=99999999999999999999 --c1=-99999999999999999999 [a]"},
        {{"--jobs", "1024", "a"}, "jobs=1024 [a]"},
        {{"--jobs", "0", "a"}, "error: --jobs needs at least 1"},
        {{"--jobs", "1025", "a"}, "error: --jobs needs at most 1024"},
        {{"--jobs", "4294967297", "a"}, "error: --jobs needs at most 1024"},
        {{"--jobs", "99999999999999999999", "a"}, "error: --jobs needs at most 1024"},
        {{"--jobs", "-4294967295", "a"}, "error: --jobs needs at least 1"},
        // No change is "not a number" or infinite, as none is too large for a double.
        {{"--db", "nan", "a"}, "error: --db needs a number, not \"nan\""},
        {{"--db=-INF", "a"}, "error: --db needs a number, not \"-INF\""},
        {{"--db", "Infinity", "a"}, "error: --db needs a number, not \"Infinity\""},
        {{"--db", "1e400", "a"}, "error: --db needs a number, not \"1e400\""},
        {{"--mg", "NaN", "a"}, "error: --mg needs a number, not \"NaN\""},
        {{"--normalize", "inf", "a"}, "error: --normalize needs a number, not \"inf\""},
        {{"--normalize", "nan", "a"}, "error: --normalize needs a number, not \"nan\""},
        {{"--jobs", "1.5", "a"}, "error: --jobs needs a whole number, not \"1.5\""},
        {{"--c16", "x", "a"}, "error: --c16 needs a whole number, not \"x\""},
        {{"--db", "loud", "a"}, "error: --db needs a number, not \"loud\""},
        {{"--c17", "5", "a"}, "error: unknown option --c17"},
        {{"--c0=5", "a"}, "error: unknown option --c0"},
        {{"--DB", "1", "a"}, "error: unknown option --DB"},
        {{"a", "--db"}, "error: --db needs a value"},
        {{"--csv=1", "a"}, "error: --csv takes no value"},
        {{"--version=2"}, "error: --version takes no value"},
        {{"--out=", "a"}, "error: --out needs a folder"},
        {{"--normalize", "61", "a"}, "error: --normalize needs a target from -60 to 60 dB, not \"61\""},
        {{"--mg=-inf", "a"}, "error: --mg needs a number, not \"-inf\""},
        {{"--normalize", "-6", "--c2", "1", "a"},
         "error: --normalize chooses the change itself: leave out --db, --mv, --mg and the channel options"},
        {{"--csv", "a"}, "error: --csv goes with --inspect"},
        {{}, "error: no file or folder given"},
        {{"--db", "1"}, "error: no file or folder given"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_EQ(described(c.args), c.expected) << line;
    }
}

// Files given directly go to the top of the output folder, so two of the same
// name from different folders would meet there: the later one is skipped.
// Found in folders, they keep their folder's name and do not meet.
TEST(BatchInputs, NoTwoFilesShareAnOutput) {
    TempDir dir;
    for (const char* name : {"a/x.mmf", "b/x.mmf", "b/y.mld", "b/notes.txt"}) writeBytes(dir.file(name), {1});
    const std::string out = dir.file("out");

    const batch::BatchInputs direct = batch::collectInputs({dir.file("a/x.mmf"), dir.file("b/x.mmf")}, out);
    ASSERT_EQ(direct.items.size(), 1u);
    EXPECT_EQ(direct.items[0].input, dir.file("a/x.mmf"));
    EXPECT_EQ(direct.items[0].output, dir.file("out/x.mmf"));
    ASSERT_EQ(direct.skipped.size(), 1u);
    EXPECT_EQ(direct.skipped[0].path, dir.file("b/x.mmf"));
    EXPECT_EQ(direct.skipped[0].reason, "same output as an earlier file: " + dir.file("out/x.mmf"));

    const batch::BatchInputs walked = batch::collectInputs({dir.file("a"), dir.file("b")}, out);
    std::vector<std::string> outputs;
    for (const batch::BatchItem& item : walked.items) outputs.push_back(item.output);
    EXPECT_EQ(outputs,
              (std::vector<std::string>{dir.file("out/a/x.mmf"), dir.file("out/b/x.mmf"), dir.file("out/b/y.mld")}));
    ASSERT_EQ(walked.skipped.size(), 1u);
    EXPECT_EQ(walked.skipped[0].path, dir.file("b/notes.txt"));
}

// An input keeps the spelling of the folder given (as std::filesystem joins
// a name to it); its output is the output folder, the folder's name and the
// path below it, made lexically normal.
TEST(BatchInputs, PathsFollowTheFolderAsSpelt) {
    TempDir dir;
    writeBytes(dir.file("in/sub/x.mmf"), {1});
    const struct {
        const char* outDir;
        const char* folder;
        const char* input;
        const char* output;
    } cases[] = {
        {"o", "in", "in/sub/x.mmf", "o/in/sub/x.mmf"},
        {"o/", "in/", "in/sub/x.mmf", "o/in/sub/x.mmf"},
        {"./x/../o/", "./in", "./in/sub/x.mmf", "o/in/sub/x.mmf"},
        {".", "in", "in/sub/x.mmf", "in/sub/x.mmf"},
        {"o", "in/.", "in/./sub/x.mmf", "o/in/sub/x.mmf"},
        {"o", "in//sub", "in//sub/x.mmf", "o/sub/x.mmf"},
        {"..//o", "in", "in/sub/x.mmf", "../o/in/sub/x.mmf"},
        {"o", "in/sub/..", "in/sub/../sub/x.mmf", "o/in/sub/x.mmf"},
        {"/abs//o/.", "in", "in/sub/x.mmf", "/abs/o/in/sub/x.mmf"},
        {"o", "./in/./sub/", "./in/./sub/x.mmf", "o/sub/x.mmf"},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.outDir) + " " + c.folder);
        const batch::BatchInputs inputs = batch::collectInputs({c.folder}, c.outDir);
        ASSERT_EQ(inputs.items.size(), 1u);
        EXPECT_EQ(inputs.items[0].input, c.input);
        EXPECT_EQ(inputs.items[0].output, c.output);
    }
    std::filesystem::current_path(previous);
}

// A run whose outputs or result file would replace a file named as input
// (a skipped one included, by any spelling or through a link) must not start.
TEST(BatchInputs, OutputsNeverReplaceAnInput) {
    TempDir dir;
    for (const char* name : {"a/x.mmf", "b/x.mmf", "out/KELDRO_result.txt"}) writeBytes(dir.file(name), {1});
    std::filesystem::create_directory_symlink(dir.file("a"), dir.file("link"));
    const struct {
        const char* what;
        std::vector<std::string> paths;
        std::string outDir;
        std::optional<std::string> conflict;
    } cases[] = {
        {"separate folders", {"a", "b/x.mmf"}, "out2", {}},
        {"output folder given as input", {"a"}, "a", "the output folder a is the input folder a"},
        {"output into the input's own folder",
         {"a/x.mmf"},
         "a/.",
         "the output a/x.mmf would replace its input a/x.mmf"},
        {"output through a link", {"a/x.mmf"}, "link", "the output link/x.mmf would replace its input a/x.mmf"},
        {"output onto a skipped input",
         {"a/x.mmf", "b/x.mmf"},
         "b",
         "the output b/x.mmf of a/x.mmf would replace the input b/x.mmf"},
        {"result file onto an input",
         {"a", "out/KELDRO_result.txt"},
         "out",
         "the result file out/KELDRO_result.txt would replace the input out/KELDRO_result.txt"},
    };
    // Relative paths, as typed, resolved against the temporary folder.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const batch::BatchInputs inputs = batch::collectInputs(c.paths, c.outDir);
        const std::string result = (std::filesystem::path(c.outDir) / "KELDRO_result.txt").string();
        EXPECT_EQ(batch::inputOverwriteConflict(inputs, c.paths, c.outDir, result), c.conflict);
    }
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace keldro::batchtest
