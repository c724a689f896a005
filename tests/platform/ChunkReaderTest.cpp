#include "platform/ChunkReader.h"

#include <gtest/gtest.h>

#include <string>

namespace keldro {
namespace {

using namespace std::string_literals;

ByteVector bytes(std::string_view s) { return ByteVector(s.begin(), s.end()); }
std::string str(ByteSpan s) { return std::string(s.begin(), s.end()); }

TEST(ChunkReader, ReadsOneChunkHeader) {
    const struct {
        const char* name;
        std::string data;
        ChunkForm form;
        bool found;
        std::uint32_t size;
        bool fits;
        std::string body;  // as far as the data holds it
        std::string rest;  // after the walk moved on
    } cases[] = {
        {"exact fit", "abcd\0\0\0\3xyz"s, kChunk32, true, 3, true, "xyz", ""},
        {"next chunk after", "abcd\0\0\0\2xyefgh"s, kChunk32, true, 2, true, "xy", "efgh"},
        {"empty body", "abcd\0\0\0\0"s, kChunk32, true, 0, true, "", ""},
        {"size one past the end", "abcd\0\0\0\4xyz"s, kChunk32, true, 4, false, "xyz", ""},
        {"size of all ones", "abcd\xFF\xFF\xFF\xFFxyz"s, kChunk32, true, 0xFFFFFFFF, false, "xyz", ""},
        {"short header", "abcd\0\0\0"s, kChunk32, false, 0, false, "", "abcd\0\0\0"s},
        {"16-bit size", "abcd\0\2xyefgh"s, kChunk16, true, 2, true, "xy", "efgh"},
        {"16-bit size past the end", "abcd\1\0xy"s, kChunk16, true, 256, false, "xy", ""},
        {"16-bit short header", "abcd\0"s, kChunk16, false, 0, false, "", "abcd\0"s},
        {"2-byte id", "ab\0\2xycd"s, ChunkForm{2, 2}, true, 2, true, "xy", "cd"},
    };
    for (const auto& c : cases) {
        const ByteVector data = bytes(c.data);
        ChunkReader walk(data, c.form);
        const auto chunk = walk.next();
        ASSERT_EQ(chunk.has_value(), c.found) << c.name;
        EXPECT_EQ(str(walk.rest()), c.rest) << c.name;
        if (!chunk) {
            EXPECT_EQ(walk.position(), 0u) << c.name;
            continue;
        }
        EXPECT_EQ(str(chunk->id), c.data.substr(0, c.form.idBytes)) << c.name;
        EXPECT_EQ(chunk->headerAt, 0u) << c.name;
        EXPECT_EQ(chunk->bodyAt, c.form.headerBytes()) << c.name;
        EXPECT_EQ(chunk->size, c.size) << c.name;
        EXPECT_EQ(chunk->fits, c.fits) << c.name;
        EXPECT_EQ(str(chunk->body), c.body) << c.name;
        EXPECT_EQ(str(chunk->whole), c.data.substr(0, c.form.headerBytes() + c.body.size())) << c.name;
        // The body's reader stops at the chunk's end even where more data follows.
        ByteReader body = chunk->reader();
        EXPECT_FALSE(body.bytes(c.body.size() + 1)) << c.name;
        EXPECT_TRUE(body.bytes(c.body.size())) << c.name;
        EXPECT_FALSE(body.u8()) << c.name;
    }
}

TEST(ChunkReader, WalksNestedChunksWithOffsetsOfTheirOwnData) {
    // A chunk of two sub-chunks and a tail too short for a third header.
    const ByteVector data = bytes(
        "skip"
        "TRAK\0\0\0\x14"
        "Aaaa\0\0\0\1x"
        "Bbbb\0\0\0\0"
        "tai"
        "NEXT"s);
    ChunkReader top(data);
    ASSERT_TRUE(top.seek(4));
    const auto track = top.next();
    ASSERT_TRUE(track && track->is("TRAK") && track->fits);
    EXPECT_EQ(track->headerAt, 4u);
    EXPECT_EQ(str(top.rest()), "NEXT");

    ChunkReader subs(track->body);
    std::string ids;
    while (const auto sub = subs.next()) ids += str(sub->id) + "@" + std::to_string(sub->headerAt) + " ";
    EXPECT_EQ(ids, "Aaaa@0 Bbbb@9 ");
    EXPECT_EQ(str(subs.rest()), "tai");
    EXPECT_FALSE(subs.seek(track->body.size() + 1));
}

TEST(ByteWriter, AddsToAStoredNumberWrappingAtItsWidth) {
    ByteVector b{0x00, 0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_TRUE(ByteWriter::addBE(b, 1, 3, 4));
    EXPECT_EQ(b, (ByteVector{0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(ByteWriter::addBE(b, 3, 0xFFFF, 2));
    EXPECT_EQ(b, (ByteVector{0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(ByteWriter::addBE(b, 2, 1, 4));  // would end past the buffer
    EXPECT_EQ(b, ByteVector(5, 0x00));
}

// Sizes come from the body as it stands at close(): nested chunks, a body
// that grew after it was written, a header copied from an input with a stale
// size, and a 16-bit size cut to its width.
TEST(ChunkWriter, ComputesEachSizeFromItsBodyWhenClosed) {
    ByteVector out;
    const ChunkWriter outer(out, "OUTR");
    const ChunkWriter inner(out, "in", ChunkForm{2, 2});
    ByteWriter(out).text("abc");
    inner.close();
    ByteWriter(out).text("d");
    outer.close();
    EXPECT_EQ(str(out),
              "OUTR\0\0\0\x08in\0\x03"
              "abcd"s);

    ByteVector copied = bytes("CHNK\0\0\0\x09xy"s);
    const ChunkWriter reopened = ChunkWriter::reopen(copied, 0);
    copied.push_back('z');
    reopened.close();
    EXPECT_EQ(str(copied), "CHNK\0\0\0\3xyz"s);

    ByteVector wide;
    const ChunkWriter narrow(wide, ByteSpan{}, ChunkForm{0, 2});
    wide.resize(2 + 0x10003);
    narrow.close();
    EXPECT_EQ(readBE(wide, 0, 2), 3u);
}

// In-place edits of a chunk inside a buffer; a size field outside it is refused untouched.
TEST(ChunkWriter, SetsAndMovesTheSizeOfAChunkInsideABuffer) {
    ByteVector file = bytes(
        "FILE\0\0\0\x0a"
        "SUB \0\0\0\2xy"s);
    EXPECT_TRUE(ChunkWriter::setSize(file, 8, 5));
    EXPECT_TRUE(ChunkWriter::addToSize(file, 0, 3));
    EXPECT_EQ(str(file),
              "FILE\0\0\0\x0d"
              "SUB \0\0\0\5xy"s);
    EXPECT_FALSE(ChunkWriter::setSize(file, 12, 1));
    EXPECT_FALSE(ChunkWriter::addToSize(file, 12, 1));
    EXPECT_EQ(str(file),
              "FILE\0\0\0\x0d"
              "SUB \0\0\0\5xy"s);
}

}  // namespace
}  // namespace keldro
