// Reading an MFi file: header, info sub-chunks, "adat" audio chunks and "trac"
// track chunks, strictly in that order, each right after the previous one.
// Every field is bounds-checked against the input before it is read, since
// the length fields of a damaged file may point anywhere.
#include <array>
#include <limits>
#include <string_view>

#include "mfi/File.h"
#include "mfi/EventBytes.h"
#include "mfi/Layout.h"
#include "platform/ChunkReader.h"

namespace keldro::mfi {
namespace {

using namespace bytes;

constexpr std::size_t kMinAudioAfterHeaderLength = 13;

constexpr std::uint8_t kEscapeBlockMark = 0xF0;

// Reads a data block with a 16-bit length at `offset` into the event. The
// length field and the block must both end inside the chunk.
Result readBlock(ByteSpan in, std::size_t& offset, std::size_t end, Event& event) {
    ByteReader chunk(in.first(end));
    const auto length = chunk.seek(offset) ? chunk.u16() : std::nullopt;
    const auto block = length ? chunk.bytes(*length) : std::nullopt;
    if (!block) return Result::NoMfiFile;
    if (!block->empty()) event.appendExtData(*block);
    offset = chunk.position();
    return Result::Converted;
}

// Reads the two parameter bytes of a fixed-length event.
Result readParams(ByteSpan in, std::size_t& offset, std::size_t end, Event& event) {
    if (end - offset < 2) return Result::MfiTrackSize;
    event.setParams(in[offset], in[offset + 1]);
    offset += 2;
    return Result::Converted;
}

// One event at `offset` (at least 4 bytes before `end`); the delta has been added to the time.
Result decodeEventBody(ByteSpan in, std::size_t& offset, std::size_t end, Event& event) {
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

// The file is one chunk "melo" whose body starts with the header length.
// That field is read even when the declared body is shorter than it.
// `head` is the file's start (all of it, or its first FileHeader::kBytes),
// `fileSize` the size of the whole file.
Result readHeader(ByteSpan head, std::uint64_t fileSize, Info& info) {
    if (fileSize < FileHeader::kBytes) return Result::MfiHeaderSize;
    const auto file = ChunkReader(head, kChunkForm).next();
    if (!file || !file->is(kFileId)) return Result::MfiNonsupportFileId;
    // The declared body fits in the file (the chunk's `fits`, for a head that
    // may stop short of the file's end).
    if (file->size == 0 || file->size > fileSize - kChunkForm.headerBytes()) return Result::MfiHeaderSize;
    const auto headerLength = readBE(head, FileHeader::kHeaderLength);
    if (!headerLength || *headerLength == 0 || *headerLength > fileSize) return Result::MfiChunkSize;
    if (readBE(head, FileHeader::kMajorType) != 1u || readBE(head, FileHeader::kMinorType) != 1u)
        return Result::NoMfiFile;
    const std::uint32_t trackCount = readBE(head, FileHeader::kTrackCount).value_or(0);
    if (trackCount == 0 || trackCount > Body::kMaxTracks) return Result::MfiTrackCount;
    info.headerLength = static_cast<std::uint16_t>(*headerLength);
    info.majorType = 1;
    info.minorType = 1;
    info.trackCount = static_cast<std::uint16_t>(trackCount);
    return Result::Converted;
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
Result storeInfo(ByteSpan id, ByteSpan content, Info& info) {
    const LengthRule* rule = nullptr;
    for (const LengthRule& each : kInfoRules)
        if (hasBytesAt(id, 0, each.id)) rule = &each;
    if (!rule) return Result::Converted;
    if (content.size() < rule->minimum || content.size() > rule->maximum) return Result::MfiSubchunkSize;

    const std::string_view name = rule->id;
    if (name == "sorc") {
        if (content[0] > 1) return Result::NoMfiFile;
        info.sorc = content[0];
    } else if (name == "note" || name == "exst") {
        if (ByteReader(content).u16() != std::uint16_t{1}) return Result::NoMfiFile;
        (name == "note" ? info.note : info.exst) = 1;
    } else if (name == "vers") {
        for (std::size_t i = 0; i < info.vers.size(); ++i) info.vers[i] = content[i];
    } else if (name == "date") {
        for (std::size_t i = 0; i < info.date.size(); ++i) info.date[i] = content[i];
    } else if (name == "titl") {
        info.titl.assign(content);
    } else {
        Text<256>& text = name == "copy"   ? info.copy
                          : name == "prot" ? info.prot
                          : name == "auth" ? info.auth
                          : name == "supt" ? info.supt
                          : name == "thrd" ? info.thrd
                                           : info.ainf;
        text.assign(content);
    }
    return Result::Converted;
}

// The sub-chunks run up to the end the header length gives; the last one may
// overrun that end, and reading then continues at the end regardless.
Result readInfo(ByteSpan in, std::size_t& offset, Info& info) {
    const std::size_t end = FileHeader::kHeaderLength.end() + std::size_t{info.headerLength};
    ChunkReader subs(in, kInfoForm);
    if (!subs.seek(offset)) return Result::MfiChunkSize;
    while (subs.position() < end) {
        const auto sub = subs.next();
        if (!sub) return Result::MfiChunkSize;
        if (sub->size < 1 || sub->size > 255) return Result::MfiSubchunkSize;
        if (!sub->fits) return Result::MfiSubchunkSize;
        if (const Result status = storeInfo(sub->id, sub->body, info); !ok(status)) return status;
    }
    offset = end;
    return Result::Converted;
}

// Reads the chunk at `offset`, which must carry `id` and a body of at least
// one byte that fits. An id cut short is a format error; a whole id with the
// size cut short is a size error.
Result readChunkHead(ByteSpan in, std::size_t offset, std::string_view id, Result idError, Result sizeError,
                     ChunkView& chunk) {
    ChunkReader walk(in, kChunkForm);
    if (!walk.seek(offset) || walk.remaining() < kChunkForm.idBytes) return Result::NoMfiFile;
    if (!hasBytesAt(walk.rest(), 0, id)) return idError;
    const auto found = walk.next();
    if (!found || found->size == 0 || !found->fits) return sizeError;
    chunk = *found;
    return Result::Converted;
}

Result readAudioItem(ByteSpan in, std::size_t& offset, AudioData& item) {
    ChunkView chunk;
    if (const Result status = readChunkHead(in, offset, kAudioChunkId, Result::MfiAudioId, Result::MfiAudioSize, chunk);
        !ok(status))
        return status;
    ByteReader body = chunk.reader();
    const auto headerLength = body.u16();
    if (!headerLength || body.remaining() < kMinAudioAfterHeaderLength) return Result::NoMfiFile;
    const auto header = body.bytes(*headerLength);
    if (!header) return Result::NoMfiFile;
    item.setAudioHeader(*header);  // an empty part stays empty
    item.setAudioData(body.rest());
    offset = chunk.bodyEnd();
    return Result::Converted;
}

Result readAudio(ByteSpan in, std::size_t& offset, File& file) {
    if (in.size() < FileHeader::kBytes) return Result::MfiHeaderSize;
    const int count = file.infoRecord().ainf.bytes[0] & 0x3F;
    file.body().clearAudio();
    if (!file.body().resizeAudio(count)) return Result::MfiAudioCount;
    for (int i = 0; i < count; ++i)
        if (const Result status = readAudioItem(in, offset, *file.body().audio(i)); !ok(status)) return status;
    return Result::Converted;
}

Result readTracks(ByteSpan in, std::size_t& offset, File& file) {
    if (in.size() < FileHeader::kBytes) return Result::MfiHeaderSize;
    Body& body = file.body();
    body.clearTracks();
    if (!body.resizeTracks(file.infoRecord().trackCount)) return Result::MfiTrackCount;
    for (int i = 0; i < body.trackCount(); ++i) {
        Track& track = *body.track(i);
        track.clear();
        ChunkView chunk;
        if (const Result status =
                readChunkHead(in, offset, kTrackChunkId, Result::MfiTrackId, Result::MfiTrackSize, chunk);
            !ok(status))
            return status;
        if (const Result status = decodeTrackEvents(in, chunk.bodyAt, chunk.bodyEnd(), track); !ok(status))
            return status;
        offset = chunk.bodyEnd();
    }
    return Result::Converted;
}

}  // namespace

Result decodeTrackEvents(ByteSpan in, std::size_t begin, std::size_t end, Track& track) {
    if (end > in.size()) return Result::MfiTrackSize;
    track.reserve((end - begin) / 4 + Track::kRoomForInserts);
    std::int64_t time = 0;
    std::size_t offset = begin;
    while (offset < end) {
        if (end - offset < 4) return Result::MfiTrackSize;
        time += in[offset];
        // A time beyond the 32-bit field cannot be held; only absurdly long tracks get there.
        if (time > std::numeric_limits<std::int32_t>::max()) return Result::NoMfiFile;
        Event event;
        event.setTime(static_cast<std::int32_t>(time));
        event.setStatus(in[offset + 1]);
        event.setByte1(in[offset + 2]);
        offset += 2;
        if (const Result status = decodeEventBody(in, offset, end, event); !ok(status)) return status;
        // Every use of a read track asks for the kinds of its events; worked
        // out here, while the bytes are at hand, they save a later walk that
        // would fetch every event from memory again.
        (void)event.kind();
        track.appendEvent(std::move(event));
    }
    return Result::Converted;
}

Result checkFileHead(ByteSpan head, std::uint64_t fileSize) {
    static_assert(kFileHeadBytes == FileHeader::kBytes);
    if (fileSize == 0) return Result::NoMfiFile;
    Info info;
    return readHeader(head, fileSize, info);
}

Result File::read(ByteSpan in) {
    if (in.empty()) return Result::NoMfiFile;
    std::size_t offset = FileHeader::kBytes;
    if (const Result status = readHeader(in, in.size(), info_); !ok(status)) return status;
    if (const Result status = readInfo(in, offset, info_); !ok(status)) return status;
    if (info_.ainf.length != 0) {
        if (const Result status = readAudio(in, offset, *this); !ok(status)) return status;
    }
    return readTracks(in, offset, *this);
}

}  // namespace keldro::mfi
