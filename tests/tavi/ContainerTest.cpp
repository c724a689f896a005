#include <gtest/gtest.h>

#include "volume/Result.h"
#include "support/TaviFileBuilder.h"
#include "tavi/Writer.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

using namespace tavitest;

char hexDigit(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0xF]; }

// The two signature digits a converted file must carry, computed from the
// converted track chunks of the output.
std::string expectedDigits(const Bytes& tracks, std::uint16_t seed) {
    const unsigned x = referenceCrc16(tracks) ^ seed;
    return {hexDigit(x >> 8), hexDigit(x)};
}

// The chunk of the given ID in a file, header included.
Bytes chunkOf(const Bytes& file, const Bytes& id) {
    const std::size_t at = find(file, id);
    if (at == std::string::npos) return {};
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(at),
                 file.begin() + static_cast<std::ptrdiff_t>(at + 8 + readU32(file, at + 4)));
}

// A chunk whose size claims two bytes more than the file holds after it.
Bytes overrun(Bytes c) {
    ByteWriter::patchBE(c, 4, readU32(c, 4) + 4, 4);
    return c;
}

TEST(Container, HeaderAndCrcFailures) {
    const Bytes good = taviFile({cnti(), vq2Track()});
    Bytes wrongId = good;
    wrongId[3] = 'X';
    Bytes lengthPastEnd = good;
    lengthPastEnd[7] = static_cast<std::uint8_t>(lengthPastEnd[7] + 1);
    Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    Bytes damagedChunk = good;
    damagedChunk[20] ^= 0x40;
    const struct {
        const char* name;
        Bytes file;
        Result result;
    } cases[] = {
        {"nine bytes", Bytes(good.begin(), good.begin() + 9), Result::FileSizeError},
        {"wrong file ID", wrongId, Result::NonsupportFileId},
        {"length past the end", lengthPastEnd, Result::FileSizeError},
        {"stored CRC wrong", badCrc, Result::IllegalCrc},
        {"content changed", damagedChunk, Result::IllegalCrc},
    };
    const VolumeSettings settings = relativeSettings();
    for (const auto& c : cases) {
        const ConvertedFile r = convertWith(settings, c.file);
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.generation, -1) << c.name;
        EXPECT_TRUE(r.output.empty()) << c.name;
    }
    EXPECT_EQ(convertWith(settings, Bytes{}).result, Result::FileSizeError);
}

TEST(Container, ChunkWalkFailures) {
    Bytes cntiTooShort = chunk("CNTI", Bytes{0, 1, 2, 0});
    const struct {
        const char* name;
        Bytes file;
        Result result;
    } cases[] = {
        {"unknown chunk", taviFile({cnti(), chunk("ABCD", Bytes{1})}), Result::NonsupportChunkId},
        {"track 0", taviFile({cnti(), chunk("MTR", 0, Bytes(6, 0))}), Result::NonsupportChunkId},
        {"track 8", taviFile({cnti(), chunk("MTR", 8, Bytes(6, 0))}), Result::NonsupportChunkId},
        {"audio track 1", taviFile({cnti(), chunk("ATR", 1, Bytes(6, 0))}), Result::NonsupportChunkId},
        {"CNTI past end", taviFile({overrun(cnti("ST:a,"))}), Result::ChunkSizeCnti},
        {"CNTI body of 4", taviFile({cntiTooShort, vq2Track()}), Result::ChunkSizeCnti},
        {"OPDA past end", taviFile({cnti(), overrun(opda({chunk("Pro", 1, Bytes(12, 0))}))}), Result::ChunkSizeOpda},
        {"MTR past end", taviFile({cnti(), overrun(vq2Track())}), Result::ChunkSizeMtr},
        {"ATR past end", taviFile({cnti(), overrun(chunk("ATR", 0, Bytes(6, 0)))}), Result::ChunkSizeAtr},
        {"GTR past end", taviFile({cnti(), overrun(chunk("GTR", 9, Bytes(6, 0)))}), Result::ChunkSizeGtr},
        {"MSTR past end", taviFile({cnti(), overrun(chunk("MSTR", Bytes(6, 0)))}), Result::ChunkSizeMstr},
        {"MSTR body of 3", taviFile({cnti(), chunk("MSTR", Bytes(3, 0)), vq2Track()}), Result::ChunkSizeMstr},
        {"no CNTI", taviFile({vq2Track()}), Result::NoCnti},
        {"unknown chunk before a missing CNTI", taviFile({chunk("XXXX", Bytes{1})}), Result::NonsupportChunkId},
    };
    const VolumeSettings settings = relativeSettings();
    for (const auto& c : cases) EXPECT_EQ(convertWith(settings, c.file).result, c.result) << c.name;
}

// The VQ-7 pre-scan finds the loudest master volume (up to 127) and the
// largest MaxGain (up to 24) in the setup data and the first sequence, up to
// its end of track. It reads what the file holds of the track and stops at
// the first fault, keeping what it found so far. Every rule of the file gets
// what it found (the last score track's, when there are several), and from a
// MaxGain event on, that event's MaxGain is the one in force. A track running
// past the file end fails before any rule is asked.
TEST(Container, PreScanSeesATrackAsFarAsTheFileHoldsIt) {
    // Replays the file's records through the rules with the levels the
    // engine is to hand them: each record must come out as the engine's.
    // Returns the MaxGain in force at the first master volume, -7 for none.
    const VolumeSettings settings = relativeSettings();
    auto replay = [&](const VolumeChangeList& records, int loudest, int largest) {
        Vq7FileLevels levels{loudest, largest, largest, -1};
        int inForceAtMaster = -7;
        for (const VolumeChangeRecord& found : records) {
            VolumeChangeRecord r = found;
            if (found.action == kActionMaxGainRelative) {
                levels.maxGainInForce = found.beforeGain;
                EXPECT_TRUE(tavi::maxGainRule(settings, levels, r));
                EXPECT_EQ(r.afterGain, found.afterGain);
            } else {
                if (inForceAtMaster == -7) inForceAtMaster = levels.maxGainInForce;
                EXPECT_TRUE(tavi::volumeRule(settings, levels, r));
                EXPECT_EQ(r.afterVolume, found.afterVolume);
            }
        }
        return inForceAtMaster;
    };
    // vq7Track(90, ...) with the MaxGain set twice in its setup: 6, then 2.
    const Bytes twoMaxGains = scoreTrack(7, scoreTrackHeader(7, 0x02, 0x02),
                                         {chunk("Mtsu", cat({vq7MaxGain(6), vq7MaxGain(2)})),
                                          chunk("Mtsq", cat({Bytes{0x00}, vq7MasterVolume(90),
                                                             Bytes{0x00, 0x00, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00}}))});
    const struct {
        const char* name;
        Bytes tracks;
        Result result;
        int loudestMaster, maxGain, inForceAtMaster;
    } cases[] = {
        {"whole track", vq7Track(90, 6), Result::Converted, 90, 6, 6},
        {"track past the file end", overrun(vq7Track(90, 6)), Result::ChunkSizeMtr, -7, -7, -7},
        {"sequence past the track end", cutLast(vq7Track(90, 6), 1), Result::ChunkSizeMtsq, -1, 6, -7},
        {"two score tracks: the last one's levels", cat({vq7Track(90, 6), vq7Track(100, 4)}), Result::Converted, 100, 4,
         6},
        {"MaxGain set twice", twoMaxGains, Result::Converted, 90, 6, 2},
        {"master volumes and MaxGains past the end of track or out of range do not count",
         vq7Track(cat({vq7MasterVolume(100), vq7MasterVolume(130), vq7MaxGain(3), vq7MaxGain(30)}),
                  cat({{0x00}, vq7MasterVolume(110), {0x00, 0xFF, 0x2F, 0x00}, {0x00}, vq7MasterVolume(120)})),
         Result::Converted, 110, 3, 3},
        {"127 and 24 are the largest that count",
         vq7Track(cat({vq7MaxGain(24), vq7MaxGain(25), vq7MasterVolume(128)}), cat({{0x00}, vq7MasterVolume(127)})),
         Result::Converted, 127, 24, 25},
        {"a fault ends the scan", vq7Track(cat({vq7MasterVolume(90), {0x00}, vq7MaxGain(2)}), {}), Result::SequenceData,
         90, -1, -1},
    };
    for (const auto& c : cases) {
        const ConvertedFile r = convertWith(settings, taviFile({cnti(), c.tracks}));
        EXPECT_EQ(r.result, c.result) << c.name;
        if (c.maxGain == -7) {
            EXPECT_TRUE(r.records.empty()) << c.name;
            continue;
        }
        EXPECT_EQ(replay(r.records, c.loudestMaster, c.maxGain), c.inForceAtMaster) << c.name;
    }
}

// A relative change gives the file the MaxGain its rule chose; the result
// carries it (the run keeps it as its setting) and the master volumes after
// it work with it. An absolute change chooses none.
TEST(Container, Vq7ResultCarriesTheChosenMaxGain) {
    const Bytes file = taviFile({cnti(), vq7Track(100, 4)});
    const ConvertedFile relative = convertWith(relativeSettings(-60), file);
    ASSERT_EQ(relative.result, Result::Converted);
    ASSERT_EQ(relative.records.size(), 2u);  // the MaxGain, then the master volume
    EXPECT_EQ(relative.chosenMaxGain, relative.records[0].afterGain);
    EXPECT_GE(relative.chosenMaxGain, 0);
    Vq7FileLevels levels{100, 4, 4, relative.chosenMaxGain};
    VolumeChangeRecord master = relative.records[1];
    ASSERT_TRUE(tavi::volumeRule(relativeSettings(-60), levels, master));
    EXPECT_EQ(master.afterVolume, relative.records[1].afterVolume);

    VolumeSettings absolute;
    absolute.absoluteMode = 1;
    absolute.maxGainTenths = -30;
    EXPECT_EQ(convertWith(absolute, file).chosenMaxGain, -1);
}

TEST(Container, GenerationDecision) {
    const Bytes atr = chunk("ATR", 0, Bytes(6, 0));
    const struct {
        const char* name;
        Bytes file;
        int generation;
    } cases[] = {
        {"no track at all", taviFile({cnti()}), 2},
        {"MTR 1 and 2", taviFile({cnti(), vq2Track(100, 1), vq2Track(90, 2)}), 2},
        {"MTR 5", taviFile({cnti(), vq35Track(5)}), 3},
        {"MTR 6", taviFile({cnti(), vq35Track(6)}), 5},
        {"MTR 7", taviFile({cnti(), vq7Track()}), 7},
        {"MTR 5 twice", taviFile({cnti(), vq35Track(5), vq35Track(5)}), 3},
        {"skipped chunks only", taviFile({cnti(), chunk("GTR", 1, Bytes(4, 0)), chunk("MSTR", Bytes(4, 0))}), 2},
        {"MTR 5 and ATR", taviFile({cnti(), vq35Track(5), atr}), -1},
        {"MTR 5 and 6", taviFile({cnti(), vq35Track(5), vq35Track(6)}), -1},
        {"MTR 1 and 7", taviFile({cnti(), vq2Track(), vq7Track()}), -1},
        {"no CNTI still decides", taviFile({vq7Track()}), 7},
    };
    const VolumeSettings settings = relativeSettings();
    for (const auto& c : cases) {
        const ConvertedFile r = convertWith(settings, c.file);
        EXPECT_EQ(r.generation, c.generation) << c.name;
        if (c.generation < 0) {
            EXPECT_EQ(r.result, Result::MixedTaviKinds) << c.name;
        }
    }
}

TEST(Container, SignatureDigitsComeFromTheConvertedTracks) {
    const VolumeSettings settings = relativeSettings();
    // VQ-2: two tracks, signature in CNTI.
    const ConvertedFile vq2 = convertWith(settings, taviFile({cnti("A0:ABCDEF,"), vq2Track(100, 1), vq2Track(64, 2)}));
    ASSERT_EQ(vq2.result, Result::Converted);
    expectSealed(vq2.output);
    const Bytes tracks = cat({chunkOf(vq2.output, text("MTR\x01")), chunkOf(vq2.output, text("MTR\x02"))});
    EXPECT_NE(find(vq2.output, text("A0:KQ11" + expectedDigits(tracks, 0x5632) + ",")), std::string::npos);
    EXPECT_EQ(vq2.a0, "ABCDEF");
    EXPECT_EQ(vq2.generation, 2);

    // VQ-3: the inserted OPDA carries digits seeded differently.
    const ConvertedFile vq3 = convertWith(settings, taviFile({cnti(), vq35Track(5)}));
    ASSERT_EQ(vq3.result, Result::Converted);
    const std::string digits = expectedDigits(chunkOf(vq3.output, text("MTR\x05")), 0x5651);
    EXPECT_EQ(chunkOf(vq3.output, text("OPDA")), insertedOpda(digits[0], digits[1]));
}

TEST(Container, ContentsInfoSignatureTags) {
    const struct {
        const char* name;
        std::string tags;
        Result result;
        std::string expected;  // tag text after conversion; "##" stands for the digits
    } cases[] = {
        {"nine characters replaced", "ST:x,A0:OLD123,", Result::Converted, "ST:x,A0:KQ11##,"},
        {"ten with O patched", "A0:xxOyyzz,CR:c,", Result::Converted, "A0:KQO1y##,CR:c,"},
        {"ten without O replaced", "A0:xxPyyzz,", Result::Converted, "A0:KQ11##,"},
        {"tail under four bytes kept", "A0:OLD123,ab", Result::Converted, "A0:KQ11##,ab"},
        {"escaped comma", "ST:a\\,A0:no,A0:OLD123,", Result::Converted, "ST:a\\,A0:no,A0:KQ11##,"},
        {"Shift_JIS second byte", "ST:\x82,,A0:OLD123,", Result::Converted, "ST:\x82,,A0:KQ11##,"},
        {"eight characters", "A0:OLD12,", Result::TagSizeCnti, ""},
        {"eleven characters", "A0:OLD12345,", Result::TagSizeCnti, ""},
        {"no closing comma", "A0:OLD123", Result::TagSizeCnti, ""},
        {"second A0", "A0:OLD123,A0:OLD123,", Result::IllegalAtSig, ""},
        {"no A0 in VQ-2", "ST:song,", Result::NoAtSig, ""},
        {"tags too short to read", "ab", Result::NoAtSig, ""},
    };
    const VolumeSettings settings = relativeSettings();
    for (const auto& c : cases) {
        const ConvertedFile r = convertWith(settings, taviFile({cnti(c.tags), vq2Track()}));
        EXPECT_EQ(r.result, c.result) << c.name;
        if (c.result != Result::Converted) continue;
        expectSealed(r.output);
        const std::string digits = expectedDigits(chunkOf(r.output, text("MTR\x01")), 0x5632);
        std::string expected = c.expected;
        expected.replace(expected.find("##"), 2, digits);
        EXPECT_EQ(chunkOf(r.output, text("CNTI")), cnti(expected)) << c.name;
    }
}

TEST(Container, ContentsInfoWithoutTagsNeedsNoSignature) {
    const VolumeSettings settings = relativeSettings();
    const Bytes file = taviFile({cnti(), vq2Track()});
    const ConvertedFile r = convertWith(settings, file);
    ASSERT_EQ(r.result, Result::Converted);
    EXPECT_EQ(chunkOf(r.output, text("CNTI")), cnti());
    EXPECT_EQ(r.output.size(), file.size());
    EXPECT_TRUE(r.a0.empty());
}

TEST(Container, SignatureTagsRefusedBesideOptionalData) {
    const Bytes signed_ = opda({dch(0xFF, {dataTag("A0", "KQ1100")})});
    const VolumeSettings settings = relativeSettings();
    for (const char* tag : {"A0:OLD123,", "A1:abc,", "A2:abc,"})
        EXPECT_EQ(convertWith(settings, taviFile({cnti(tag), signed_, vq2Track()})).result, Result::IllegalAtSig)
            << tag;
    EXPECT_EQ(convertWith(settings, taviFile({cnti("A1:abc,A0:OLD123,"), vq2Track()})).result, Result::Converted);
}

TEST(Container, OptionalDataSignature) {
    const Bytes otherTag = dataTag("XY", "keep");
    const struct {
        const char* name;
        Bytes track;
        Bytes opdaIn;
        Result result;
        Bytes opdaOut;  // with the digits "##"
    } cases[] = {
        {"VQ-2 eleven with O patched", vq2Track(), opda({dch(0xFF, {otherTag, dataTag("A0", "abOdefg")})}),
         Result::Converted, opda({dch(0xFF, {otherTag, dataTag("A0", "KQO1e##")})})},
        {"VQ-3 eleven replaced", vq35Track(5), opda({dch(0xFF, {dataTag("A0", "abOdefg"), otherTag})}),
         Result::Converted, opda({dch(0xFF, {dataTag("A0", "KQ11##"), otherTag})})},
        {"ten replaced", vq2Track(), opda({dch(0xFF, {dataTag("A0", "abcdef")})}), Result::Converted,
         opda({dch(0xFF, {dataTag("A0", "KQ11##")})})},
        {"A0 in another Dch", vq2Track(), opda({dch(0x01, {dataTag("A0", "abcdef")}), chunk("Pro", 1, Bytes(12, 7))}),
         Result::Converted,
         opda({dch(0x01, {dataTag("A0", "KQ11##")}), chunk("Pro", 1, Bytes(12, 7)),
               dch(0xFF, {dataTag("A0", "KQ11##")})})},
        {"no Dch gets one", vq7Track(), opda({}), Result::Converted, opda({dch(0xFF, {dataTag("A0", "KQ11##")})})},
        {"signature Dch without A0", vq2Track(), opda({dch(0xFF, {otherTag})}), Result::NoAtSig, {}},
        {"second A0",
         vq2Track(),
         opda({dch(0xFF, {dataTag("A0", "abcdef"), dataTag("A0", "abcdef")})}),
         Result::IllegalAtSig,
         {}},
        {"A0 of nine", vq2Track(), opda({dch(0xFF, {dataTag("A0", "abcde")})}), Result::TagSizeOpda, {}},
        {"tag past Dch",
         vq2Track(),
         opda({dch(0xFF, {cat({text("XY"), u16be(9), text("abc")})})}),
         Result::TagSizeOpda,
         {}},
        {"tail of four bytes kept whatever its length says", vq2Track(),
         opda({dch(0xFF, {dataTag("A0", "abcdef"), cat({text("XY"), u16be(9)})})}), Result::Converted,
         opda({dch(0xFF, {dataTag("A0", "KQ11##"), cat({text("XY"), u16be(9)})})})},
        {"Dch past OPDA",
         vq2Track(),
         opda({cat({text("Dch"), Bytes{0xFF}, u32be(40), Bytes(10, 0)})}),
         Result::ChunkSizeDch,
         {}},
        {"Pro of 11", vq2Track(), opda({chunk("Pro", 1, Bytes(11, 0))}), Result::ChunkSizePro, {}},
        {"unknown sub-chunk", vq2Track(), opda({chunk("Abcd", Bytes(4, 0))}), Result::NonsupportChunkIdOpda, {}},
    };
    const VolumeSettings settings = relativeSettings();
    for (const auto& c : cases) {
        const ConvertedFile r = convertWith(settings, taviFile({cnti("ST:x,"), c.opdaIn, c.track}));
        EXPECT_EQ(r.result, c.result) << c.name;
        if (c.result != Result::Converted) continue;
        expectSealed(r.output);
        const Bytes track = chunkOf(r.output, Bytes(c.track.begin(), c.track.begin() + 4));
        const std::string digits = expectedDigits(track, c.track[3] <= 4 ? 0x5632 : 0x5651);
        Bytes expected = c.opdaOut;
        for (std::size_t at; (at = find(expected, text("##"))) != std::string::npos;)
            std::copy(digits.begin(), digits.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
        EXPECT_EQ(chunkOf(r.output, text("OPDA")), expected) << c.name;
        EXPECT_EQ(chunkOf(r.output, text("CNTI")), cnti("ST:x,")) << c.name;
    }
}

TEST(Container, OneSignatureDataSubChunkServesTheWholeFile) {
    const Bytes pro = chunk("Pro", 1, Bytes(12, 7));
    const VolumeSettings settings = relativeSettings();
    const ConvertedFile r = convertWith(
        settings, taviFile({cnti(), opda({dch(0xFF, {dataTag("A0", "abcdef")})}), opda({pro}), vq2Track()}));
    ASSERT_EQ(r.result, Result::Converted);
    EXPECT_NE(find(r.output, opda({pro})), std::string::npos);
}

TEST(Container, InsertsOptionalDataAfterContentsInfoForVq3And5Only) {
    const VolumeSettings settings = relativeSettings();
    for (int track : {5, 6}) {
        const Bytes file = taviFile({cnti(), vq35Track(track)});
        const ConvertedFile r = convertWith(settings, file);
        ASSERT_EQ(r.result, Result::Converted) << track;
        expectSealed(r.output);
        EXPECT_EQ(r.output.size(), file.size() + 26) << track;
        EXPECT_EQ(find(r.output, text("OPDA")), 8 + cnti().size()) << track;
    }
    const Bytes vq7 = taviFile({cnti(), vq7Track()});
    const ConvertedFile r = convertWith(settings, vq7);
    ASSERT_EQ(r.result, Result::Converted);
    EXPECT_EQ(r.output.size(), vq7.size());
    EXPECT_EQ(find(r.output, text("OPDA")), std::string::npos);
}

// A converted file converts again (a little quieter still, or unchanged) and
// can be inspected. A file whose CNTI holds signature tags keeps its
// signature there and gets no OPDA, which the tags may not stand beside; an
// audio volume the first conversion inserted at the start point is converted
// like any other the second time.
TEST(Container, ConvertedFilesConvertAgain) {
    const auto audio = [](std::uint32_t start, const Bytes& seq) {
        return audioTrack(
            audioTrackHeader(0x02, 0x03),
            {chunk("AspI", pointBody(start, static_cast<std::uint32_t>(seq.size()))), chunk("Atsq", seq)});
    };
    const Bytes end = {0x00, 0x00, 0x00, 0x00};
    const struct {
        const char* name;
        Bytes file;
        bool opda;               // the output has an OPDA
        std::string cntiTags;    // the output's CNTI tags, "##" for the digits; empty: not checked
        Bytes signedTrack = {};  // the track the digits are made from, by its chunk ID
    } cases[] = {
        // Signature tags in CNTI: no OPDA is inserted.
        {"VQ-3, A0", taviFile({cnti("ST:x,A0:OLD123,"), vq35Track(5)}), false, "ST:x,A0:KQ11##,", text("MTR\x05")},
        {"VQ-5, ten-character A0 with O", taviFile({cnti("A0:xxOyyzz,"), vq35Track(6)}), false, "A0:KQO1y##,",
         text("MTR\x06")},
        {"VQ-3, A1", taviFile({cnti("A1:abc,"), vq35Track(5)}), false, "A1:abc,"},
        {"VQ-5, A2 and A0", taviFile({cnti("A2:abc,A0:OLD123,"), vq35Track(6)}), false, "A2:abc,A0:KQ11##,",
         text("MTR\x06")},
        {"VQ-3 compressed, A0", taviFile({cnti("A0:OLD123,"), vq35Track(5, 100, 1)}), false, ""},
        // Without them the signature OPDA is inserted as before.
        {"VQ-3, other tags", taviFile({cnti("ST:x,"), vq35Track(5)}), true, "ST:x,"},
        {"VQ-5, no tags", taviFile({cnti(), vq35Track(6)}), true, ""},
        {"VQ-2, A0", taviFile({cnti("A0:OLD123,"), vq2Track()}), false, "A0:KQ11##,", text("MTR\x01")},
        {"VQ-7, A1", taviFile({cnti("A1:abc,"), vq7Track()}), false, "A1:abc,"},
        // Audio tracks whose first wave sounds before any volume.
        {"VQ-2 audio, X takes a tick from the start-point event",
         taviFile({cnti(), audio(3, cat({{0x00, 0x10, 0x02}, {0x05, 0x11, 0x01}, end}))}), false, ""},
        {"VQ-2 audio, X replaces a one-tick wave",
         taviFile({cnti(), audio(0, cat({{0x01, 0x20, 0x01}, {0x02, 0x21, 0x01}, end}))}), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ConvertedFile first = convertWith(relativeSettings(-30), c.file);
        ASSERT_EQ(first.result, Result::Converted);
        expectSealed(first.output);
        EXPECT_EQ(find(first.output, text("OPDA")) != std::string::npos, c.opda);
        if (!c.cntiTags.empty()) {
            std::string expected = c.cntiTags;
            if (const std::size_t at = expected.find("##"); at != std::string::npos)
                expected.replace(
                    at, 2,
                    expectedDigits(chunkOf(first.output, c.signedTrack), first.generation == 2 ? 0x5632 : 0x5651));
            EXPECT_EQ(chunkOf(first.output, text("CNTI")), cnti(expected));
        }
        for (int db : {-30, 0}) {
            const ConvertedFile again = convertWith(relativeSettings(db), first.output);
            EXPECT_EQ(again.result, Result::Converted) << db << " dB";
            EXPECT_EQ(again.generation, first.generation) << db << " dB";
        }
        EXPECT_TRUE(isSuccess(tavi::findVolumes(first.output).result));
    }
}

TEST(Container, StrayBytesNeverReachTheOutput) {
    const VolumeSettings settings = relativeSettings();
    const Bytes clean = taviFile({cnti(), vq2Track()});
    const ConvertedFile expected = convertWith(settings, clean);
    ASSERT_EQ(expected.result, Result::Converted);
    for (std::size_t gap : {0u, 1u, 8u}) {
        const Bytes file = taviFileWithStrayBytes({cnti(), vq2Track()}, Bytes(gap, 0x55), Bytes{1, 2, 3});
        const ConvertedFile r = convertWith(settings, file);
        EXPECT_EQ(r.result, Result::Converted) << gap;
        EXPECT_EQ(r.output, expected.output) << gap;
    }
    // Nine stray bytes are read as a chunk.
    const Bytes nine = taviFileWithStrayBytes({cnti(), vq2Track()}, Bytes(9, 0x55), {});
    EXPECT_EQ(convertWith(settings, nine).result, Result::NonsupportChunkId);
}

TEST(Container, LastChunkMayReachIntoTheCrc) {
    Bytes file = taviFile({vq2Track(), cnti("A0:OLD123,")});
    ByteWriter::patchBE(file, 8 + vq2Track().size() + 4, static_cast<std::uint32_t>(cnti("A0:OLD123,").size() - 8 + 2),
                        4);
    reseal(file);
    const VolumeSettings settings = relativeSettings();
    const ConvertedFile r = convertWith(settings, file);
    ASSERT_EQ(r.result, Result::Converted);
    expectSealed(r.output);
    EXPECT_EQ(r.output.size(), file.size() + 2);  // the two CRC bytes became CNTI body
}

TEST(Container, NothingToConvert) {
    const Bytes file = taviFile({cnti(), vq2Track()});
    VolumeSettings absolute;  // absolute mode without any channel given changes nothing
    absolute.absoluteMode = 1;
    const ConvertedFile r = convertWith(absolute, file);
    EXPECT_EQ(r.result, Result::NotConverted);
    EXPECT_EQ(r.generation, 2);
    EXPECT_TRUE(r.output.empty());
}

TEST(Container, CompressedInputComesBackCompressed) {
    const VolumeSettings settings = relativeSettings();
    const Bytes plainFile = taviFile({cnti(), vq35Track(5, 100, 0)});
    const Bytes packedFile = taviFile({cnti(), vq35Track(5, 100, 1)});
    const ConvertedFile plain = convertWith(settings, plainFile);
    const ConvertedFile packed = convertWith(settings, packedFile);
    ASSERT_EQ(plain.result, Result::Converted);
    ASSERT_EQ(packed.result, Result::Converted);
    expectSealed(packed.output);
    EXPECT_EQ(packed.records.size(), plain.records.size());

    // Expanding the output's sequence gives the converted plain sequence.
    const auto where = findCompressedSequence(packed.output);
    ASSERT_TRUE(where);
    Bytes sequence;
    ASSERT_TRUE(huffmanDecode(ByteSpan(packed.output).subspan(where->bodyStart, where->bodySize), sequence));
    const Bytes plainTrack = chunkOf(plain.output, text("MTR\x05"));
    EXPECT_EQ(sequence, Bytes(plainTrack.begin() + 8 + 20 + 8, plainTrack.end()));
    EXPECT_EQ(packed.output[where->trackStart + 8], 1);

    // The output converts again like any compressed file.
    const ConvertedFile again = convertWith(settings, packed.output);
    EXPECT_EQ(again.result, Result::Converted);
    expectSealed(again.output);
}

TEST(Container, FindsOnlyTheFirstScoreTracksSequence) {
    const Bytes packedSequence = huffmanEncode(vq2Sequence(100));
    const auto packedTrack = [&](int track, std::initializer_list<Bytes> subChunks) {
        return scoreTrack(track, cat({scoreTrackHeader(track, 0, 0, 1), Bytes(14, 0)}), subChunks);
    };
    const Bytes packed = packedTrack(1, {chunk("Mtsq", packedSequence)});
    // The first track met decides; a track without "Mtsq" passes the turn on.
    EXPECT_FALSE(findCompressedSequence(taviFile({cnti(), vq2Track(), packed})));
    const Bytes noSequence = packedTrack(2, {chunk("Mtsu", Bytes(3, 0))});
    const Bytes file = taviFile({cnti(), noSequence, packed});
    const auto where = findCompressedSequence(file);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->trackStart, 8 + cnti().size() + noSequence.size());
    EXPECT_EQ(where->bodySize, packedSequence.size());
    // So does a track whose sequence runs past its end.
    const Bytes cut = cutLast(packed, 1);
    const auto past = findCompressedSequence(taviFile({cnti(), cut, packed}));
    ASSERT_TRUE(past);
    EXPECT_EQ(past->trackStart, 8 + cnti().size() + cut.size());
}

}  // namespace
}  // namespace keldro
