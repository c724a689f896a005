// Converting a converted file again is what a user does who wants it a little
// quieter still: whatever keldro writes, it must take as input again. Every
// example and every seed of the engine fuzz targets (both formats) is
// converted at -3 dB; each converted output must convert again at -3 dB and
// at 0 dB and be inspected without an error.
#include "conversion/ByteConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "volume/Result.h"

namespace keldro {
namespace {

namespace fs = std::filesystem;

constexpr LocalDateTime kToday{2024, 2, 29, 12, 0, 0};

struct Input {
    std::string name;
    FileMode mode;
    ByteVector bytes;
    bool example;  // every example converts
};

// The files of a folder in name order, each without its first `skip` bytes.
void addFolder(std::vector<Input>& out, const fs::path& folder, std::size_t skip, bool example,
               std::optional<FileMode> mode = std::nullopt) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string text = testing::readText(file.string());
        if (text.size() < skip) continue;
        const std::optional<FileMode> m = mode ? mode : modeOfPath(file.string());
        ASSERT_TRUE(m) << file;
        out.push_back(
            {file.string(), *m, ByteVector(text.begin() + static_cast<std::ptrdiff_t>(skip), text.end()), example});
    }
}

std::vector<Input> inputs() {
    const fs::path root = KELDRO_SOURCE_DIR;
    const fs::path seeds = root / "fuzz" / "seeds";
    std::vector<Input> out;
    addFolder(out, root / "examples", 0, true);
    // The engine targets' seeds start with four settings bytes.
    addFolder(out, seeds / "tavi_convert_fuzz", 4, false, FileMode::Tavi);
    addFolder(out, seeds / "mfi_engine_fuzz", 4, false, FileMode::Mfi);
    addFolder(out, seeds / "mfi_roundtrip_fuzz", 0, false, FileMode::Mfi);
    return out;
}

ConversionSettings relative(const char* db) { return {{{"db", db}}, false}; }

TEST(Reconversion, EveryConvertedFileConvertsAgainAndIsInspected) {
    const std::vector<Input> files = inputs();
    ASSERT_FALSE(files.empty());
    int converted = 0;
    for (const Input& in : files) {
        SCOPED_TRACE(in.name);
        const ConversionOutcome first = convertBytes(in.mode, in.bytes, relative("-3"), kToday);
        if (in.example) {
            EXPECT_EQ(first.result, Result::Converted);
        }
        if (first.result != Result::Converted) continue;
        ++converted;
        for (const char* db : {"-3", "0"}) {
            const ConversionOutcome again = convertBytes(in.mode, first.bytes, relative(db), kToday);
            EXPECT_TRUE(again.succeeded()) << db << " dB: " << again.message;
        }
        const Inspection inspected = inspect(in.mode, first.bytes);
        EXPECT_TRUE(inspected.ok()) << inspected.message;
    }
    EXPECT_GT(converted, 0);
}

}  // namespace
}  // namespace keldro
