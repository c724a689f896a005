// Writing an MFi file from the model. Lengths are always recomputed; the info
// sub-chunks go out in one fixed order whatever order they were read in, and
// the required text fields and the date receive defaults when they are empty
// or malformed.
#include <algorithm>
#include <cstdio>
#include <string_view>

#include "mfi/File.h"
#include "mfi/EventBytes.h"
#include "volume/FileKinds.h"

namespace keldro::mfi {
namespace {

using namespace bytes;

constexpr std::int64_t kMaxDelta = 255;
constexpr std::uint8_t kDefaultText = ' ';

void appendSubchunk(ByteWriter& w, std::string_view id, ByteSpan content) {
    w.text(id);
    w.u16(static_cast<std::uint16_t>(content.size()));
    w.bytes(content);
}

void appendByteSubchunk(ByteWriter& w, std::string_view id, std::uint8_t value) {
    const std::uint8_t content[] = {value};
    appendSubchunk(w, id, content);
}

void appendU16Subchunk(ByteWriter& w, std::string_view id, std::uint16_t value) {
    const std::uint8_t content[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    appendSubchunk(w, id, content);
}

// An empty field goes out as one space; the model keeps length 0 but its
// buffer starts with the space, so every later write does the same.
template <std::size_t Capacity>
void appendText(ByteWriter& w, std::string_view id, Text<Capacity>& text, std::size_t count) {
    if (count == 0) {
        text.bytes[0] = kDefaultText;
        text.bytes[1] = 0;
        count = 1;
    }
    appendSubchunk(w, id, ByteSpan(text.bytes.data(), std::min(count, Capacity)));
}

// The title length is taken as unsigned: a stray negative length writes the
// full 50 bytes rather than the default.
void appendTitle(ByteWriter& w, Text<50>& titl) {
    const auto count = static_cast<std::uint16_t>(titl.length);
    appendText(w, "titl", titl, std::min<std::size_t>(count, 50));
}

// Other text fields: a length of 0 or below is treated as absent.
void appendFreeText(ByteWriter& w, std::string_view id, Text<256>& text) {
    appendText(w, id, text, text.length <= 0 ? 0 : static_cast<std::size_t>(text.length));
}

// Optional fields are written as stored, only when present.
void appendStoredText(ByteWriter& w, std::string_view id, const Text<256>& text) {
    if (text.length > 0) appendSubchunk(w, id, text.view());
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

void appendInfo(ByteWriter& w, Info& info, const Date& today) {
    appendByteSubchunk(w, "sorc", info.sorc);
    appendTitle(w, info.titl);
    appendSubchunk(w, "vers", info.vers);
    if (!isDigits(info.date)) stampDate(info.date, today);
    appendSubchunk(w, "date", info.date);
    appendFreeText(w, "copy", info.copy);
    appendFreeText(w, "prot", info.prot);
    appendU16Subchunk(w, "note", info.note);
    if (info.exst == 1) appendU16Subchunk(w, "exst", 1);
    // Version 2.0 files may go without an author and a support text.
    const bool oldVersion = info.versIs(mfiVersText(kMfiVersion20));
    if (!(oldVersion && info.auth.length <= 0)) appendFreeText(w, "auth", info.auth);
    if (!(oldVersion && info.supt.length <= 0)) appendFreeText(w, "supt", info.supt);
    appendStoredText(w, "ainf", info.ainf);
    appendStoredText(w, "thrd", info.thrd);
}

// Appends a chunk id and a size placeholder; returns the placeholder's offset.
std::size_t openChunk(ByteWriter& w, std::string_view id) {
    w.text(id);
    const std::size_t at = w.size();
    w.u32(0);
    return at;
}

void closeChunk(ByteVector& out, std::size_t sizeAt) {
    ByteWriter::patchBE(out, sizeAt, static_cast<std::uint32_t>(out.size() - sizeAt - 4), 4);
}

void appendAudio(ByteVector& out, const Body& body) {
    ByteWriter w(out);
    for (int i = 0; i < body.audioCount(); ++i) {
        const AudioData& item = *body.audio(i);
        if (item.audioHeader().empty() || item.audioData().empty()) continue;
        const std::size_t sizeAt = openChunk(w, "adat");
        w.u16(static_cast<std::uint16_t>(item.audioHeaderSize()));
        w.bytes(item.audioHeader());
        w.bytes(item.audioData());
        closeChunk(out, sizeAt);
    }
}

bool hasBlock(const Event& e) {
    if (e.status() == kStatusEscape) return e.byte1() >= 0xF0;
    return e.extMark() == kBlockMark;
}

// The bytes of one event after its delta, in the shape it was read in.
void appendEventBody(ByteWriter& w, const Event& e) {
    if (hasBlock(e)) {
        const bool escape = e.status() == kStatusEscape;
        w.u8(escape ? kStatusEscape : kStatusShort);
        w.u8(escape ? e.byte1() : kBlockMark);
        w.u16(static_cast<std::uint16_t>(e.extDataSize()));
        w.bytes(e.extData());
        return;
    }
    w.u8(e.status());
    if (e.status() == kStatusEscape && e.byte1() < 0x80) w.u8(e.byte1());
    w.u8(e.param1());
    w.u8(e.param2());
}

// Deltas are one byte: longer gaps are bridged with no-op events of 255 ticks.
void appendDelta(ByteWriter& w, std::int64_t delta) {
    if (delta > kMaxDelta) {
        const std::int64_t fillers = (delta - 1) / kMaxDelta;
        for (std::int64_t i = 0; i < fillers; ++i) {
            w.u8(static_cast<std::uint8_t>(kMaxDelta));
            w.u8(kStatusShort);
            w.u8(0xDE);
            w.u8(0x00);
        }
        delta -= kMaxDelta * fillers;
    }
    w.u8(static_cast<std::uint8_t>(delta & 0xFF));  // a time that goes backwards wraps
}

bool appendTrack(ByteVector& out, const Track& track) {
    if (track.eventCount() == 0) return true;
    ByteWriter w(out);
    const std::size_t sizeAt = openChunk(w, "trac");
    std::int64_t previous = 0;
    bool written = true;
    for (const Event& e : track.events()) {
        if (hasBlock(e) && e.extDataSize() == 0) {
            written = false;
            break;
        }
        appendDelta(w, std::int64_t{e.time()} - previous);
        appendEventBody(w, e);
        previous = e.time();
    }
    closeChunk(out, sizeAt);
    return written;
}

}  // namespace

bool File::write(ByteVector& out, const Date& today) {
    out.clear();
    ByteWriter w(out);
    w.text("melo");
    w.u32(0);
    trackCountByte_ = static_cast<std::uint8_t>(body_.trackCount());
    w.u16(0);
    if (info_.majorType != 1 || info_.minorType != 1) return false;
    w.u8(1);
    w.u8(info_.minorType);
    w.u8(trackCountByte_);
    appendInfo(w, info_, today);
    w.patchU16(8, static_cast<std::uint16_t>(out.size() - 10));
    appendAudio(out, body_);
    for (int i = 0; i < body_.trackCount(); ++i)
        if (!appendTrack(out, *body_.track(i))) return false;
    w.patchU32(4, static_cast<std::uint32_t>(out.size() - 8));
    return true;
}

}  // namespace keldro::mfi
