// Reading an MFi file: header, info sub-chunks, "adat" audio chunks and "trac"
// track chunks, strictly in that order, each right after the previous one.
// Every field is bounds-checked against the input before it is read, since
// the length fields of a damaged file may point anywhere.
#include <array>
#include <limits>
#include <string_view>

#include "mfi/MfiFile.h"
#include "mfi/MfiBytes.h"

namespace keldro {
namespace {

using namespace mfibytes;

constexpr std::size_t kHeaderSize = 13;   // id, data length, header length, types, track count
constexpr std::size_t kSubchunkHead = 6;  // 4-byte id, 16-bit length
constexpr std::size_t kChunkHead = 8;     // 4-byte id, 32-bit size
constexpr std::size_t kMinAudioAfterHeaderLength = 13;

constexpr std::uint8_t kEscapeBlockMark = 0xF0;

std::uint32_t be(ByteSpan in, std::size_t at, std::size_t width) {
    return readBE(in, at, width).value_or(0);  // callers check the bounds first
}

// Reads a length-prefixed data block at `offset` into the event. The length
// field and the block must both end inside the chunk.
int readBlock(ByteSpan in, std::size_t& offset, std::size_t end, MfiEvent& event) {
    if (end - offset < 2) return ErrFormat;
    const std::size_t length = be(in, offset, 2);
    if (end - offset - 2 < length) return ErrFormat;
    if (length > 0) event.appendExtData(in.subspan(offset + 2, length));
    offset += 2 + length;
    return 0;
}

// Reads the two parameter bytes of a fixed-length event.
int readParams(ByteSpan in, std::size_t& offset, std::size_t end, MfiEvent& event) {
    if (end - offset < 2) return ErrTrackSize;
    event.setParams(in[offset], in[offset + 1]);
    offset += 2;
    return 0;
}

// One event at `offset` (at least 4 bytes before `end`); the delta has been added to the time.
int decodeEventBody(ByteSpan in, std::size_t& offset, std::size_t end, MfiEvent& event) {
    const std::uint8_t status = event.status();
    const std::uint8_t next = event.byte1();
    if (status == kStatusEscape) {
        if (next == kEscapeBlockMark || next == kBlockMark) {
            event.setExtMark(next);
            ++offset;
            return readBlock(in, offset, end, event);
        }
        // Below 0x80 the byte is a prefix of two more parameters: a five-byte event.
        if (next < 0x80) ++offset;
        return readParams(in, offset, end, event);
    }
    if (status == kStatusShort && next == kBlockMark) {
        event.setExtMark(kBlockMark);
        ++offset;
        return readBlock(in, offset, end, event);
    }
    return readParams(in, offset, end, event);
}

int readHeader(ByteSpan in, MfiInfo& info) {
    if (in.size() < kHeaderSize) return ErrHeaderSize;
    if (!hasBytesAt(in, 0, "melo")) return ErrFileId;
    const std::uint32_t dataLength = be(in, 4, 4);
    if (dataLength == 0 || dataLength > in.size() - 8) return ErrHeaderSize;
    const std::uint32_t headerLength = be(in, 8, 2);
    if (headerLength == 0 || headerLength > in.size()) return ErrChunkSize;
    if (in[10] != 1 || in[11] != 1) return ErrFormat;
    if (in[12] == 0 || in[12] > MfiBody::kMaxTracks) return ErrTrackCount;
    info.headerLength = static_cast<std::uint16_t>(headerLength);
    info.majorType = 1;
    info.minorType = 1;
    info.trackCount = in[12];
    return 0;
}

// Required content length of a known sub-chunk: [minimum, maximum].
struct LengthRule {
    std::string_view id;
    std::size_t minimum;
    std::size_t maximum;
};

constexpr std::array<LengthRule, 12> kInfoRules{{
    {"sorc", 1, 1},
    {"titl", 1, 50},
    {"vers", 4, 4},
    {"date", 8, 8},
    {"copy", 1, 255},
    {"prot", 1, 255},
    {"note", 2, 2},
    {"exst", 2, 2},
    {"auth", 1, 255},
    {"supt", 1, 255},
    {"thrd", 1, 255},
    {"ainf", 1, 255},
}};


// Stores one sub-chunk whose content is `content`; ids outside the table are skipped.
int storeInfo(ByteSpan id, ByteSpan content, MfiInfo& info) {
    const LengthRule* rule = nullptr;
    for (const LengthRule& each : kInfoRules)
        if (hasBytesAt(id, 0, each.id)) rule = &each;
    if (!rule) return 0;
    if (content.size() < rule->minimum || content.size() > rule->maximum) return ErrSubchunkSize;

    const std::string_view name = rule->id;
    if (name == "sorc") {
        if (content[0] > 1) return ErrFormat;
        info.sorc = content[0];
    } else if (name == "note" || name == "exst") {
        if (be(content, 0, 2) != 1) return ErrFormat;
        (name == "note" ? info.note : info.exst) = 1;
    } else if (name == "vers") {
        for (std::size_t i = 0; i < info.vers.size(); ++i) info.vers[i] = content[i];
    } else if (name == "date") {
        for (std::size_t i = 0; i < info.date.size(); ++i) info.date[i] = content[i];
    } else if (name == "titl") {
        info.titl.assign(content);
    } else {
        MfiText<256>& text = name == "copy"   ? info.copy
                             : name == "prot" ? info.prot
                             : name == "auth" ? info.auth
                             : name == "supt" ? info.supt
                             : name == "thrd" ? info.thrd
                                              : info.ainf;
        text.assign(content);
    }
    return 0;
}

// The sub-chunks run up to 10 + header length; the last one may overrun that
// end, and reading then continues at the end regardless.
int readInfo(ByteSpan in, std::size_t& offset, MfiInfo& info) {
    const std::size_t end = 10 + std::size_t{info.headerLength};
    while (offset < end) {
        if (in.size() - offset < kSubchunkHead) return ErrChunkSize;
        const ByteSpan id = in.subspan(offset, 4);
        const std::size_t length = be(in, offset + 4, 2);
        offset += kSubchunkHead;
        if (length < 1 || length > 255) return ErrSubchunkSize;
        if (in.size() - offset < length) return ErrSubchunkSize;
        const ByteSpan content = in.subspan(offset, length);
        offset += length;
        if (const int status = storeInfo(id, content, info); status != 0) return status;
    }
    offset = end;
    return 0;
}

// Reads the id and size of a chunk at `offset`; on success `body` and `end`
// delimit its content.
int readChunkHead(ByteSpan in, std::size_t offset, std::string_view id, int idError, int sizeError, std::size_t& body,
                  std::size_t& end) {
    if (offset > in.size() || in.size() - offset < 4) return ErrFormat;
    if (!hasBytesAt(in, offset, id)) return idError;
    if (in.size() - offset < kChunkHead) return sizeError;
    const std::size_t size = be(in, offset + 4, 4);
    body = offset + kChunkHead;
    if (size == 0 || size > in.size() - body) return sizeError;
    end = body + size;
    return 0;
}

int readAudioItem(ByteSpan in, std::size_t& offset, MfiAudioData& item) {
    std::size_t body = 0;
    std::size_t end = 0;
    if (const int status = readChunkHead(in, offset, "adat", ErrAudioId, ErrAudioSize, body, end); status != 0)
        return status;
    if (end - body < 2) return ErrFormat;
    const std::size_t headerLength = be(in, body, 2);
    const std::size_t start = body + 2;
    if (end - start < headerLength || end - start < kMinAudioAfterHeaderLength) return ErrFormat;
    item.setAudioHeader(in.subspan(start, headerLength));  // an empty part stays empty
    item.setAudioData(in.subspan(start + headerLength, end - start - headerLength));
    offset = end;
    return 0;
}

int readAudio(ByteSpan in, std::size_t& offset, MfiFile& file) {
    if (in.size() < kHeaderSize) return ErrHeaderSize;
    const int count = file.infoRecord().ainf.bytes[0] & 0x3F;
    file.body().clearAudio();
    if (const int status = file.body().resizeAudio(count); status != 0) return status;
    for (int i = 0; i < count; ++i)
        if (const int status = readAudioItem(in, offset, *file.body().audio(i)); status != 0) return status;
    return 0;
}

int readTracks(ByteSpan in, std::size_t& offset, MfiFile& file) {
    if (in.size() < kHeaderSize) return ErrHeaderSize;
    MfiBody& body = file.body();
    body.clearTracks();
    if (const int status = body.resizeTracks(file.infoRecord().trackCount); status != 0) return status;
    for (int i = 0; i < body.trackCount(); ++i) {
        MfiTrack& track = *body.track(i);
        track.clear();
        std::size_t begin = 0;
        std::size_t end = 0;
        if (const int status = readChunkHead(in, offset, "trac", ErrTrackId, ErrTrackSize, begin, end); status != 0)
            return status;
        if (const int status = decodeTrackEvents(in, begin, end, track); status != 0) return status;
        offset = end;
    }
    return 0;
}

}  // namespace

int decodeTrackEvents(ByteSpan in, std::size_t begin, std::size_t end, MfiTrack& track) {
    if (end > in.size()) return ErrTrackSize;
    track.reserve((end - begin) / 4);
    std::int64_t time = 0;
    std::size_t offset = begin;
    while (offset < end) {
        if (end - offset < 4) return ErrTrackSize;
        time += in[offset];
        // A time beyond the 32-bit field cannot be held; only absurdly long tracks get there.
        if (time > std::numeric_limits<std::int32_t>::max()) return ErrFormat;
        MfiEvent event;
        event.setTime(static_cast<std::int32_t>(time));
        event.setStatus(in[offset + 1]);
        event.setByte1(in[offset + 2]);
        offset += 2;
        if (const int status = decodeEventBody(in, offset, end, event); status != 0) return status;
        track.appendEvent(std::move(event));
    }
    return 0;
}

int MfiFile::read(const std::uint8_t* bytes, std::int64_t length) {
    if (bytes == nullptr || length <= 0) return ErrBadArgument;
    const ByteSpan in(bytes, static_cast<std::size_t>(length));
    std::size_t offset = kHeaderSize;
    if (const int status = readHeader(in, info_); status != 0) return status;
    if (const int status = readInfo(in, offset, info_); status != 0) return status;
    if (info_.ainf.length != 0) {
        if (const int status = readAudio(in, offset, *this); status != 0) return status;
    }
    return readTracks(in, offset, *this);
}

int MfiFile::read(ByteSpan bytes) { return read(bytes.data(), static_cast<std::int64_t>(bytes.size())); }

}  // namespace keldro
