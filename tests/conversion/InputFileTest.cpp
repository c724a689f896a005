// Reading an input file: a file whose header its format refuses gets the
// header's message after only its first bytes are read, the very message a
// read of the whole file gives.
#include "conversion/InputFile.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "conversion/FileInspection.h"
#include "conversion/VolumeOptions.h"
#include "mfi/File.h"
#include "platform/TempDir.h"
#include "tavi/Engine.h"

namespace keldro {
namespace {

using testing::TempDir;

struct HeadCase {
    const char* name;
    FileMode mode;
    ByteVector head;  // the file's first bytes; zeros follow up to its size
    Result expected;
};

// Big-endian bytes of a 32-bit and a 16-bit field.
ByteVector u32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
ByteVector cat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const ByteVector& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
ByteVector text(std::string_view s) { return ByteVector(s.begin(), s.end()); }

// Heads for a file of `size` bytes: the length fields are set against it.
std::vector<HeadCase> headCases(std::uint64_t size) {
    const auto rest = static_cast<std::uint32_t>(size - 8);  // what a length field after the first 8 bytes may count
    const ByteVector mfiTypes = {0x01, 0x01};
    return {
        {"TAVI: no id", FileMode::Tavi, {}, Result::NonsupportFileId},
        {"TAVI: another id", FileMode::Tavi, cat({text("MMMX"), u32(rest)}), Result::NonsupportFileId},
        {"TAVI: length past the end", FileMode::Tavi, cat({text("MMMD"), u32(rest + 1)}), Result::FileSizeError},
        {"MFi: no id", FileMode::Mfi, {}, Result::MfiNonsupportFileId},
        {"MFi: length past the end", FileMode::Mfi, cat({text("melo"), u32(rest + 1), {0x00, 0x10}, mfiTypes, {1}}),
         Result::MfiHeaderSize},
        {"MFi: length zero", FileMode::Mfi, cat({text("melo"), u32(0), {0x00, 0x10}, mfiTypes, {1}}),
         Result::MfiHeaderSize},
        {"MFi: header length zero", FileMode::Mfi, cat({text("melo"), u32(rest), {0x00, 0x00}, mfiTypes, {1}}),
         Result::MfiChunkSize},
        {"MFi: other types", FileMode::Mfi, cat({text("melo"), u32(rest), {0x00, 0x10}, {0x01, 0x02}, {1}}),
         Result::NoMfiFile},
        {"MFi: no tracks", FileMode::Mfi, cat({text("melo"), u32(rest), {0x00, 0x10}, mfiTypes, {0}}),
         Result::MfiTrackCount},
    };
}

// A file of `size` bytes that starts with `head`, sparse where the file system allows.
std::string sparseFile(const TempDir& dir, const std::string& name, const ByteVector& head, std::uint64_t size) {
    const std::string path = dir.file(name);
    testing::writeText(path, std::string(head.begin(), head.end()));
    EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
    return path;
}

// The message of each refused header is the one a read of the whole file
// gives (the engines on every byte), for small files read both ways.
TEST(InputFile, HeaderRefusedFromItsHeadAsFromTheWholeFile) {
    TempDir dir;
    for (const std::uint64_t size : {std::uint64_t{64}, std::uint64_t{4096}}) {
        for (const HeadCase& c : headCases(size)) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size) + " bytes");
            const std::string path = sparseFile(dir, "small", c.head, size);
            ReadFile whole;
            ASSERT_TRUE(readWholeFile(path, whole.bytes));
            EXPECT_EQ(inspectBytes(ByteSpan(whole.bytes), c.mode).outcome, c.expected);
            ReadFile read;
            ASSERT_EQ(readInputFile(path, c.mode, read), ReadOutcome::Refused);
            EXPECT_EQ(refusedInput(c.mode, read), c.expected);
        }
    }
}

// A long file with a header its format refuses is refused after its first
// bytes: nothing else is read and no memory is taken for the rest (of the
// largest size a length field describes, the file would take 4 GiB).
// Converting and inspecting it give the header's message.
TEST(InputFile, LongFileWithARefusedHeaderIsNotReadWhole) {
    TempDir dir;
    static_assert(tavi::kLargestFileSize == mfi::kLargestFileSize);
    for (const std::uint64_t size : {std::uint64_t{1} << 30, tavi::kLargestFileSize}) {
        for (const HeadCase& c : headCases(size)) {
            // No length field reaches past the end of a file of the largest size.
            if (size == tavi::kLargestFileSize && std::string_view(c.name).find("past the end") != std::string::npos)
                continue;
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size) + " bytes");
            const std::string path = sparseFile(dir, c.mode == FileMode::Tavi ? "long.mmf" : "long.mld", c.head, size);
            ReadFile read;
            ASSERT_EQ(readInputFile(path, c.mode, read), ReadOutcome::Refused);
            EXPECT_LE(read.bytes.capacity(), 64u);
            EXPECT_EQ(read.size, size);
            EXPECT_EQ(refusedInput(c.mode, read), c.expected);
            EXPECT_EQ(inspectFile(path, c.mode).outcome, c.expected);

            const auto controller = controllerWithOptions(c.mode, {}, false);
            controller->setInputFileName(path);
            controller->setOutputFileName(dir.file(c.mode == FileMode::Tavi ? "out.mmf" : "out.mld"));
            EXPECT_EQ(controller->consoleRun(), c.expected);
            EXPECT_EQ(controller->resultText(), resultMessage(c.expected));
        }
    }
}

}  // namespace
}  // namespace keldro
