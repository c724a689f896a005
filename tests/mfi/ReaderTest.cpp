// The container reader: header and info fields, audio items, and every
// failure in the order the reader checks for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mfi/File.h"
#include "support/MfiBuilder.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

using test::bytesOf;
using test::MfiBuilder;
using test::MfiTrackBuilder;

MfiTrackBuilder simpleTrack() { return MfiTrackBuilder().masterVolume(0, 100).note(10, 1); }

Result readStatus(const ByteVector& bytes) {
    mfi::File file;
    return file.read(bytes);
}

ByteVector withByte(ByteVector bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

// An exact-size copy, so that reading past the end leaves the allocation.
ByteVector truncated(const ByteVector& bytes, std::size_t keep) {
    return ByteVector(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
}

// A file whose sub-chunk area ends at a chosen byte and whose data length
// field is left valid by being computed over the bytes actually present.
ByteVector adatFile(const ByteVector& adatPayload, std::optional<std::uint32_t> size = {}) {
    return MfiBuilder().infoByte("ainf", 0x01).chunk("adat", adatPayload, size).trac(simpleTrack()).build();
}

TEST(MfiReader, FailuresInCheckOrder) {
    struct Case {
        std::string name;
        ByteVector bytes;
        Result status;
    };
    const ByteVector good = MfiBuilder().canonicalInfo().trac(simpleTrack()).build();
    const ByteVector twelve = truncated(good, 12);
    const std::vector<Case> cases = {
        {"12 bytes starting with the id", twelve, Result::MfiHeaderSize},
        {"13 bytes with another id", bytesOf("mela00000000x"), Result::MfiNonsupportFileId},
        {"data length 0", MfiBuilder().trac(simpleTrack()).dataLength(0).build(), Result::MfiHeaderSize},
        {"data length 1 still reads the header length after it", MfiBuilder().trac(simpleTrack()).dataLength(1).build(),
         Result::Converted},
        {"data length past the input",
         MfiBuilder().trac(simpleTrack()).dataLength(static_cast<std::uint32_t>(good.size())).build(),
         Result::MfiHeaderSize},
        {"header length 0", MfiBuilder().trac(simpleTrack()).headerLength(0).build(), Result::MfiChunkSize},
        {"header length past the input", MfiBuilder().trac(simpleTrack()).headerLength(0x7FFF).build(),
         Result::MfiChunkSize},
        {"major type 2", MfiBuilder().trac(simpleTrack()).majorType(2).minorType(0).build(), Result::NoMfiFile},
        {"minor type 0", MfiBuilder().trac(simpleTrack()).minorType(0).trackCount(0).build(), Result::NoMfiFile},
        {"no tracks", MfiBuilder().trac(simpleTrack()).trackCount(0).build(), Result::MfiTrackCount},
        {"five tracks", MfiBuilder().trac(simpleTrack()).trackCount(5).build(), Result::MfiTrackCount},
        {"sub-chunk head past the input", MfiBuilder().info("titl", "Song").headerLength(23).build(),
         Result::MfiChunkSize},  // 23 bytes in all
        {"sub-chunk length 0", MfiBuilder().info("zzzz", ByteVector{}).trac(simpleTrack()).build(),
         Result::MfiSubchunkSize},
        {"sub-chunk length 256", MfiBuilder().info("zzzz", ByteVector(256, 0x41)).trac(simpleTrack()).build(),
         Result::MfiSubchunkSize},
        {"sub-chunk length 0x8000", MfiBuilder().info("copy", ByteVector{0x41}, 0x8000).trac(simpleTrack()).build(),
         Result::MfiSubchunkSize},
        {"sub-chunk content past the input", MfiBuilder().info("copy", ByteVector{0x41, 0x42}, 200).build(),
         Result::MfiSubchunkSize},
        {"title of 51 bytes", MfiBuilder().info("titl", std::string(51, 'x')).trac(simpleTrack()).build(),
         Result::MfiSubchunkSize},
        {"sorc of 2 bytes", MfiBuilder().info("sorc", ByteVector{0, 0}).trac(simpleTrack()).build(),
         Result::MfiSubchunkSize},
        {"date of 7 bytes", MfiBuilder().info("date", "2024013").trac(simpleTrack()).build(), Result::MfiSubchunkSize},
        {"sorc value 2", MfiBuilder().infoByte("sorc", 2).trac(simpleTrack()).build(), Result::NoMfiFile},
        {"note value 0", MfiBuilder().infoU16("note", 0).trac(simpleTrack()).build(), Result::NoMfiFile},
        {"exst value 2", MfiBuilder().infoU16("exst", 2).trac(simpleTrack()).build(), Result::NoMfiFile},
        {"audio count 0", MfiBuilder().infoByte("ainf", 0x40).trac(simpleTrack()).build(), Result::MfiAudioCount},
        {"audio count 33", MfiBuilder().infoByte("ainf", 0x21).trac(simpleTrack()).build(), Result::MfiAudioCount},
        {"no room for an adat id", MfiBuilder().infoByte("ainf", 0x01).raw(bytesOf("ad")).build(), Result::NoMfiFile},
        {"trac where adat belongs", MfiBuilder().infoByte("ainf", 0x01).trac(simpleTrack()).build(),
         Result::MfiAudioId},
        {"adat size field cut",
         MfiBuilder().infoByte("ainf", 0x01).raw(bytesOf(std::string_view("adat\0\0", 6))).build(),
         Result::MfiAudioSize},
        {"adat size 0", adatFile(ByteVector(15, 0), 0), Result::MfiAudioSize},
        {"adat past the input", adatFile(ByteVector(15, 0), 0x1000), Result::MfiAudioSize},
        {"adat header length field outside the chunk", adatFile(ByteVector(1, 0)), Result::NoMfiFile},
        {"adat header past the chunk", adatFile({0x00, 0x20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}),
         Result::NoMfiFile},
        {"adat with 12 bytes after the header length", adatFile(ByteVector(14, 0)), Result::NoMfiFile},
        {"no room for a trac id", MfiBuilder().raw(bytesOf("tr")).build(), Result::NoMfiFile},
        {"second trac missing", MfiBuilder().trac(simpleTrack()).trackCount(2).raw(bytesOf("xx")).build(),
         Result::NoMfiFile},
        {"second trac id wrong", MfiBuilder().trac(simpleTrack()).trackCount(2).raw(bytesOf("trak")).build(),
         Result::MfiTrackId},
        {"trac size field cut", MfiBuilder().raw(bytesOf(std::string_view("trac\0\0", 6))).build(),
         Result::MfiTrackSize},
        {"trac size 0", MfiBuilder().chunk("trac", simpleTrack().bytes(), 0).build(), Result::MfiTrackSize},
        {"trac past the input", MfiBuilder().chunk("trac", simpleTrack().bytes(), 0x100).build(), Result::MfiTrackSize},
        {"event cut by the chunk end", MfiBuilder().chunk("trac", {0x00, 0xFF, 0xB0}).build(), Result::MfiTrackSize},
        // Three bytes left start a block event; the chunk ends before its length field.
        {"block event cut after its mark",
         MfiBuilder().chunk("trac", {0x00, 0x45, 0x30, 0xFC, 0x00, 0xFF, 0xFF}).build(), Result::MfiTrackSize},
        {"0x7F block event cut after its mark",
         MfiBuilder().chunk("trac", {0x00, 0x45, 0x30, 0xFC, 0x00, 0x7F, 0xF0}).build(), Result::MfiTrackSize},
        {"block past the chunk end", MfiBuilder().chunk("trac", {0x00, 0xFF, 0xFF, 0x00, 0x09, 0x11}).build(),
         Result::NoMfiFile},
        {"block past the chunk end, not the file",
         MfiBuilder().chunk("trac", {0x00, 0xFF, 0xFF, 0x00, 0x09, 0x11}).raw(ByteVector(16, 0)).build(),
         Result::NoMfiFile},
    };
    EXPECT_EQ(readStatus(good), Result::Converted);
    mfi::File file;
    EXPECT_EQ(file.read({}), Result::NoMfiFile);
    EXPECT_EQ(file.read(ByteSpan(good).first(0)), Result::NoMfiFile);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readStatus(c.bytes), c.status);
    }
}

TEST(MfiReader, StoresHeaderFieldsAsRead) {
    const ByteVector bytes = MfiBuilder()
                                 .info("titl", "First")
                                 .info("unkn", "skipped")
                                 .infoByte("sorc", 1)
                                 .info("vers", "0999")
                                 .info("date", "2024/1/2")
                                 .info("titl", "Second")  // a repeated id replaces the earlier one
                                 .info("copy", "c")
                                 .infoU16("note", 1)
                                 .infoU16("exst", 1)
                                 .info("thrd", std::string(255, 't'))
                                 .trac(simpleTrack())
                                 .trac(MfiTrackBuilder().note(3, 0))
                                 .build();
    mfi::File file;
    ASSERT_EQ(file.read(bytes), Result::Converted);
    const mfi::Info info = file.info();
    EXPECT_EQ(info.majorType, 1);
    EXPECT_EQ(info.minorType, 1);
    EXPECT_EQ(info.trackCount, 2);
    EXPECT_EQ(info.sorc, 1);
    EXPECT_TRUE(info.versIs("0999"));
    EXPECT_EQ(ByteVector(info.date.begin(), info.date.end()), bytesOf("2024/1/2"));
    EXPECT_EQ(info.titl.length, 6);
    EXPECT_EQ(ByteVector(info.titl.view().begin(), info.titl.view().end()), bytesOf("Second"));
    EXPECT_EQ(info.titl.bytes[6], 0);
    EXPECT_EQ(info.copy.length, 1);
    EXPECT_EQ(info.prot.length, 0);
    EXPECT_EQ(info.note, 1);
    EXPECT_EQ(info.exst, 1);
    EXPECT_EQ(info.thrd.length, 255);
    EXPECT_EQ(info.headerLength, bytes[8] * 256 + bytes[9]);
    EXPECT_EQ(file.body().trackCount(), 2);
    EXPECT_EQ(file.body().track(0)->eventCount(), 2);
    EXPECT_EQ(file.body().track(1)->eventCount(), 1);
    EXPECT_EQ(file.body().audioCount(), 0);
}

TEST(MfiReader, UnknownSubchunksOnlyLeaveEverythingEmpty) {
    mfi::File file;
    ASSERT_EQ(file.read(MfiBuilder()
                            .info("abcd", "x")
                            .info("titl", std::string(50, 'x'))
                            .info("wxyz", "y")
                            .trac(simpleTrack())
                            .build()),
              Result::Converted);
    const mfi::Info& info = file.infoRecord();
    EXPECT_EQ(info.titl.length, 50);
    EXPECT_EQ(info.copy.length + info.auth.length + info.supt.length + info.ainf.length, 0);
    EXPECT_EQ(info.note, 0);
    EXPECT_EQ(info.exst, 0);
}

TEST(MfiReader, AudioItemsAndTrailingBytes) {
    MfiBuilder builder;
    builder.infoByte("ainf", 0x62);  // low six bits 34: too many
    EXPECT_EQ(readStatus(builder.trac(simpleTrack()).build()), Result::MfiAudioCount);

    MfiBuilder many;
    many.infoByte("ainf", 0x60);
    for (int i = 0; i < 32; ++i) many.adat({0x01, static_cast<std::uint8_t>(i)}, ByteVector(11, 0x7E));
    many.trac(simpleTrack()).raw(bytesOf("trailing bytes are ignored"));
    mfi::File file;
    ASSERT_EQ(file.read(many.build()), Result::Converted);
    ASSERT_EQ(file.body().audioCount(), 32);
    EXPECT_EQ(file.body().audio(31)->audioHeader(), (ByteVector{0x01, 31}));
    EXPECT_EQ(file.body().audio(31)->audioDataSize(), 11u);

    mfi::File emptyHeader;
    ASSERT_EQ(
        emptyHeader.read(MfiBuilder().infoByte("ainf", 0x01).adat({}, ByteVector(13, 1)).trac(simpleTrack()).build()),
        Result::Converted);
    EXPECT_EQ(emptyHeader.body().audio(0)->audioHeaderSize(), 0u);
    EXPECT_EQ(emptyHeader.body().audio(0)->audioDataSize(), 13u);
}

TEST(MfiReader, HeaderLengthShorterThanTheFixedFieldsRewindsTheOffset) {
    // Reading continues at 10 + header length even when that lies inside the header.
    // Offset 12 holds the track count byte, where the "trac" id is then looked for.
    EXPECT_EQ(readStatus(MfiBuilder().headerLength(2).trac(simpleTrack()).build()), Result::MfiTrackId);
}

// No prefix or single-byte change of a valid file may make the reader read
// outside the input (the sanitizers watch every access).
TEST(MfiReader, DamagedInputsNeverReadPastTheBuffer) {
    const ByteVector good = MfiBuilder()
                                .canonicalInfo()
                                .infoByte("ainf", 0x01)
                                .adat({1, 2, 3}, ByteVector(12, 9))
                                .trac(MfiTrackBuilder()
                                          .masterVolume(0, 100)
                                          .maxGain(0, 10)
                                          .escape(1, 0x00, 0x40, 0x30)
                                          .escapeShort(1, 0x90, 0x20)
                                          .escapeBlock(0, 0xF0, {1, 2, 3})
                                          .note(5, 2))
                                .build();
    ASSERT_EQ(readStatus(good), Result::Converted);
    // Prefixes whose data length field is made to fit, so that every later check is reached.
    for (std::size_t keep = 1; keep < good.size(); ++keep) {
        ByteVector prefix = truncated(good, keep);
        if (keep >= 13) ByteWriter::patchBE(prefix, 4, static_cast<std::uint32_t>(keep - 8), 4);
        mfi::File file;
        EXPECT_NE(file.read(prefix), Result::Converted) << keep;
    }
    // Whatever reads successfully must also write without fault.
    for (std::size_t at = 0; at < good.size(); ++at)
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xF0}, std::uint8_t{0xFF}}) {
            const ByteVector damaged = withByte(good, at, value);
            mfi::File file;
            if (file.read(damaged) != Result::Converted) continue;
            ByteVector out;
            file.write(out, mfi::Date{2024, 1, 2});  // may refuse, must not crash
        }
}

}  // namespace
}  // namespace keldro
