// Writing an MFi file from the model. Lengths are always recomputed; the info
// sub-chunks go out in one fixed order whatever order they were read in, and
// the required text fields and the date receive defaults when they are empty
// or malformed.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "mfi/File.h"
#include "mfi/EventBytes.h"
#include "mfi/Layout.h"
#include "volume/FileKinds.h"

namespace keldro::mfi {
namespace {

using namespace bytes;

constexpr std::int64_t kMaxDelta = 255;
constexpr std::uint8_t kDefaultText = ' ';
// The header and its sub-chunks: at most twelve sub-chunks of no more than 256 bytes each.
constexpr std::size_t kInfoSubchunksWritten = 12;
constexpr std::size_t kInfoBytesBound = FileHeader::kBytes + kInfoSubchunksWritten * (kInfoForm.headerBytes() + 256);

void appendSubchunk(ByteVector& out, std::string_view id, ByteSpan content) {
    ChunkWriter::append(out, id, content, kInfoForm);
}

void appendByteSubchunk(ByteVector& out, std::string_view id, std::uint8_t value) {
    const std::uint8_t content[] = {value};
    appendSubchunk(out, id, content);
}

void appendU16Subchunk(ByteVector& out, std::string_view id, std::uint16_t value) {
    const std::uint8_t content[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    appendSubchunk(out, id, content);
}

// An empty field goes out as one space; the model keeps length 0 but its
// buffer starts with the space, so every later write does the same.
template <std::size_t Capacity>
void appendText(ByteVector& out, std::string_view id, Text<Capacity>& text, std::size_t count) {
    if (count == 0) {
        text.bytes[0] = kDefaultText;
        text.bytes[1] = 0;
        count = 1;
    }
    appendSubchunk(out, id, ByteSpan(text.bytes.data(), std::min(count, Capacity)));
}

// The title length is taken as unsigned: a stray negative length writes the
// full 50 bytes rather than the default.
void appendTitle(ByteVector& out, Text<50>& titl) {
    const auto count = static_cast<std::uint16_t>(titl.length);
    appendText(out, "titl", titl, std::min<std::size_t>(count, 50));
}

// Other text fields: a length of 0 or below is treated as absent.
void appendFreeText(ByteVector& out, std::string_view id, Text<256>& text) {
    appendText(out, id, text, text.length <= 0 ? 0 : static_cast<std::size_t>(text.length));
}

// Optional fields are written as stored, only when present.
void appendStoredText(ByteVector& out, std::string_view id, const Text<256>& text) {
    if (text.length > 0) appendSubchunk(out, id, text.view());
}

bool isDigits(const std::array<std::uint8_t, 8>& date) {
    return std::all_of(date.begin(), date.end(), [](std::uint8_t c) { return c >= '0' && c <= '9'; });
}

void stampDate(std::array<std::uint8_t, 8>& date, const Date& today) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d", today.year, today.month, today.day);
    date.fill(0);
    for (std::size_t i = 0; i < date.size() && text[i] != '\0'; ++i) date[i] = static_cast<std::uint8_t>(text[i]);
}

void appendInfo(ByteVector& out, Info& info, const Date& today) {
    appendByteSubchunk(out, "sorc", info.sorc);
    appendTitle(out, info.titl);
    appendSubchunk(out, "vers", info.vers);
    if (!isDigits(info.date)) stampDate(info.date, today);
    appendSubchunk(out, "date", info.date);
    appendFreeText(out, "copy", info.copy);
    appendFreeText(out, "prot", info.prot);
    appendU16Subchunk(out, "note", info.note);
    if (info.exst == 1) appendU16Subchunk(out, "exst", 1);
    // Version 2.0 files may go without an author and a support text.
    const bool oldVersion = info.versIs(mfiVersText(kMfiVersion20));
    if (!(oldVersion && info.auth.length <= 0)) appendFreeText(out, "auth", info.auth);
    if (!(oldVersion && info.supt.length <= 0)) appendFreeText(out, "supt", info.supt);
    appendStoredText(out, "ainf", info.ainf);
    appendStoredText(out, "thrd", info.thrd);
}

void appendAudio(ByteVector& out, const Body& body) {
    ByteWriter w(out);
    for (int i = 0; i < body.audioCount(); ++i) {
        const AudioData& item = *body.audio(i);
        if (item.audioHeader().empty() || item.audioData().empty()) continue;
        const ChunkWriter chunk(out, kAudioChunkId, kChunkForm);
        w.u16(static_cast<std::uint16_t>(item.audioHeaderSize()));
        w.bytes(item.audioHeader());
        w.bytes(item.audioData());
        chunk.close();
    }
}

bool hasBlock(const Event& e) {
    if (e.status() == kStatusEscape) return e.byte1() >= 0xF0;
    return e.extMark() == kBlockMark;
}

// Bytes of an event after its delta, in the shape it was read in: a block
// (status, mark, 16-bit length, data), a five-byte escape event (status,
// prefix, two parameters) or a four-byte one (status, two parameters).
std::size_t eventBodySize(const Event& e) {
    if (hasBlock(e)) return 4 + e.extDataSize();
    return e.status() == kStatusEscape && e.byte1() < 0x80 ? 4 : 3;
}

// Deltas are one byte: longer gaps are bridged with no-op events of 255
// ticks (delta, 0xFF 0xDE 0x00) in front of it.
std::int64_t fillersFor(std::int64_t delta) { return delta > kMaxDelta ? (delta - 1) / kMaxDelta : 0; }

// Writes a track's events into room sized for them beforehand: plain stores
// instead of a growth check per byte. Each event checks that its bytes fit.
class EventWriter {
public:
    explicit EventWriter(std::span<std::uint8_t> room) : at_(room.data()), end_(room.data() + room.size()) {}

    bool append(const Event& e, std::int64_t delta) {
        const std::int64_t fillers = fillersFor(delta);
        const std::size_t body = eventBodySize(e);
        if (static_cast<std::size_t>(end_ - at_) < static_cast<std::size_t>(fillers) * 4 + 1 + body) return false;
        for (std::int64_t i = 0; i < fillers; ++i) {
            put(static_cast<std::uint8_t>(kMaxDelta));
            put(kStatusShort);
            put(0xDE);
            put(0x00);
        }
        delta -= kMaxDelta * fillers;
        put(static_cast<std::uint8_t>(delta & 0xFF));  // a time that goes backwards wraps
        appendBody(e);
        return true;
    }

private:
    void put(std::uint8_t value) { *at_++ = value; }

    void appendBody(const Event& e) {
        if (hasBlock(e)) {
            const bool escape = e.status() == kStatusEscape;
            put(escape ? kStatusEscape : kStatusShort);
            put(escape ? e.byte1() : kBlockMark);
            const auto length = static_cast<std::uint16_t>(e.extDataSize());
            put(static_cast<std::uint8_t>(length >> 8));
            put(static_cast<std::uint8_t>(length));
            std::memcpy(at_, e.extData().data(), e.extDataSize());
            at_ += e.extDataSize();
            return;
        }
        put(e.status());
        if (e.status() == kStatusEscape && e.byte1() < 0x80) put(e.byte1());
        put(e.param1());
        put(e.param2());
    }

    std::uint8_t* at_;
    std::uint8_t* end_;
};

// The events a track writes: all of them, or those before the first block
// without data bytes, which cannot be written (`complete` false). Also their
// size in bytes.
struct WritableEvents {
    std::size_t count = 0;
    std::size_t bytes = 0;
    bool complete = true;
};

WritableEvents measureTrack(const Track& track) {
    WritableEvents w;
    std::int64_t previous = 0;
    for (const Event& e : track.events()) {
        if (hasBlock(e) && e.extDataSize() == 0) {
            w.complete = false;
            break;
        }
        w.bytes += static_cast<std::size_t>(fillersFor(std::int64_t{e.time()} - previous)) * 4 + 1 + eventBodySize(e);
        previous = e.time();
        ++w.count;
    }
    return w;
}

// `writable` is measureTrack(track).
bool appendTrack(ByteVector& out, const Track& track, const WritableEvents& writable) {
    if (track.eventCount() == 0) return true;
    const ChunkWriter chunk(out, kTrackChunkId, kChunkForm);
    const std::size_t start = out.size();
    out.resize(start + writable.bytes);
    EventWriter events(std::span<std::uint8_t>(out).subspan(start));
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < writable.count; ++i) {
        const Event& e = track.events()[i];
        if (!events.append(e, std::int64_t{e.time()} - previous)) return false;  // sizes disagree: never expected
        previous = e.time();
    }
    chunk.close();
    return writable.complete;
}

// Everything after the header information, given the tracks' measures: an
// upper bound that lets the output grow once instead of doubling its way up.
std::size_t bodyBytesBound(const Body& body, const std::array<WritableEvents, Body::kMaxTracks>& tracks) {
    std::size_t bytes = 0;
    for (int i = 0; i < body.audioCount(); ++i)
        bytes += kChunkForm.headerBytes() + kAudioHeaderLengthBytes + body.audio(i)->audioHeaderSize() +
                 body.audio(i)->audioDataSize();
    for (const WritableEvents& track : tracks) bytes += kChunkForm.headerBytes() + track.bytes;
    return bytes;
}

// The shape the reader gives an event: a block when the status and the byte
// after it say so (0x7F 0xF0, 0x7F 0xFF, 0xFF 0xFF), with that byte as its
// mark, 1 to 65535 data bytes and no parameters; otherwise no mark and no
// data, the byte after the status being the first parameter unless it is the
// prefix of a five-byte 0x7F event. An event of that shape is written so that
// it reads back the same; the writer's own test for a block must agree.
bool inReadShape(const Event& e) {
    const bool escape = e.status() == kStatusEscape;
    const bool block = escape ? (e.byte1() == 0xF0 || e.byte1() == kBlockMark)
                              : (e.status() == kStatusShort && e.byte1() == kBlockMark);
    if (block != hasBlock(e)) return false;
    if (block)
        return e.extMark() == e.byte1() && e.extDataSize() > 0 && e.extDataSize() <= 0xFFFF && e.param1() == 0 &&
               e.param2() == 0;
    if (e.extMark() != 0 || e.extDataSize() != 0) return false;
    return (escape && e.byte1() < 0x80) || e.param1() == e.byte1();
}

// A track reads back as it is when it has events (the writer leaves out an
// empty one), each in the reader's shape, and every delta fits its byte (no
// fillers, no time going backwards).
bool trackRereadsAsWritten(const Track& track) {
    if (track.eventCount() == 0) return false;
    std::int32_t previous = 0;
    for (const Event& e : track.events()) {
        if (!File::eventRereadsAsWritten(e, std::int64_t{e.time()} - previous)) return false;
        previous = e.time();
    }
    return true;
}

template <std::size_t Capacity>
bool fitsSubchunk(const Text<Capacity>& text) {
    return text.length >= 0 && text.length <= static_cast<int>(std::min<std::size_t>(Capacity, 255));
}

}  // namespace

bool File::eventRereadsAsWritten(const Event& event, std::int64_t delta) {
    return delta >= 0 && delta <= kMaxDelta && inReadShape(event);
}

bool File::rereadsAsWritten() const { return headerRereadsAsWritten() && eventsRereadAsWritten(); }

bool File::headerRereadsAsWritten() const {
    if (info_.majorType != 1 || info_.minorType != 1) return false;
    // "note" always goes out with the stored value, and the reader takes only 1.
    if (info_.note != 1 || info_.sorc > 1) return false;
    if (!fitsSubchunk(info_.titl) || !fitsSubchunk(info_.copy) || !fitsSubchunk(info_.prot) ||
        !fitsSubchunk(info_.auth) || !fitsSubchunk(info_.supt) || !fitsSubchunk(info_.thrd) ||
        !fitsSubchunk(info_.ainf))
        return false;
    // An audio item without either part is left out while "ainf" keeps its count.
    for (int i = 0; i < body_.audioCount(); ++i)
        if (body_.audio(i)->audioHeaderSize() == 0 || body_.audio(i)->audioDataSize() == 0 ||
            body_.audio(i)->audioHeaderSize() > 0xFFFF)
            return false;
    return true;
}

bool File::eventsRereadAsWritten() const {
    if (body_.trackCount() < 1) return false;
    for (int i = 0; i < body_.trackCount(); ++i)
        if (!trackRereadsAsWritten(*body_.track(i))) return false;
    return true;
}

bool File::write(ByteVector& out, const Date& today) {
    out.clear();
    std::array<WritableEvents, Body::kMaxTracks> tracks{};
    for (int i = 0; i < body_.trackCount(); ++i) tracks[static_cast<std::size_t>(i)] = measureTrack(*body_.track(i));
    out.reserve(kInfoBytesBound + bodyBytesBound(body_, tracks));
    const ChunkWriter file(out, kFileId, kChunkForm);
    trackCountByte_ = static_cast<std::uint8_t>(body_.trackCount());
    const ChunkWriter headerInfo(out, ByteSpan{}, kHeaderInfoForm);
    if (info_.majorType != 1 || info_.minorType != 1) return false;
    ByteWriter w(out);
    w.u8(1);
    w.u8(info_.minorType);
    w.u8(trackCountByte_);
    appendInfo(out, info_, today);
    headerInfo.close();
    appendAudio(out, body_);
    for (int i = 0; i < body_.trackCount(); ++i)
        if (!appendTrack(out, *body_.track(i), tracks[static_cast<std::size_t>(i)])) return false;
    file.close();
    return true;
}

}  // namespace keldro::mfi
