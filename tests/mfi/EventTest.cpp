// Event decoding, classification, what events carry, and the track and body lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mfi/File.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

// An event's data block as a vector, for comparisons.
ByteVector blockOf(const mfi::Event& e) { return ByteVector(e.extData().begin(), e.extData().end()); }

struct Decoded {
    Result status;
    mfi::Track track;
};

Decoded decode(const ByteVector& chunk) {
    Decoded d{Result::Converted, {}};
    d.status = decodeTrackEvents(chunk, 0, chunk.size(), d.track);
    return d;
}

struct DecodeCase {
    std::string name;
    ByteVector bytes;
    int time, status, byte1;
    int extMark = 0;  // 0xF0 or 0xFF for an event with a data block
    int param1, param2;
    ByteVector extData = {};
    EventKind kind;
};

TEST(MfiDecode, EveryEventShape) {
    const std::vector<DecodeCase> cases = {
        {.name = "ordinary",
         .bytes = {0x03, 0x45, 0x30, 0xFC},
         .time = 3,
         .status = 0x45,
         .byte1 = 0x30,
         .param1 = 0x30,
         .param2 = 0xFC,
         .kind = EventKind::Note},
        {.name = "short",
         .bytes = {0x05, 0xFF, 0xB0, 0x64},
         .time = 5,
         .status = 0xFF,
         .byte1 = 0xB0,
         .param1 = 0xB0,
         .param2 = 0x64,
         .kind = EventKind::MasterVolume},
        {.name = "block",
         .bytes = {0x00, 0xFF, 0xFF, 0x00, 0x04, 0x11, 0xF2, 0x01, 0x3F},
         .time = 0,
         .status = 0xFF,
         .byte1 = 0xFF,
         .extMark = 0xFF,
         .param1 = 0,
         .param2 = 0,
         .extData = {0x11, 0xF2, 0x01, 0x3F},
         .kind = EventKind::AdpcmVolume},
        {.name = "empty block",
         .bytes = {0x00, 0xFF, 0xFF, 0x00, 0x00},
         .time = 0,
         .status = 0xFF,
         .byte1 = 0xFF,
         .extMark = 0xFF,
         .param1 = 0,
         .param2 = 0,
         .kind = EventKind::Unclassified},
        {.name = "7F five bytes",
         .bytes = {0x00, 0x7F, 0x10, 0x20, 0x30},
         .time = 0,
         .status = 0x7F,
         .byte1 = 0x10,
         .param1 = 0x20,
         .param2 = 0x30,
         .kind = EventKind::Unclassified},
        {.name = "7F 00 five bytes",
         .bytes = {0x02, 0x7F, 0x00, 0x40, 0x30},
         .time = 2,
         .status = 0x7F,
         .byte1 = 0x00,
         .param1 = 0x40,
         .param2 = 0x30,
         .kind = EventKind::Escape00},
        {.name = "7F four bytes",
         .bytes = {0x00, 0x7F, 0x90, 0x20},
         .time = 0,
         .status = 0x7F,
         .byte1 = 0x90,
         .param1 = 0x90,
         .param2 = 0x20,
         .kind = EventKind::Escape90},
        // 0x7F and 0x80 on either side of the boundary between the two forms.
        {.name = "7F 7F five bytes",
         .bytes = {0x00, 0x7F, 0x7F, 0x40, 0x30},
         .time = 0,
         .status = 0x7F,
         .byte1 = 0x7F,
         .param1 = 0x40,
         .param2 = 0x30,
         .kind = EventKind::Unclassified},
        {.name = "7F 80 four bytes",
         .bytes = {0x00, 0x7F, 0x80, 0x20},
         .time = 0,
         .status = 0x7F,
         .byte1 = 0x80,
         .param1 = 0x80,
         .param2 = 0x20,
         .kind = EventKind::Escape80},
        {.name = "7F F5 four bytes",
         .bytes = {0x00, 0x7F, 0xF5, 0x20},
         .time = 0,
         .status = 0x7F,
         .byte1 = 0xF5,
         .param1 = 0xF5,
         .param2 = 0x20,
         .kind = EventKind::Unclassified},
        {.name = "7F F0 block",
         .bytes = {0x01, 0x7F, 0xF0, 0x00, 0x02, 0xAA, 0xBB},
         .time = 1,
         .status = 0x7F,
         .byte1 = 0xF0,
         .extMark = 0xF0,
         .param1 = 0,
         .param2 = 0,
         .extData = {0xAA, 0xBB},
         .kind = EventKind::EscapeBlock},
        {.name = "7F FF block",
         .bytes = {0x01, 0x7F, 0xFF, 0x00, 0x01, 0xAA},
         .time = 1,
         .status = 0x7F,
         .byte1 = 0xFF,
         .extMark = 0xFF,
         .param1 = 0,
         .param2 = 0,
         .extData = {0xAA},
         .kind = EventKind::Unclassified},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.bytes);
        ASSERT_EQ(d.status, Result::Converted);
        ASSERT_EQ(d.track.eventCount(), 1);
        const mfi::Event& e = *d.track.eventAt(0);
        EXPECT_EQ(e.time(), c.time);
        EXPECT_EQ(e.status(), c.status);
        EXPECT_EQ(e.byte1(), c.byte1);
        EXPECT_EQ(e.extMark(), c.extMark);
        EXPECT_EQ(e.param1(), c.param1);
        EXPECT_EQ(e.param2(), c.param2);
        EXPECT_EQ(blockOf(e), c.extData);
        EXPECT_EQ(e.kind(), c.kind);
    }
}

TEST(MfiDecode, TimesAccumulateDeltasIncludingFillers) {
    const Decoded d = decode({0xFF, 0xFF, 0xDE, 0x00, 0x0A, 0x45, 0x30, 0xFC, 0x00, 0x7F, 0x00, 0x40, 0x30});
    ASSERT_EQ(d.status, Result::Converted);
    ASSERT_EQ(d.track.eventCount(), 3);
    EXPECT_EQ(d.track.eventAt(0)->kind(), EventKind::Nop);
    EXPECT_EQ(d.track.eventAt(0)->time(), 255);
    EXPECT_EQ(d.track.eventAt(1)->time(), 265);
    EXPECT_EQ(d.track.eventAt(2)->time(), 265);
}

TEST(MfiDecode, FaultsInsideTheChunk) {
    struct Case {
        std::string name;
        ByteVector bytes;
        Result status;
    };
    const std::vector<Case> cases = {
        {"three bytes left", {0x00, 0x45, 0x30, 0xFC, 0x00, 0x45, 0x30}, Result::MfiTrackSize},
        {"five-byte 7F cut by the chunk end", {0x00, 0x7F, 0x10, 0x20}, Result::MfiTrackSize},
        {"block longer than the chunk", {0x00, 0xFF, 0xFF, 0x00, 0x03, 0x11, 0xF2}, Result::NoMfiFile},
        {"block length field cut", {0x00, 0xFF, 0xFF, 0x00}, Result::NoMfiFile},
        {"7F block length field cut", {0x00, 0x7F, 0xF0, 0x00}, Result::NoMfiFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.bytes).status, c.status);
    }
}

TEST(MfiDecode, FiveByteEventIsNotCompletedFromBytesPastTheChunk) {
    // The chunk ends after four bytes although the buffer goes on.
    const ByteVector file = {0x00, 0x7F, 0x10, 0x20, 0x30, 0x40};
    mfi::Track track;
    EXPECT_EQ(decodeTrackEvents(file, 0, 4, track), Result::MfiTrackSize);
}

mfi::Event shortEvent(std::uint8_t p1, std::uint8_t p2) {
    mfi::Event e;
    e.setStatus(0xFF);
    e.setByte1(p1);
    e.setParams(p1, p2);
    return e;
}

mfi::Event blockEvent(const ByteVector& data) {
    mfi::Event e;
    e.setStatus(0xFF);
    e.setByte1(0xFF);
    e.setExtMark(0xFF);
    e.appendExtData(data);
    return e;
}

TEST(MfiClassify, ShortEventsByFirstParameter) {
    struct Case {
        std::uint8_t p1, p2;
        EventKind kind;
    };
    const std::vector<Case> cases = {
        {0xB0, 0x64, EventKind::MasterVolume},  {0xBA, 0x00, EventKind::ShortBA},
        {0xC0, 0x78, EventKind::Tempo},         {0xCF, 0x78, EventKind::Tempo},
        {0xD0, 0x00, EventKind::ShortD0Zero},   {0xD0, 0x01, EventKind::ShortD0One},
        {0xD0, 0x02, EventKind::Unclassified},  {0xDD, 0x05, EventKind::ShortDD},
        {0xDE, 0x00, EventKind::Nop},           {0xDE, 0x01, EventKind::Unclassified},
        {0xDF, 0x00, EventKind::ShortDFZero},   {0xDF, 0x01, EventKind::Unclassified},
        {0xE0, 0x40, EventKind::ShortE0},       {0xE1, 0x40, EventKind::ShortE1},
        {0xE2, 0x7F, EventKind::ChannelVolume}, {0xE3, 0x40, EventKind::ShortE3},
        {0xE4, 0x40, EventKind::ShortE4},       {0xE7, 0x40, EventKind::ShortE7},
        {0xE9, 0x40, EventKind::ShortE9},       {0xEA, 0x40, EventKind::ShortEA},
        {0xE5, 0x40, EventKind::Unclassified},  {0xBF, 0x00, EventKind::Unclassified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.p1} << ' ' << int{c.p2});
        EXPECT_EQ(shortEvent(c.p1, c.p2).kind(), c.kind);
    }
}

TEST(MfiClassify, EscapeAndNoteEvents) {
    mfi::Event e;
    e.setStatus(0x7F);
    const std::vector<std::pair<std::uint8_t, EventKind>> escapes = {
        {0x00, EventKind::Escape00},     {0x01, EventKind::Escape01},    {0x80, EventKind::Escape80},
        {0x81, EventKind::Escape81},     {0x90, EventKind::Escape90},    {0xF0, EventKind::EscapeBlock},
        {0xFF, EventKind::Unclassified}, {0x02, EventKind::Unclassified}};
    for (const auto& [byte1, kind] : escapes) {
        e.setByte1(byte1);
        EXPECT_EQ(e.kind(), kind) << int{byte1};
    }
    mfi::Event note;
    note.setStatus(0x85);
    EXPECT_EQ(note.kind(), EventKind::Note);
}

TEST(MfiClassify, BlocksByClassIdAndSize) {
    struct Case {
        ByteVector data;
        EventKind kind;
    };
    const std::vector<Case> cases = {
        // Long and short forms name the same class and id.
        {{0x11, 0x02, 0xF3, 0x03, 0x10}, EventKind::MaxGain},
        {{0x11, 0x01, 0xF3, 0x03, 0x10}, EventKind::MaxGain},
        {{0x11, 0x81, 0xF3, 0x03, 0x10}, EventKind::MaxGain},
        {{0x11, 0xF3, 0x03, 0x18}, EventKind::MaxGain},  // no size condition
        {{0x11, 0x03, 0xF3, 0x03, 0x10}, EventKind::Unclassified},
        {{0x12, 0x02, 0xF3, 0x03, 0x10}, EventKind::Unclassified},
        {{0x11, 0xF3, 0x03}, EventKind::Unclassified},  // fewer than 4 bytes
        // Class 0xF0, no size condition.
        {{0x11, 0x02, 0xF0, 0x01}, EventKind::BlockF0Id01},
        {{0x11, 0x02, 0xF0, 0x05, 0, 0}, EventKind::BlockF0Id05},
        {{0x11, 0x02, 0xF0, 0x06}, EventKind::BlockF0Id06},
        {{0x11, 0x02, 0xF0, 0x08}, EventKind::BlockF0Id08},
        {{0x11, 0x02, 0xF0, 0x0F, 1, 2, 3, 4}, EventKind::EffectSettings},
        {{0x11, 0x02, 0xF0, 0x09}, EventKind::Unclassified},
        {{0x11, 0x02, 0xF0, 0x1F}, EventKind::Unclassified},
        // Class 0xF1 on the low four bits of the id, each at one size.
        {{0x11, 0x81, 0xF1, 0x43, 0x00, 0x55}, EventKind::BlockF1Id03},
        {{0x11, 0x81, 0xF1, 0x43, 0x00}, EventKind::Unclassified},
        {{0x11, 0x81, 0xF1, 0x06, 0x00, 0x55}, EventKind::BlockF1Id06},
        {{0x11, 0x81, 0xF1, 0x16, 0x00, 0x55}, EventKind::Unclassified},
        {{0x11, 0x02, 0xF1, 0x4F, 0x40}, EventKind::EffectSend},
        {{0x11, 0x02, 0xF1, 0x6F, 0x40}, EventKind::EffectSend},
        {{0x11, 0x02, 0xF1, 0x20, 0x00}, EventKind::AdpcmNote},
        {{0x11, 0x02, 0xF1, 0x20, 0x00, 0x00}, EventKind::Unclassified},
        {{0x11, 0x02, 0xF1, 0x01}, EventKind::BlockF1Id01},
        {{0x11, 0x02, 0xF1, 0x09}, EventKind::BlockF1Id09},
        {{0x11, 0x02, 0xF1, 0x0C, 0x00}, EventKind::BlockF1Id0C},
        // Class 0xF2.
        {{0x11, 0xF2, 0x01, 0x3F}, EventKind::AdpcmVolume},
        {{0x11, 0xF2, 0x01, 0x3F, 0x00}, EventKind::Unclassified},
        {{0x11, 0x02, 0xF2, 0x04, 0x00}, EventKind::BlockF2Id04},
        {ByteVector{0x11, 0x02, 0xF2, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, EventKind::BlockF2Id07},
        {{0x11, 0x02, 0xF2, 0x07, 0x00}, EventKind::Unclassified},
        // Class 0xF3.
        {{0x11, 0x02, 0xF3, 0x01}, EventKind::BlockF3Id01},
        {{0x11, 0x02, 0xF3, 0x02}, EventKind::BlockF3Id02},
        {{0x11, 0x02, 0xF3, 0x0B, 0x40}, EventKind::EffectSelect},
        {{0x11, 0x02, 0xF3, 0x0B, 0x40, 0x00}, EventKind::Unclassified},
        {{0x11, 0x02, 0xF3, 0x0A, 0x00}, EventKind::BlockF3Id0A},
        {{0x11, 0x02, 0xF4, 0x01}, EventKind::Unclassified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.data));
        EXPECT_EQ(blockEvent(c.data).kind(), c.kind);
    }
    // A 0x7F block is classified by its byte1 alone.
    mfi::Event escape = blockEvent({0x11, 0x02, 0xF3, 0x03, 0x10});
    escape.setStatus(0x7F);
    EXPECT_EQ(escape.kind(), EventKind::Unclassified);
}

mfi::Event noteEvent(std::uint8_t status, std::uint8_t gateVelocity = 0xFC) {
    mfi::Event e;
    e.setStatus(status);
    e.setByte1(0x30);
    e.setParams(0x30, gateVelocity);
    return e;
}

mfi::Event escapeEvent(std::uint8_t byte1, std::uint8_t p1, std::uint8_t p2) {
    mfi::Event e;
    e.setStatus(0x7F);
    e.setByte1(byte1);
    e.setParams(p1, p2);
    return e;
}

// What each kind carries, and that no accessor answers for another kind.
TEST(MfiEvent, CarriesItsValuesByMeaning) {
    struct Case {
        std::string name;
        mfi::Event event;
        int channel = -1;
        int masterVolume = -1;
        int channelVolume = -1;
        int adpcmVolume = -1;
        int maxGain = -1;
        int selector = -1;
        int sendValue = -1;
        int sendCode = -1;
    };
    const std::vector<Case> cases = {
        {.name = "note", .event = noteEvent(0xC5), .channel = 3},
        {.name = "master volume", .event = shortEvent(0xB0, 100), .masterVolume = 100},
        {.name = "master volume above 127", .event = shortEvent(0xB0, 0xFF), .masterVolume = 127},
        {.name = "channel volume", .event = shortEvent(0xE2, 0x7F), .channel = 1, .channelVolume = 63},
        {.name = "channel volume 0x85", .event = shortEvent(0xE2, 0x85), .channel = 2, .channelVolume = 5},
        {.name = "short E1", .event = shortEvent(0xE1, 0x80), .channel = 2},
        {.name = "short E0", .event = shortEvent(0xE0, 0xC1), .channel = 3},
        {.name = "tempo", .event = shortEvent(0xC3, 120)},
        {.name = "A channel sound", .event = escapeEvent(0x00, 0x80, 0x10), .channel = 2},
        {.name = "block F1 03 sounds", .event = blockEvent({0x11, 0x81, 0xF1, 0x43, 0x00, 0x55}), .channel = 1},
        {.name = "block F1 0C sounds", .event = blockEvent({0x11, 0x02, 0xF1, 0x8C, 0x40}), .channel = 2},
        {.name = "block F1 05", .event = blockEvent({0x11, 0x02, 0xF1, 0xC5, 0x00}), .channel = 3},
        {.name = "ADPCM volume", .event = blockEvent({0x11, 0xF2, 0x01, 0xBF}), .adpcmVolume = 63},
        {.name = "ADPCM volume keeps six bits", .event = blockEvent({0x11, 0xF2, 0x01, 0xC5}), .adpcmVolume = 5},
        {.name = "ADPCM note", .event = blockEvent({0x11, 0x02, 0xF1, 0x20, 0x00})},
        {.name = "MaxGain", .event = blockEvent({0x11, 0x02, 0xF3, 0x03, 0x10}), .maxGain = 16},
        {.name = "four-byte MaxGain holds no value", .event = blockEvent({0x11, 0xF3, 0x03, 0x18})},
        {.name = "effect select", .event = blockEvent({0x11, 0x02, 0xF3, 0x0B, 0x41}), .selector = 0x41},
        {.name = "effect send",
         .event = blockEvent({0x11, 0x02, 0xF1, 0x4F, 0x40}),
         .channel = 1,
         .sendValue = 0x40,
         .sendCode = 1},
        {.name = "effect send of an A channel",
         .event = blockEvent({0x11, 0x02, 0xF1, 0xEF, 0x22}),
         .channel = 3,
         .sendValue = 0x22,
         .sendCode = 19},
        {.name = "nop", .event = shortEvent(0xDE, 0x00)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const mfi::Event& e = c.event;
        EXPECT_EQ(e.channel(), c.channel);
        EXPECT_EQ(e.masterVolume(), c.masterVolume);
        EXPECT_EQ(e.channelVolume(), c.channelVolume);
        EXPECT_EQ(e.adpcmVolume(), c.adpcmVolume);
        EXPECT_EQ(e.maxGain(), c.maxGain);
        EXPECT_EQ(e.effectSelector(), c.selector);
        EXPECT_EQ(e.effectSendValue(), c.sendValue);
        EXPECT_EQ(e.effectSendCode(), c.sendCode);
    }
}

TEST(MfiEvent, PredicatesNameTheKind) {
    const std::vector<std::pair<mfi::Event, EventKind>> cases = {
        {noteEvent(0x45), EventKind::Note},
        {shortEvent(0xB0, 100), EventKind::MasterVolume},
        {shortEvent(0xE2, 0x3F), EventKind::ChannelVolume},
        {shortEvent(0xC0, 120), EventKind::Tempo},
        {shortEvent(0xDE, 0x00), EventKind::Nop},
        {blockEvent({0x11, 0x02, 0xF3, 0x03, 0x10}), EventKind::MaxGain},
        {blockEvent({0x11, 0x02, 0xF1, 0x20, 0x00}), EventKind::AdpcmNote},
        {blockEvent({0x11, 0xF2, 0x01, 0x3F}), EventKind::AdpcmVolume},
        {blockEvent({0x11, 0x02, 0xF0, 0x0F, 1, 2, 3, 4}), EventKind::EffectSettings},
        {blockEvent({0x11, 0x02, 0xF3, 0x0B, 0x40}), EventKind::EffectSelect},
        {blockEvent({0x11, 0x02, 0xF1, 0x4F, 0x40}), EventKind::EffectSend},
        {shortEvent(0xE1, 0x40), EventKind::ShortE1},
    };
    for (const auto& [e, kind] : cases) {
        SCOPED_TRACE(testing::PrintToString(static_cast<int>(kind)));
        EXPECT_EQ(e.kind(), kind);
        EXPECT_EQ(e.isNote(), kind == EventKind::Note);
        EXPECT_EQ(e.isMasterVolume(), kind == EventKind::MasterVolume);
        EXPECT_EQ(e.isChannelVolume(), kind == EventKind::ChannelVolume);
        EXPECT_EQ(e.isTempo(), kind == EventKind::Tempo);
        EXPECT_EQ(e.isMaxGain(), kind == EventKind::MaxGain);
        EXPECT_EQ(e.isAdpcmNote(), kind == EventKind::AdpcmNote);
        EXPECT_EQ(e.isAdpcmVolume(), kind == EventKind::AdpcmVolume);
        EXPECT_EQ(e.isEffectSettings(), kind == EventKind::EffectSettings);
        EXPECT_EQ(e.isEffectSelect(), kind == EventKind::EffectSelect);
        EXPECT_EQ(e.isEffectSend(), kind == EventKind::EffectSend);
    }
}

TEST(MfiEvent, TempoAndEffectTypes) {
    const mfi::Event tempo = shortEvent(0xC4, 120);
    EXPECT_EQ(tempo.tempoBpm(), 120);
    EXPECT_EQ(tempo.timebaseCode(), 4);
    EXPECT_EQ(shortEvent(0xB0, 120).tempoBpm(), -1);
    EXPECT_EQ(shortEvent(0xB0, 0xC4).timebaseCode(), -1);

    ByteVector settings = {0x11, 0x02, 0xF0, 0x0F};
    for (const std::uint8_t type : {std::uint8_t{0x49}, std::uint8_t{0x53}}) {
        ByteVector block(32, 0);
        block[0] = type;
        block[1] = 0x01;
        settings.insert(settings.end(), block.begin(), block.end());
    }
    settings.resize(settings.size() + 31);  // a third block that is not all there
    const mfi::Event e = blockEvent(settings);
    EXPECT_EQ(e.effectType(0), 0x4901);
    EXPECT_EQ(e.effectType(1), 0x5301);
    EXPECT_EQ(e.effectType(2), -1);
    EXPECT_EQ(e.effectType(-1), -1);
    ByteVector other = settings;
    other[3] = 0x0E;
    EXPECT_EQ(blockEvent(other).effectType(0), -1);
}

// The events the program writes are those the reader makes of their bytes.
TEST(MfiEvent, FactoriesMakeWhatTheReaderReads) {
    struct Case {
        std::string name;
        mfi::Event made;
        ByteVector bytes;  // delta 0, then the event
        EventKind kind;
    };
    const std::vector<Case> cases = {
        {"channel volume", mfi::Event::makeChannelVolume(0, 2, 40), {0x00, 0xFF, 0xE2, 0xA8}, EventKind::ChannelVolume},
        {"channel volume 63 of channel 0",
         mfi::Event::makeChannelVolume(0, 0, 63),
         {0x00, 0xFF, 0xE2, 0x3F},
         EventKind::ChannelVolume},
        {"ADPCM volume",
         mfi::Event::makeAdpcmVolume(0, 63),
         {0x00, 0xFF, 0xFF, 0x00, 0x04, 0x11, 0xF2, 0x01, 0x3F},
         EventKind::AdpcmVolume},
        {"effect send",
         mfi::Event::makeEffectSend(0, 1, false, 45),
         {0x00, 0xFF, 0xFF, 0x00, 0x05, 0x11, 0x02, 0xF1, 0x4F, 45},
         EventKind::EffectSend},
        {"effect send of an A channel",
         mfi::Event::makeEffectSend(0, 3, true, 100),
         {0x00, 0xFF, 0xFF, 0x00, 0x05, 0x11, 0x02, 0xF1, 0xEF, 100},
         EventKind::EffectSend},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.bytes);
        ASSERT_EQ(d.status, Result::Converted);
        const mfi::Event& read = *d.track.eventAt(0);
        EXPECT_EQ(c.made.status(), read.status());
        EXPECT_EQ(c.made.byte1(), read.byte1());
        EXPECT_EQ(c.made.extMark(), read.extMark());
        EXPECT_EQ(c.made.param1(), read.param1());
        EXPECT_EQ(c.made.param2(), read.param2());
        EXPECT_EQ(blockOf(c.made), blockOf(read));
        EXPECT_EQ(c.made.kind(), c.kind);
    }
    EXPECT_EQ(mfi::Event::makeEffectSend(17, 0, false, 1).time(), 17);
    EXPECT_EQ(mfi::Event::makeChannelVolume(9, 0, 1).time(), 9);
}

TEST(MfiEvent, RefusedEditsLeaveTheEventUnchanged) {
    mfi::Event e;
    ASSERT_TRUE(e.setTime(7));
    EXPECT_FALSE(e.setTime(-1));
    EXPECT_EQ(e.time(), 7);
    e.appendExtData({});
    EXPECT_EQ(e.extDataSize(), 0u);
    e.appendExtData(ByteVector{1, 2, 3});
    EXPECT_EQ(blockOf(e), (ByteVector{1, 2, 3}));
    mfi::Event copy = e;
    e.clear();
    EXPECT_EQ(copy.extDataSize(), 3u);
    EXPECT_EQ(e.time(), 0);
    EXPECT_EQ(e.extDataSize(), 0u);
}

// Blocks of up to eight bytes are kept inside the event, longer ones on the
// heap: appending across that boundary, copying, moving and assigning must
// keep every byte and leave the source intact (copies) or empty (moves).
TEST(MfiEvent, DataBlocksSurviveGrowthCopiesAndMoves) {
    for (const std::size_t size : {1u, 7u, 8u, 9u, 16u, 300u}) {
        ByteVector block(size);
        for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 1);
        mfi::Event e;
        e.setParams(0x12, 0x34);
        const std::size_t half = size / 2;
        e.appendExtData(ByteSpan(block).first(half));
        e.appendExtData(ByteSpan(block).subspan(half));
        ASSERT_EQ(blockOf(e), block) << size;

        mfi::Event copy = e;
        copy.mutableExtData()[0] ^= 0xFF;  // a copy owns its bytes
        EXPECT_EQ(blockOf(e), block) << size;
        mfi::Event assigned;
        assigned.appendExtData(ByteVector(20, 0xAA));
        assigned = e;
        EXPECT_EQ(blockOf(assigned), block) << size;
        assigned = assigned;  // self-assignment keeps the block
        EXPECT_EQ(blockOf(assigned), block) << size;

        mfi::Event moved = std::move(e);
        EXPECT_EQ(blockOf(moved), block) << size;
        EXPECT_EQ(moved.param2(), 0x34) << size;
        EXPECT_EQ(e.extDataSize(), 0u) << size;  // NOLINT(bugprone-use-after-move): a moved-from event is empty
        mfi::Event target = copy;
        target = std::move(moved);
        EXPECT_EQ(blockOf(target), block) << size;
    }
}

// Track 0: master volume at 0, channel volume ch1 at 1, note ch1 at 2, master volume at 3 (last).
mfi::Body searchBody() {
    mfi::Body body;
    body.resizeTracks(2);
    mfi::Track& t = *body.track(0);
    t.appendEvent(shortEvent(0xB0, 100));
    t.appendEvent(shortEvent(0xE2, 0x7F));
    mfi::Event note;
    note.setStatus(0x45);
    t.appendEvent(note);
    t.appendEvent(shortEvent(0xB0, 90));
    return body;
}

TEST(MfiBody, InsertEventPlacesACopy) {
    mfi::Body body = searchBody();
    mfi::Event added = shortEvent(0xE2, 0x3F);
    ASSERT_TRUE(body.insertEvent(0, 1, added));
    ASSERT_TRUE(body.insertEvent(0, 5, shortEvent(0xDE, 0)));   // index == count appends
    ASSERT_TRUE(body.insertEvent(0, -1, shortEvent(0xDD, 0)));  // negative appends
    EXPECT_FALSE(body.insertEvent(3, 0, added));
    const mfi::Track& t = *body.track(0);
    ASSERT_EQ(t.eventCount(), 7);
    EXPECT_EQ(t.eventAt(1)->param2(), 0x3F);
    EXPECT_EQ(t.eventAt(2)->param2(), 0x7F);
    EXPECT_EQ(t.eventAt(5)->kind(), EventKind::Nop);
    EXPECT_EQ(t.eventAt(6)->kind(), EventKind::ShortDD);
    EXPECT_EQ(body.event(7, 0), nullptr);
    EXPECT_EQ(body.event(0, 2), nullptr);
    EXPECT_EQ(body.track(1)->eventCount(), 0);
}

TEST(MfiBody, ListSizes) {
    mfi::Body body;
    EXPECT_FALSE(body.resizeTracks(0));
    EXPECT_FALSE(body.resizeTracks(5));
    EXPECT_TRUE(body.resizeTracks(4));
    EXPECT_EQ(body.trackCount(), 4);
    EXPECT_FALSE(body.resizeAudio(33));
    EXPECT_TRUE(body.resizeAudio(32));
    EXPECT_EQ(body.audioCount(), 32);
    EXPECT_EQ(body.audio(32), nullptr);
    mfi::AudioData& item = *body.audio(0);
    item.setAudioHeader(ByteVector{1, 2});
    item.setAudioHeader({});
    item.setAudioData(ByteVector{});
    EXPECT_EQ(item.audioHeader(), (ByteVector{1, 2}));
    EXPECT_EQ(item.audioDataSize(), 0u);
}

}  // namespace
}  // namespace keldro
