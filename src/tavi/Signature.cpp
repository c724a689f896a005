// The converter's signature "A0": stamped into the contents info chunk
// ("CNTI") of files without optional data, or into the signature data
// sub-chunk ("Dch" 0xFF) of the optional data chunk ("OPDA").
#include <string>
#include <string_view>

#include "volume/Result.h"
#include "tavi/EngineState.h"
#include "tavi/Layout.h"
#include "tavi/Writer.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

constexpr std::size_t kContentsInfoMinimumTag = 4;
constexpr std::size_t kNoComma = static_cast<std::size_t>(-1);

// The signature value: "KQ11" and the two digits. A seven-character value
// whose third character is 'O' may keep its length and its characters 2
// and 4; "KQ", "1" and the digits are written over the rest.
constexpr std::string_view kSignaturePrefix = "KQ11";
constexpr std::size_t kLongValueSize = 7;
constexpr std::size_t kLongValueMarkAt = 2;

bool isLongValue(ByteSpan value) { return value.size() == kLongValueSize && value[kLongValueMarkAt] == 'O'; }

void append(ByteVector& out, ByteSpan bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

bool isShiftJisLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Offset of the comma ending the tag that starts at `from`. A two-byte
// Shift_JIS character is one unit (its second byte may look like a comma or
// a backslash), and a comma right after a backslash belongs to the value.
std::size_t findTagEnd(ByteSpan body, std::size_t from) {
    bool afterBackslash = false;
    for (std::size_t i = from; i < body.size();) {
        const std::uint8_t b = body[i];
        if (isShiftJisLead(b)) {
            i += 2;
            afterBackslash = false;
            continue;
        }
        if (b == ',' && !afterBackslash) return i;
        afterBackslash = b == '\\';
        ++i;
    }
    return kNoComma;
}

}  // namespace

// The value written in place of the value `found`.
void Engine::appendSignatureValue(ByteSpan found, bool keepLongForm, ByteVector& out) const {
    const auto digit1 = static_cast<std::uint8_t>(atSigDigit1_);
    const auto digit2 = static_cast<std::uint8_t>(atSigDigit2_);
    if (keepLongForm && isLongValue(found)) {
        const std::uint8_t value[] = {'K', 'Q', found[2], '1', found[4], digit1, digit2};
        append(out, value);
        return;
    }
    ByteWriter w(out);
    w.text(kSignaturePrefix);
    w.u8(digit1);
    w.u8(digit2);
}

void Engine::appendOptionalDataA0Tag(ByteSpan found, bool keepLongForm, ByteVector& out) const {
    const ChunkWriter tag(out, kSignatureTagName, kDataTagForm);
    appendSignatureValue(found, keepLongForm, out);
    tag.close();
}

void Engine::appendSignatureDataSubChunk(ByteVector& out) const {
    const ChunkWriter sub(out, kSignatureDataId);
    appendOptionalDataA0Tag({}, false, out);
    sub.close();
}

ByteVector Engine::signatureOptionalDataChunk() const {
    ByteVector chunk;
    const ChunkWriter opda(chunk, kOptionalDataId);
    appendSignatureDataSubChunk(chunk);
    opda.close();
    return chunk;
}

// Third walk: the signature carriers, after the tracks that it is made from.
Result Engine::stampSignature() {
    for (Chunk& chunk : chunks_) {
        Result rc = Result::Converted;
        if (chunk.kind == ChunkKind::ContentsInfo) rc = stampContentsInfo(chunk.edit());
        if (chunk.kind == ChunkKind::OptionalData) rc = stampOptionalData(chunk.edit());
        if (!ok(rc)) return rc;
    }
    return Result::Converted;
}

// CNTI body: 5 fixed bytes, then tags "XX:value," up to a remainder of fewer
// than 4 bytes, which is kept as it is.
Result Engine::stampContentsInfo(ByteVector& chunk) {
    const ByteSpan body = ByteSpan(chunk).subspan(kChunkHeaderSize);
    if (body.size() == kContentsInfoFixedBytes) return Result::Converted;
    ByteVector out(chunk.begin(), chunk.begin() + kChunkHeaderSize + kContentsInfoFixedBytes);
    const ChunkWriter written = ChunkWriter::reopen(out, 0);
    std::size_t pos = kContentsInfoFixedBytes;
    while (body.size() - pos >= kContentsInfoMinimumTag) {
        const std::size_t comma = findTagEnd(body, pos);
        if (comma == kNoComma) return Result::TagSizeCnti;
        if (Result rc = stampContentsInfoTag(body.subspan(pos, comma - pos), out); !ok(rc)) return rc;
        out.push_back(',');
        pos = comma + 1;
    }
    append(out, body.subspan(pos));
    if (generation_ == Generation::Vq2 && !hasOptionalData_ && !contentsInfoA0Seen_) return Result::NoAtSig;
    written.close();
    chunk = std::move(out);
    return Result::Converted;
}

// One CNTI tag without its comma. "A1:" and "A2:" belong to files whose
// signature lives in CNTI; "A0:" is that signature and is rewritten. Such a
// file must not be given an OPDA: none of these tags may stand beside one.
Result Engine::stampContentsInfoTag(ByteSpan tag, ByteVector& out) {
    if (hasBytesAt(tag, 0, "A1:") || hasBytesAt(tag, 0, "A2:")) {
        if (hasOptionalData_) return Result::IllegalAtSig;
        contentsInfoSignatureTagSeen_ = true;
    } else if (hasBytesAt(tag, 0, kContentsInfoSignatureTag)) {
        if (hasOptionalData_ || contentsInfoA0Seen_) return Result::IllegalAtSig;
        contentsInfoA0Seen_ = contentsInfoSignatureTagSeen_ = true;
        if (tag.size() != 9 && tag.size() != 10) return Result::TagSizeCnti;
        const ByteSpan value = tag.subspan(kContentsInfoSignatureTag.size());
        lastA0Text_.assign(value.begin(), value.end());
        ByteWriter(out).text(kContentsInfoSignatureTag);
        appendSignatureValue(value, true, out);
        return Result::Converted;
    }
    append(out, tag);
    return Result::Converted;
}

// OPDA body: "Dch" data sub-chunks and "Pro" sub-chunks; a remainder shorter
// than a sub-chunk header is kept. When no signature "Dch" has been met so
// far in the file, one is added.
Result Engine::stampOptionalData(ByteVector& chunk) {
    const ByteSpan body = ByteSpan(chunk).subspan(kChunkHeaderSize);
    ByteVector out(chunk.begin(), chunk.begin() + kChunkHeaderSize);
    const ChunkWriter written = ChunkWriter::reopen(out, 0);
    ChunkReader subs(body);
    while (const auto sub = subs.next()) {
        if (sub->is(kDataSubChunkId)) {
            if (!sub->fits) return Result::ChunkSizeDch;
            if (Result rc = stampDataSubChunk(sub->whole, out); !ok(rc)) return rc;
            signatureDataFound_ = signatureDataFound_ || sub->is(kSignatureDataId);
        } else if (sub->is(kProgramSubChunkId)) {
            if (sub->size < kMinimumProgramBody || !sub->fits) return Result::ChunkSizePro;
            append(out, sub->whole);
        } else {
            return Result::NonsupportChunkIdOpda;
        }
    }
    append(out, subs.rest());
    if (!signatureDataFound_) appendSignatureDataSubChunk(out);
    written.close();
    chunk = std::move(out);
    return Result::Converted;
}

// One "Dch" sub-chunk: tags of 2-byte name, 2-byte length and data, up to a
// remainder of 4 bytes or less, which is kept.
Result Engine::stampDataSubChunk(ByteSpan sub, ByteVector& out) {
    const ChunkWriter written(out, sub.first(kChunkForm.idBytes));
    bool hasA0 = false;
    ChunkReader tags(sub.subspan(kChunkHeaderSize), kDataTagForm);
    while (tags.remaining() > kDataTagForm.headerBytes()) {
        const auto found = tags.next();
        if (!found) break;  // a whole header is left, so never here
        if (!found->fits) return Result::TagSizeOpda;
        const ByteSpan tag = found->whole;
        if (!found->is(kSignatureTagName)) {
            append(out, tag);
            continue;
        }
        if (hasA0) return Result::IllegalAtSig;
        hasA0 = true;
        if (tag.size() != 10 && tag.size() != 11) return Result::TagSizeOpda;
        lastA0Text_.assign(found->body.begin(), found->body.end());
        // Only VQ-2 files keep a seven-character value.
        appendOptionalDataA0Tag(found->body, generation_ == Generation::Vq2, out);
    }
    append(out, tags.rest());
    if (hasBytesAt(sub, 0, kSignatureDataId) && !hasA0) return Result::NoAtSig;
    written.close();
    return Result::Converted;
}

}  // namespace keldro::tavi
