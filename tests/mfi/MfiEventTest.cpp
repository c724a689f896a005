// Event decoding, classification, channels and the track searches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mfi/MfiFile.h"

namespace keldro {
namespace {

struct Decoded {
    int status;
    MfiTrack track;
};

Decoded decode(const ByteVector& chunk) {
    Decoded d{0, {}};
    d.status = decodeTrackEvents(chunk, 0, chunk.size(), d.track);
    return d;
}

struct DecodeCase {
    std::string name;
    ByteVector bytes;
    int time, status, byte1, extMark, param1, param2;
    ByteVector extData;
    EventKind kind;
};

TEST(MfiDecode, EveryEventShape) {
    const std::vector<DecodeCase> cases = {
        {"ordinary", {0x03, 0x45, 0x30, 0xFC}, 3, 0x45, 0x30, 0, 0x30, 0xFC, {}, KindNote},
        {"short", {0x05, 0xFF, 0xB0, 0x64}, 5, 0xFF, 0xB0, 0, 0xB0, 0x64, {}, KindMasterVolume},
        {"block",
         {0x00, 0xFF, 0xFF, 0x00, 0x04, 0x11, 0xF2, 0x01, 0x3F},
         0,
         0xFF,
         0xFF,
         0xFF,
         0,
         0,
         {0x11, 0xF2, 0x01, 0x3F},
         KindAdpcmVolume},
        {"empty block", {0x00, 0xFF, 0xFF, 0x00, 0x00}, 0, 0xFF, 0xFF, 0xFF, 0, 0, {}, KindUnclassified},
        {"7F five bytes", {0x00, 0x7F, 0x10, 0x20, 0x30}, 0, 0x7F, 0x10, 0, 0x20, 0x30, {}, KindUnclassified},
        {"7F 00 five bytes", {0x02, 0x7F, 0x00, 0x40, 0x30}, 2, 0x7F, 0x00, 0, 0x40, 0x30, {}, KindStatus7F00},
        {"7F four bytes", {0x00, 0x7F, 0x90, 0x20}, 0, 0x7F, 0x90, 0, 0x90, 0x20, {}, KindStatus7F90},
        // 0x7F and 0x80 on either side of the boundary between the two forms.
        {"7F 7F five bytes", {0x00, 0x7F, 0x7F, 0x40, 0x30}, 0, 0x7F, 0x7F, 0, 0x40, 0x30, {}, KindUnclassified},
        {"7F 80 four bytes", {0x00, 0x7F, 0x80, 0x20}, 0, 0x7F, 0x80, 0, 0x80, 0x20, {}, KindStatus7F80},
        {"7F F5 four bytes", {0x00, 0x7F, 0xF5, 0x20}, 0, 0x7F, 0xF5, 0, 0xF5, 0x20, {}, KindUnclassified},
        {"7F F0 block",
         {0x01, 0x7F, 0xF0, 0x00, 0x02, 0xAA, 0xBB},
         1,
         0x7F,
         0xF0,
         0xF0,
         0,
         0,
         {0xAA, 0xBB},
         KindStatus7FBlock},
        {"7F FF block", {0x01, 0x7F, 0xFF, 0x00, 0x01, 0xAA}, 1, 0x7F, 0xFF, 0xFF, 0, 0, {0xAA}, KindUnclassified},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.bytes);
        ASSERT_EQ(d.status, 0);
        ASSERT_EQ(d.track.eventCount(), 1);
        const MfiEvent& e = *d.track.eventAt(0);
        EXPECT_EQ(e.time(), c.time);
        EXPECT_EQ(e.status(), c.status);
        EXPECT_EQ(e.byte1(), c.byte1);
        EXPECT_EQ(e.extMark(), c.extMark);
        EXPECT_EQ(e.param1(), c.param1);
        EXPECT_EQ(e.param2(), c.param2);
        EXPECT_EQ(e.extData(), c.extData);
        EXPECT_EQ(e.classify(), c.kind);
    }
}

TEST(MfiDecode, TimesAccumulateDeltasIncludingFillers) {
    const Decoded d = decode({0xFF, 0xFF, 0xDE, 0x00, 0x0A, 0x45, 0x30, 0xFC, 0x00, 0x7F, 0x00, 0x40, 0x30});
    ASSERT_EQ(d.status, 0);
    ASSERT_EQ(d.track.eventCount(), 3);
    EXPECT_EQ(d.track.eventAt(0)->classify(), KindNop);
    EXPECT_EQ(d.track.eventAt(0)->time(), 255);
    EXPECT_EQ(d.track.eventAt(1)->time(), 265);
    EXPECT_EQ(d.track.eventAt(2)->time(), 265);
    EXPECT_EQ(d.track.cursor(), -1);
}

TEST(MfiDecode, FaultsInsideTheChunk) {
    struct Case {
        std::string name;
        ByteVector bytes;
        int status;
    };
    const std::vector<Case> cases = {
        {"three bytes left", {0x00, 0x45, 0x30, 0xFC, 0x00, 0x45, 0x30}, ErrTrackSize},
        {"five-byte 7F cut by the chunk end", {0x00, 0x7F, 0x10, 0x20}, ErrTrackSize},
        {"block longer than the chunk", {0x00, 0xFF, 0xFF, 0x00, 0x03, 0x11, 0xF2}, ErrFormat},
        {"block length field cut", {0x00, 0xFF, 0xFF, 0x00}, ErrFormat},
        {"7F block length field cut", {0x00, 0x7F, 0xF0, 0x00}, ErrFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.bytes).status, c.status);
    }
}

TEST(MfiDecode, FiveByteEventIsNotCompletedFromBytesPastTheChunk) {
    // The chunk ends after four bytes although the buffer goes on.
    const ByteVector file = {0x00, 0x7F, 0x10, 0x20, 0x30, 0x40};
    MfiTrack track;
    EXPECT_EQ(decodeTrackEvents(file, 0, 4, track), ErrTrackSize);
}

MfiEvent shortEvent(std::uint8_t p1, std::uint8_t p2) {
    MfiEvent e;
    e.setStatus(0xFF);
    e.setByte1(p1);
    e.setParams(p1, p2);
    return e;
}

MfiEvent blockEvent(const ByteVector& data) {
    MfiEvent e;
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
        {0xB0, 0x64, KindMasterVolume}, {0xBA, 0x00, KindShortBA},     {0xC0, 0x78, KindTempo},
        {0xCF, 0x78, KindTempo},        {0xD0, 0x00, KindShortD0Zero}, {0xD0, 0x01, KindShortD0One},
        {0xD0, 0x02, KindUnclassified}, {0xDD, 0x05, KindShortDD},     {0xDE, 0x00, KindNop},
        {0xDE, 0x01, KindUnclassified}, {0xDF, 0x00, KindShortDFZero}, {0xDF, 0x01, KindUnclassified},
        {0xE0, 0x40, KindShortE0},      {0xE1, 0x40, KindShortE1},     {0xE2, 0x7F, KindChannelVolume},
        {0xE3, 0x40, KindShortE3},      {0xE4, 0x40, KindShortE4},     {0xE7, 0x40, KindShortE7},
        {0xE9, 0x40, KindShortE9},      {0xEA, 0x40, KindShortEA},     {0xE5, 0x40, KindUnclassified},
        {0xBF, 0x00, KindUnclassified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.p1} << ' ' << int{c.p2});
        EXPECT_EQ(shortEvent(c.p1, c.p2).classify(), c.kind);
    }
}

TEST(MfiClassify, EscapeAndNoteEvents) {
    MfiEvent e;
    e.setStatus(0x7F);
    const std::vector<std::pair<std::uint8_t, EventKind>> escapes = {
        {0x00, KindStatus7F00}, {0x01, KindStatus7F01},    {0x80, KindStatus7F80},   {0x81, KindStatus7F81},
        {0x90, KindStatus7F90}, {0xF0, KindStatus7FBlock}, {0xFF, KindUnclassified}, {0x02, KindUnclassified}};
    for (const auto& [byte1, kind] : escapes) {
        e.setByte1(byte1);
        EXPECT_EQ(e.classify(), kind) << int{byte1};
    }
    MfiEvent note;
    note.setStatus(0x85);
    EXPECT_EQ(note.classify(), KindNote);
    EXPECT_EQ(classify(nullptr), KindUnclassified);
}

TEST(MfiClassify, BlocksByClassIdAndSize) {
    struct Case {
        ByteVector data;
        EventKind kind;
    };
    const std::vector<Case> cases = {
        // Long and short forms name the same class and id.
        {{0x11, 0x02, 0xF3, 0x03, 0x10}, KindMaxGain},
        {{0x11, 0x01, 0xF3, 0x03, 0x10}, KindMaxGain},
        {{0x11, 0x81, 0xF3, 0x03, 0x10}, KindMaxGain},
        {{0x11, 0xF3, 0x03, 0x18}, KindMaxGain},  // no size condition
        {{0x11, 0x03, 0xF3, 0x03, 0x10}, KindUnclassified},
        {{0x12, 0x02, 0xF3, 0x03, 0x10}, KindUnclassified},
        {{0x11, 0xF3, 0x03}, KindUnclassified},  // fewer than 4 bytes
        // Class 0xF0, no size condition.
        {{0x11, 0x02, 0xF0, 0x01}, KindBlockF0Id01},
        {{0x11, 0x02, 0xF0, 0x05, 0, 0}, KindBlockF0Id05},
        {{0x11, 0x02, 0xF0, 0x06}, KindBlockF0Id06},
        {{0x11, 0x02, 0xF0, 0x08}, KindBlockF0Id08},
        {{0x11, 0x02, 0xF0, 0x0F, 1, 2, 3, 4}, KindEffectSettings},
        {{0x11, 0x02, 0xF0, 0x09}, KindUnclassified},
        {{0x11, 0x02, 0xF0, 0x1F}, KindUnclassified},
        // Class 0xF1 on the low four bits of the id, each at one size.
        {{0x11, 0x81, 0xF1, 0x43, 0x00, 0x55}, KindBlockF1Id03},
        {{0x11, 0x81, 0xF1, 0x43, 0x00}, KindUnclassified},
        {{0x11, 0x81, 0xF1, 0x06, 0x00, 0x55}, KindBlockF1Id06},
        {{0x11, 0x81, 0xF1, 0x16, 0x00, 0x55}, KindUnclassified},
        {{0x11, 0x02, 0xF1, 0x4F, 0x40}, KindEffectSend},
        {{0x11, 0x02, 0xF1, 0x6F, 0x40}, KindEffectSend},
        {{0x11, 0x02, 0xF1, 0x20, 0x00}, KindAdpcmNote},
        {{0x11, 0x02, 0xF1, 0x20, 0x00, 0x00}, KindUnclassified},
        {{0x11, 0x02, 0xF1, 0x01}, KindBlockF1Id01},
        {{0x11, 0x02, 0xF1, 0x09}, KindBlockF1Id09},
        {{0x11, 0x02, 0xF1, 0x0C, 0x00}, KindBlockF1Id0C},
        // Class 0xF2.
        {{0x11, 0xF2, 0x01, 0x3F}, KindAdpcmVolume},
        {{0x11, 0xF2, 0x01, 0x3F, 0x00}, KindUnclassified},
        {{0x11, 0x02, 0xF2, 0x04, 0x00}, KindBlockF2Id04},
        {ByteVector{0x11, 0x02, 0xF2, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, KindBlockF2Id07},
        {{0x11, 0x02, 0xF2, 0x07, 0x00}, KindUnclassified},
        // Class 0xF3.
        {{0x11, 0x02, 0xF3, 0x01}, KindBlockF3Id01},
        {{0x11, 0x02, 0xF3, 0x02}, KindBlockF3Id02},
        {{0x11, 0x02, 0xF3, 0x0B, 0x40}, KindEffectSelect},
        {{0x11, 0x02, 0xF3, 0x0B, 0x40, 0x00}, KindUnclassified},
        {{0x11, 0x02, 0xF3, 0x0A, 0x00}, KindBlockF3Id0A},
        {{0x11, 0x02, 0xF4, 0x01}, KindUnclassified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.data));
        EXPECT_EQ(blockEvent(c.data).classify(), c.kind);
    }
    // A 0x7F block is classified by its byte1 alone.
    MfiEvent escape = blockEvent({0x11, 0x02, 0xF3, 0x03, 0x10});
    escape.setStatus(0x7F);
    EXPECT_EQ(escape.classify(), KindUnclassified);
}

TEST(MfiClassify, ChannelOfKindsThatCarryOne) {
    MfiEvent note;
    note.setStatus(0xC5);
    EXPECT_EQ(note.channelOf(), 3);
    EXPECT_EQ(shortEvent(0xE2, 0x7F).channelOf(), 1);
    EXPECT_EQ(shortEvent(0xE1, 0x80).channelOf(), 2);
    EXPECT_EQ(blockEvent({0x11, 0x81, 0xF1, 0x43, 0x00, 0x55}).channelOf(), 1);
    EXPECT_EQ(blockEvent({0x11, 0x02, 0xF1, 0xC5, 0x00}).channelOf(), 3);
    EXPECT_EQ(shortEvent(0xB0, 0xFF).channelOf(), std::nullopt);
    EXPECT_EQ(blockEvent({0x11, 0x02, 0xF1, 0x4F, 0x40}).channelOf(), std::nullopt);
    EXPECT_EQ(channelOf(nullptr), std::nullopt);
}

TEST(MfiEvent, RefusedEditsLeaveTheEventUnchanged) {
    MfiEvent e;
    ASSERT_EQ(e.setTime(7), 0);
    EXPECT_EQ(e.setTime(-1), ErrBadArgument);
    EXPECT_EQ(e.time(), 7);
    const std::uint8_t byte = 1;
    EXPECT_EQ(e.appendExtData(nullptr, 1), ErrBadArgument);
    EXPECT_EQ(e.appendExtData(&byte, 0), ErrBadArgument);
    EXPECT_EQ(e.extDataPtr(), nullptr);
    ASSERT_EQ(e.appendExtData(ByteVector{1, 2, 3}), 0);
    std::uint8_t out[2] = {};
    EXPECT_EQ(e.copyExtData(out, 2), 3u);
    EXPECT_EQ(out[1], 2);
    MfiEvent copy = e;
    e.clear();
    EXPECT_EQ(copy.extDataSize(), 3u);
    EXPECT_EQ(e.time(), 0);
    EXPECT_EQ(e.extDataSize(), 0u);
}

// Track 0: master volume at 0, channel volume ch1 at 1, note ch1 at 2, master volume at 3 (last).
MfiBody searchBody() {
    MfiBody body;
    body.resizeTracks(2);
    MfiTrack& t = *body.track(0);
    t.appendEvent(shortEvent(0xB0, 100));
    t.appendEvent(shortEvent(0xE2, 0x7F));
    MfiEvent note;
    note.setStatus(0x45);
    t.appendEvent(note);
    t.appendEvent(shortEvent(0xB0, 90));
    return body;
}

TEST(MfiSearch, LastPositionRule) {
    MfiBody body = searchBody();
    EXPECT_EQ(body.findNext(KindMasterVolume, 0, -1), -1);  // cursor unset
    ASSERT_EQ(body.seek(0, 1), 0);
    EXPECT_EQ(body.findNext(KindMasterVolume, 0, -1), 3);
    ASSERT_EQ(body.seek(0, 3), 0);
    EXPECT_EQ(body.findNext(KindMasterVolume, 0, -1), -1);  // the cursor sits on the last event
    const MfiEvent* found = body.findNextEvent(KindMasterVolume, 0, -1);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->param2(), 90);
    EXPECT_EQ(body.findPrevious(KindMasterVolume, 0, -1), 3);
    EXPECT_EQ(body.cursor(0), 3);  // searches never move the cursor
}

TEST(MfiSearch, ChannelsTracksAndCursor) {
    MfiBody body = searchBody();
    ASSERT_EQ(body.seek(0, 0), 0);
    EXPECT_EQ(body.findNext(KindChannelVolume, 0, 1), 1);
    EXPECT_EQ(body.findNext(KindChannelVolume, 0, 2), -1);
    EXPECT_EQ(body.findNext(KindNote, 0, 1), 2);
    EXPECT_EQ(body.findNext(KindMasterVolume, 0, 0), -1);  // a kind without channel never matches one
    ASSERT_EQ(body.seek(0, 2), 0);
    EXPECT_EQ(body.findPrevious(KindChannelVolume, 0, -1), 1);
    EXPECT_EQ(body.findPrevious(KindMasterVolume, 0, -1), 0);
    EXPECT_EQ(body.findNext(KindMasterVolume, 1, -1), -1);  // empty track
    EXPECT_EQ(body.findNext(KindMasterVolume, 4, -1), -1);
    EXPECT_EQ(body.findNextEvent(KindMasterVolume, -1, -1), nullptr);
    EXPECT_EQ(body.findPrevious(KindMasterVolume, 1, -1), -1);
    EXPECT_EQ(body.seek(0, 4), ErrBadArgument);
    EXPECT_EQ(body.seek(0, -1), ErrBadArgument);
    EXPECT_EQ(body.seek(2, 0), ErrBadArgument);
    EXPECT_EQ(body.cursor(0), 2);
    EXPECT_EQ(body.cursor(5), ErrBadArgument);
    EXPECT_EQ(body.eventCount(1), 0);
    EXPECT_EQ(body.event(4, 0), nullptr);
    EXPECT_EQ(body.event(0, 2), nullptr);
}

TEST(MfiSearch, InsertEventPlacesACopyAndKeepsTheCursor) {
    MfiBody body = searchBody();
    ASSERT_EQ(body.seek(0, 2), 0);
    MfiEvent added = shortEvent(0xE2, 0x3F);
    ASSERT_EQ(body.insertEvent(0, 1, added), 0);
    ASSERT_EQ(body.insertEvent(0, 5, shortEvent(0xDE, 0)), 0);   // index == count appends
    ASSERT_EQ(body.insertEvent(0, -1, shortEvent(0xDD, 0)), 0);  // negative appends
    EXPECT_EQ(body.insertEvent(3, 0, added), ErrBadArgument);
    const MfiTrack& t = *body.track(0);
    ASSERT_EQ(t.eventCount(), 7);
    EXPECT_EQ(t.eventAt(1)->param2(), 0x3F);
    EXPECT_EQ(t.eventAt(2)->param2(), 0x7F);
    EXPECT_EQ(t.eventAt(5)->classify(), KindNop);
    EXPECT_EQ(t.eventAt(6)->classify(), KindShortDD);
    EXPECT_EQ(t.cursor(), 2);
}

TEST(MfiBody, ListSizesAndGlobalChannels) {
    MfiBody body;
    EXPECT_EQ(body.resizeTracks(0), ErrTrackCount);
    EXPECT_EQ(body.resizeTracks(5), ErrTrackCount);
    EXPECT_EQ(body.resizeTracks(4), 0);
    EXPECT_EQ(body.trackCount(), 4);
    EXPECT_EQ(body.resizeAudio(33), ErrAudioCount);
    EXPECT_EQ(body.resizeAudio(32), 0);
    EXPECT_EQ(body.audioCount(), 32);
    EXPECT_EQ(body.audio(32), nullptr);
    MfiAudioData& item = *body.audio(0);
    ASSERT_EQ(item.setAudioHeader(ByteVector{1, 2}), 0);
    EXPECT_EQ(item.setAudioHeader(nullptr, 3), ErrBadArgument);
    EXPECT_EQ(item.setAudioData(ByteVector{}), ErrBadArgument);
    EXPECT_EQ(item.audioHeader(), (ByteVector{1, 2}));
    EXPECT_EQ(item.audioDataSize(), 0u);
    EXPECT_EQ(MfiBody::globalChannel(3, 3), 15);
    EXPECT_EQ(MfiBody::globalChannel(2, 1), 6);
    EXPECT_EQ(MfiBody::globalChannel(4, 0), ErrBadArgument);
    EXPECT_EQ(MfiBody::globalChannel(0, 4), ErrBadArgument);
    EXPECT_EQ(MfiBody::globalChannel(-1, 0), ErrBadArgument);
}

}  // namespace
}  // namespace keldro
