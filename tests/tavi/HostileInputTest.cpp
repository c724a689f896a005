// Hostile TAVI files: length fields of 0xFFFFFFFF at every level, expansion
// lengths far beyond what the packed bits can hold, a hundred thousand tiny
// events, and sub-chunks nested as deep and as many as the format allows.
// Each must end in its result without reading outside the input, and the
// heap it takes must stay within the bound the engine promises:
//
//   peak heap <= 32 x (input size + expanded sequence length) + 1 MiB
//
// The engine keeps the input (or its expanded copy), one copy of every chunk,
// the converted tracks, the signature source and the output: five copies of
// the data at most. On top come the change records: 32 bytes for a volume
// event of four bytes, twice over while the list grows and once more in the
// copy handed to the caller. The expanded sequence is itself capped at
// 16 MiB, so no input of n bytes makes the engine hold more than about
// 32 n + 513 MiB, and an input that is not compressed no more than 32 n + 1 MiB.
#include <gtest/gtest.h>

#include "volume/Result.h"
#include "support/AllocationMeter.h"
#include "support/TaviFileBuilder.h"
#include "tavi/Huffman.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

using namespace tavitest;

constexpr std::size_t kMiB = 1024 * 1024;

std::size_t heapBound(std::size_t inputSize, std::size_t expandedSize = 0) {
    return 32 * (inputSize + expandedSize) + kMiB;
}

struct Measured {
    ConvertedFile conversion;
    std::size_t peak = 0;
};

Measured convertMeasured(const Bytes& file) {
    const VolumeSettings settings = relativeSettings();
    testing::AllocationMeter meter;
    Measured m;
    m.conversion = convertWith(settings, file);
    m.peak = meter.peakBytes();
    return m;
}

// A VQ-3 track whose "Mtsq" body is given as is; format 1 marks it compressed.
Bytes vq3TrackWithSequence(const Bytes& sequence, std::uint8_t format) {
    return scoreTrack(5, scoreTrackHeader(5, 0x02, 0x02, format), {chunk("Mtsq", sequence)});
}

TEST(TaviHostile, LengthFieldsOfAllOnes) {
    // Every length field of a good file in turn set to 0xFFFFFFFF, the file
    // sealed again where the CRC would otherwise stop it first.
    const Bytes cntiChunk = cnti("ST:Tune,");
    const Bytes opdaChunk = opda({dch(1, {dataTag("ST", "x")})});
    const Bytes track = vq2Track();
    const Bytes base = taviFile({cntiChunk, opdaChunk, track});
    const std::size_t cntiAt = 8, opdaAt = cntiAt + cntiChunk.size(), trackAt = opdaAt + opdaChunk.size();
    const std::size_t dchAt = opdaAt + 8, tagLengthAt = dchAt + 8 + 2;
    const std::size_t mspiAt = trackAt + 8 + 6, mtsqAt = mspiAt + 8 + pointBody(0, 0).size();
    const struct {
        const char* name;
        std::size_t at;
        int width;
        Result result;
    } cases[] = {
        {"file length", 4, 4, Result::FileSizeError},        {"CNTI size", cntiAt + 4, 4, Result::ChunkSizeCnti},
        {"OPDA size", opdaAt + 4, 4, Result::ChunkSizeOpda}, {"MTR size", trackAt + 4, 4, Result::ChunkSizeMtr},
        {"Dch size", dchAt + 4, 4, Result::ChunkSizeDch},    {"data tag length", tagLengthAt, 2, Result::TagSizeOpda},
        {"MspI size", mspiAt + 4, 4, Result::ChunkSizeMspi}, {"Mtsq size", mtsqAt + 4, 4, Result::ChunkSizeMtsq},
    };
    for (const auto& c : cases) {
        Bytes file = base;
        for (int i = 0; i < c.width; ++i) file[c.at + static_cast<std::size_t>(i)] = 0xFF;
        if (c.at != 4) reseal(file);
        const Measured m = convertMeasured(file);
        EXPECT_EQ(m.conversion.result, c.result) << c.name;
        EXPECT_TRUE(m.conversion.output.empty()) << c.name;
        EXPECT_LE(m.peak, heapBound(file.size())) << c.name;
    }
}

TEST(TaviHostile, ExpansionLengthsBeyondTheInput) {
    // A packed body is its plain length, the tree and the codes. A real tree
    // needs a bit per plain byte; a tree of one leaf needs none, so only the
    // 16 MiB cap bounds what a few bytes expand to.
    const auto packed = [](std::uint32_t length, const Bytes& treeAndCodes) {
        return cat({u32be(length), treeAndCodes});
    };
    const Bytes twoLeaves{0x80, 0x40, 0x20, 0x00};  // 1, leaf 0x00, leaf 0x01, then code bits
    const Bytes oneLeaf{0x00, 0x00};                // 0, leaf 0x00
    const struct {
        const char* name;
        Bytes body;
        bool expands;
        std::size_t expanded;
    } cases[] = {
        {"length 0xFFFFFFFF", packed(0xFFFFFFFFu, twoLeaves), false, 0},
        {"real tree, 1 MiB from 2 bytes of codes", packed(1u << 20, twoLeaves), false, 0},
        {"one leaf, just above the cap", packed(kMaxPlainSequenceLength + 1, oneLeaf), false, 0},
        {"one leaf, at the cap", packed(kMaxPlainSequenceLength, oneLeaf), true, kMaxPlainSequenceLength},
    };
    for (const auto& c : cases) {
        ByteVector plain;
        {
            testing::AllocationMeter meter;
            EXPECT_EQ(huffmanDecode(c.body, plain), c.expands) << c.name;
            EXPECT_LE(meter.peakBytes(), c.expanded + 4096) << c.name;
        }
        EXPECT_EQ(plain.size(), c.expanded) << c.name;

        // The same bodies as the compressed sequence of a whole file.
        const Bytes file = taviFile({cnti(), vq3TrackWithSequence(c.body, 1)});
        const Measured m = convertMeasured(file);
        EXPECT_NE(m.conversion.result, Result::Converted) << c.name;  // none of them holds a master volume
        EXPECT_LE(m.peak, heapBound(file.size(), c.expanded)) << c.name;
    }
}

TEST(TaviHostile, AHundredThousandTinyEvents) {
    constexpr int kEvents = 100000;
    // VQ-2: a channel volume before every note, each one changed.
    Bytes vq2;
    for (int i = 0; i < kEvents; ++i) append(vq2, {0x00, 0x00, 0x37, 100, 0x00, 0x3C, 0x05});
    append(vq2, {0x00, 0x00, 0x00, 0x00});
    // VQ-2: nothing but channel volumes, the most heap per byte (about 25 times).
    Bytes volumesOnly;
    for (int i = 0; i < kEvents; ++i)
        append(volumesOnly, {0x00, 0x00, static_cast<std::uint8_t>(((i & 3) << 6) | 0x37), 100});
    append(volumesOnly, {0x00, 0x3C, 0x05, 0x00, 0x00, 0x00, 0x00});
    // VQ-3: one master volume, then notes only.
    Bytes vq3 = cat({Bytes{0x00}, vq35MasterVolume(100)});
    for (int i = 0; i < kEvents; ++i) append(vq3, {0x00, 0x80, 0x3C, 0x10});
    append(vq3, {0x00, 0xFF, 0x2F, 0x00});
    // VQ-7: control changes on all sixteen channels.
    Bytes vq7 = cat({Bytes{0x00}, vq7MasterVolume(100)});
    for (int i = 0; i < kEvents; ++i) append(vq7, {0x00, static_cast<std::uint8_t>(0xB0 | (i & 0x0F)), 0x5D, 0x40});
    append(vq7, {0x00, 0xFF, 0x2F, 0x00});

    const struct {
        const char* name;
        Bytes file;
        std::size_t records;
        std::size_t expanded = 0;
    } cases[] = {
        {"VQ-2 volumes",
         taviFile({cnti(), scoreTrack(1, scoreTrackHeader(1, 2, 2),
                                      {chunk("MspI", pointBody(0, static_cast<std::uint32_t>(vq2.size()))),
                                       chunk("Mtsq", vq2)})}),
         kEvents},
        {"VQ-2 volumes only",
         taviFile({cnti(), scoreTrack(1, scoreTrackHeader(1, 2, 2),
                                      {chunk("MspI", pointBody(0, static_cast<std::uint32_t>(volumesOnly.size()))),
                                       chunk("Mtsq", volumesOnly)})}),
         kEvents},
        {"VQ-3 notes", taviFile({cnti(), vq3TrackWithSequence(vq3, 0)}), 1},
        {"VQ-3 notes, compressed", taviFile({cnti(), vq3TrackWithSequence(huffmanEncode(vq3), 1)}), 1, vq3.size()},
        {"VQ-7 control changes",
         taviFile(
             {cnti(), scoreTrack(7, scoreTrackHeader(7, 2, 2), {chunk("Mtsu", vq7MaxGain(4)), chunk("Mtsq", vq7)})}),
         2},
    };
    for (const auto& c : cases) {
        const Measured m = convertMeasured(c.file);
        EXPECT_EQ(m.conversion.result, Result::Converted) << c.name;
        EXPECT_GE(m.conversion.records.size(), c.records) << c.name;
        expectSealed(m.conversion.output);
        EXPECT_LE(m.peak, heapBound(c.file.size(), c.expanded)) << c.name;
    }
}

TEST(TaviHostile, SubChunksAsDeepAndManyAsTheFormatAllows) {
    // Chunks hold sub-chunks, which hold tags: three levels, each walked once.
    // An OPDA of 20 000 data sub-chunks of 5 tags each, a CNTI of 50 000 tags
    // and a score track of 10 000 sub-chunks of every kind it knows.
    constexpr int kDataSubChunks = 20000;
    Bytes opdaBody;
    for (int i = 0; i < kDataSubChunks; ++i)
        append(opdaBody,
               dch(static_cast<std::uint8_t>(i % 250), {dataTag("ST", "a"), dataTag("AN", "b"), dataTag("CR", "c"),
                                                        dataTag("SW", ""), dataTag("XX", "d")}));
    std::string tags;
    for (int i = 0; i < 50000; ++i) tags += "ST:a,";
    Bytes trackBody = scoreTrackHeader(1, 2, 2);
    for (int i = 0; i < 10000; ++i) append(trackBody, chunk("Mtsu", Bytes{0x00, 0x00, 0x00, 0x00}));
    append(trackBody, chunk("MspI", pointBody(0, 11)));
    append(trackBody, chunk("Mtsq", vq2Sequence(100)));
    const Bytes file = taviFile({cnti(tags), chunk("OPDA", opdaBody), chunk("MTR", 1, trackBody)});
    const Measured m = convertMeasured(file);
    EXPECT_EQ(m.conversion.result, Result::Converted);
    expectSealed(m.conversion.output);
    EXPECT_LE(m.peak, heapBound(file.size()));
}

}  // namespace
}  // namespace keldro
