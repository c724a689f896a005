// Hostile MFi files for the reader and writer: length fields of all ones at
// every level, a hundred thousand tiny events, and the most chunks and
// sub-chunks the container allows. Each must end in its result without
// reading outside the input, and a read followed by a write must stay within
//
//   peak heap <= 24 x input size + 64 KiB
//
// A track event of at least four bytes becomes one model event of 40 bytes
// (ten times its size; twenty while the event list grows by doubling); block
// contents are copied once; the written file is no longer than the input
// plus its default header texts. The header record itself is a fixed size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mfi/File.h"
#include "support/AllocationMeter.h"
#include "support/MfiBuilder.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

using test::MfiBuilder;
using test::MfiTrackBuilder;

constexpr std::size_t kKiB = 1024;

std::size_t heapBound(std::size_t inputSize) { return 24 * inputSize + 64 * kKiB; }

struct RoundTrip {
    Result read = Result::Converted;
    bool written = false;
    ByteVector bytes;
    std::size_t peak = 0;
};

RoundTrip readAndWrite(const ByteVector& bytes) {
    RoundTrip r;
    testing::AllocationMeter meter;
    {
        mfi::File file;
        r.read = file.read(bytes);
        if (r.read == Result::Converted) r.written = file.write(r.bytes, mfi::Date{2024, 2, 29});
    }
    r.peak = meter.peakBytes();
    return r;
}

void fill(ByteVector& bytes, std::size_t at, int width) {
    for (int i = 0; i < width; ++i) bytes.at(at + static_cast<std::size_t>(i)) = 0xFF;
}

TEST(MfiHostile, LengthFieldsOfAllOnes) {
    // A file with one of everything: info sub-chunks, an audio item and a
    // track that ends with a block event. Each length field in turn is set
    // to all ones.
    const MfiTrackBuilder track = MfiTrackBuilder().masterVolume(0, 100).note(10, 1).maxGain(0, 4);
    const ByteVector base = MfiBuilder()
                                .canonicalInfo("0300")
                                .infoByte("ainf", 0x01)
                                .adat(ByteVector(4, 0x11), ByteVector(16, 0x22))
                                .trac(track)
                                .build();
    const std::size_t headerEnd = 10 + ((std::size_t{base[8]} << 8) | base[9]);
    const std::size_t adatAt = headerEnd, tracAt = adatAt + 8 + 2 + 4 + 16;
    const std::size_t blockLengthAt = base.size() - 5 - 2;
    const struct {
        const char* name;
        std::size_t at;
        int width;
        Result status;
    } cases[] = {
        {"data length", 4, 4, Result::MfiHeaderSize},
        {"header length", 8, 2, Result::MfiChunkSize},
        {"first sub-chunk length", 13 + 4, 2, Result::MfiSubchunkSize},
        {"adat size", adatAt + 4, 4, Result::MfiAudioSize},
        {"audio header length", adatAt + 8, 2, Result::NoMfiFile},
        {"trac size", tracAt + 4, 4, Result::MfiTrackSize},
        {"block length", blockLengthAt, 2, Result::NoMfiFile},
    };
    ASSERT_EQ(readAndWrite(base).read, Result::Converted);
    for (const auto& c : cases) {
        ByteVector bytes = base;
        fill(bytes, c.at, c.width);
        const RoundTrip r = readAndWrite(bytes);
        EXPECT_EQ(r.read, c.status) << c.name;
        EXPECT_LE(r.peak, heapBound(bytes.size())) << c.name;
    }
}

TEST(MfiHostile, AHundredThousandTinyEvents) {
    constexpr int kEvents = 100000;
    MfiTrackBuilder notes = MfiTrackBuilder().masterVolume(0, 100);
    for (int i = 0; i < kEvents; ++i) notes.note(1, i & 3);
    MfiTrackBuilder blocks;  // the smallest block events: one data byte each
    for (int i = 0; i < kEvents; ++i) blocks.block(0, {0x11});
    MfiTrackBuilder escapes;  // five-byte 0x7F events
    for (int i = 0; i < kEvents; ++i) escapes.escape(2, 0x10, 0x20, 0x30);
    const struct {
        const char* name;
        ByteVector bytes;
    } cases[] = {
        {"notes", MfiBuilder().canonicalInfo("0200").trac(notes).build()},
        {"blocks", MfiBuilder().canonicalInfo("0300").trac(blocks).build()},
        {"0x7F events in four tracks",
         MfiBuilder().canonicalInfo("0400").trac(escapes).trac(escapes).trac(escapes).trac(escapes).build()},
    };
    for (const auto& c : cases) {
        const RoundTrip r = readAndWrite(c.bytes);
        ASSERT_EQ(r.read, Result::Converted) << c.name;
        ASSERT_TRUE(r.written) << c.name;
        EXPECT_EQ(r.bytes, c.bytes) << c.name;  // canonical files come back byte for byte
        EXPECT_LE(r.peak, heapBound(c.bytes.size())) << c.name;
    }
}

TEST(MfiHostile, AsManyChunksAndSubChunksAsTheContainerHolds) {
    // A header length of 0xFFFF filled with sub-chunks of unknown ids (skipped)
    // and of known ids (the last one counts), 32 audio items, four tracks.
    MfiBuilder builder;
    builder.canonicalInfo("0400").infoByte("ainf", 0x60);
    const ByteVector filler(255, 0x41);
    // 3 header bytes, 109 of canonical sub-chunks, 529 of those added below,
    // 247 fillers of 261 bytes: 65 108 bytes, the most whole fillers that fit.
    for (int i = 0; i < 247; ++i) builder.info("zzzz", filler);
    builder.info("copy", filler).info("auth", filler);
    builder.infoByte("ainf", 0x60);  // the last "ainf" decides: 32 items
    for (int i = 0; i < 32; ++i) builder.adat(ByteVector(2, 0x01), ByteVector(13, static_cast<std::uint8_t>(i)));
    const MfiTrackBuilder track = MfiTrackBuilder().masterVolume(0, 100).note(1, 0);
    for (int i = 0; i < 4; ++i) builder.trac(track);
    const ByteVector bytes = builder.build();
    ASSERT_EQ(((std::size_t{bytes[8]} << 8) | bytes[9]), 65108u);

    mfi::File file;
    ASSERT_EQ(file.read(bytes), Result::Converted);
    EXPECT_EQ(file.body().audioCount(), 32);
    EXPECT_EQ(file.body().trackCount(), 4);
    EXPECT_EQ(file.infoRecord().copy.length, 255);
    const RoundTrip r = readAndWrite(bytes);
    EXPECT_TRUE(r.written);
    EXPECT_LT(r.bytes.size(), bytes.size());  // the unknown sub-chunks are dropped
    EXPECT_LE(r.peak, heapBound(bytes.size()));
}

}  // namespace
}  // namespace keldro
